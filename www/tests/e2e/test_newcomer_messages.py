"""Journey: what a newcomer meets on the demo site, through lighttpd: a new password that is
too long, a logoff without a logon, a server name that does not exist, and a password
change that worked. Each reply names the message that fits, in both forms."""
import unittest

from gateway_site import Browser, GatewaySite, SiteTestCase, plain_error

TIMED_OUT = plain_error(1689, "The server connection has timed out")
TOO_LONG = plain_error(2159, "The argument '_new_password' is not a valid decimal number")
LOGGED_OFF = b"[BEGIN]\nUser logged off!\n[END]\n"


class NewcomerMessages(SiteTestCase):
    def setUp(self):
        self.site = self.open_site(GatewaySite(archive=True))

    def tearDown(self):
        self.assert_no_sanitizer_report(self.site.cgi_stderr())

    def logon(self, password="wonder1", browser=None):
        browser = browser or Browser(self.site)
        reply = browser.post({"_function": "logon", "_server": "DEMO", "_user": "ALICE", "_password": password,
                              "_nohtml": "1"})
        return browser, reply

    def test_a_new_password_over_twenty_characters(self):
        alice, _ = self.logon()
        long_password = "p" * 21
        cases = [
            ("chgpassword from the cookies", alice, {"_function": "chgpassword", "_new_password": long_password}),
            ("logon with a new password", Browser(self.site),
             {"_function": "logon", "_server": "DEMO", "_user": "ALICE", "_password": "wonder1",
              "_np": long_password}),
        ]
        for name, browser, fields in cases:
            with self.subTest(name):
                reply = browser.post(dict(fields, _nohtml="1"))
                self.assertEqual(reply.body, TOO_LONG)
                self.assertEqual(reply.all("Set-Cookie"), [])
                page = browser.post(fields).text()
                self.assertIn("<h4>The argument &#39;_new_password&#39; is not a valid decimal number</h4>", page)
        # Twenty characters are taken; the old password is gone only then.
        self.assertEqual(self.logon(long_password)[1].body[:7], b"[ERROR]")
        reply = alice.post({"_function": "chgpassword", "_new_password": "p" * 20, "_nohtml": "1"})
        self.assertTrue(reply.body.startswith(b"[BEGIN]\nID=2347\n"), reply.body)
        self.assertTrue(self.logon("p" * 20)[1].body.startswith(b"[BEGIN]"))

    def test_logoff_without_a_logon(self):
        cases = [
            ("no cookies at all", "_a=f&_nohtml=1"),
            ("long keyword", "_function=logoff&_nohtml=1"),
            ("a server but nobody", "_a=f&_s=DEMO&_nohtml=1"),
        ]
        stranger = Browser(self.site)
        for name, query in cases:
            with self.subTest(name):
                reply = stranger.get(query)
                self.assertEqual(reply.body, TIMED_OUT)
                self.assertEqual(reply.all("Set-Cookie"), [])
        page = stranger.get("_a=f").text()
        self.assertIn("<h4>The server connection has timed out</h4>", page)
        self.assertNotIn("Version", page)
        # Twice: the first logoff ends the logon, the second finds none.
        alice, _ = self.logon()
        self.assertEqual(alice.get("_a=f&_nohtml=1").body, LOGGED_OFF)
        self.assertEqual(alice.get("_a=f&_nohtml=1").body, TIMED_OUT)
        # Other actions still name what is missing.
        self.assertEqual(stranger.get("_a=l&_nohtml=1").body,
                         plain_error(2171, "The argument '_server' was not specified"))

    def test_a_server_that_does_not_exist(self):
        for name in ("NOSUCH", "demo-typo.invalid"):
            with self.subTest(name):
                reply = Browser(self.site).post({"_function": "logon", "_server": name, "_user": "ALICE",
                                                 "_password": "wonder1", "_nohtml": "1"})
                self.assertEqual(reply.body, plain_error(1678, "Unable to communicate with the server: " + name))
                self.assertEqual(reply.all("Set-Cookie"), [])

    def test_a_password_change_says_so(self):
        alice, _ = self.logon()
        reply = alice.post({"_function": "chgpassword", "_new_password": "marvel7", "_nohtml": "1"})
        self.assertEqual(reply.body, b"[BEGIN]\nID=2347\nMSG=The password has been changed\n"
                                     b"ACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n"
                                     b"FOLDER=[Payroll^Payroll statements]\n[END]\n")
        page = alice.post({"_function": "chgpassword", "_new_password": "mason33"}).text()
        self.assertIn("<p>The password has been changed</p>\n<h4>Select a folder:</h4>\n", page)
        # A plain logon says nothing of passwords.
        _, reply = self.logon("mason33")
        self.assertNotIn(b"password", reply.body)
        self.assertTrue(reply.body.startswith(b"[BEGIN]\nACTION="), reply.body)


if __name__ == "__main__":
    unittest.main()
