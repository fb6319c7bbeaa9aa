"""Journey: a browser logs on through lighttpd, sees the folder list, goes on with the
cookies alone, changes the password, logs off, and finds itself logged off."""
import os
import unittest

from gateway_site import Browser, GatewaySite, SiteTestCase, plain_error
from journeys import LOGON_JOURNEY

ALICE_LIST = (b"[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n"
              b"FOLDER=[Payroll^Payroll statements]\n[END]\n")


class LogonJourney(SiteTestCase):
    def setUp(self):
        self.site = self.open_site(GatewaySite(archive=True))

    def state_files(self):
        return sorted(n for n in os.listdir(self.site.cache_dir) if n.endswith((".srv", ".fnm")))

    def test_journey(self):
        browser = Browser(self.site)
        steps = dict(LOGON_JOURNEY)

        # The static logon page posts its form.
        reply = browser.post(steps["logon"])
        page = reply.text()
        self.assertEqual(reply.header("Content-Type"), "text/html; charset=UTF-8")
        self.assertIn('<option selected value="Invoices">Invoices\n<option value="Payroll">Payroll\n', page)
        self.assertIn('<form METHOD="POST" action="/cgi-bin/qelwww">', page)
        cookies = reply.all("Set-Cookie")
        self.assertEqual(len(cookies), 2)
        for value in cookies:
            self.assertTrue(value.endswith("; HttpOnly; SameSite=Lax"), value)
        state = browser.cookie("ZEIQS")
        self.assertIsNotNone(state)
        self.assertTrue(state.has_nonstandard_attr("HttpOnly"))
        # The password only sealed: the browser keeps the cookie on disk.
        self.assertIn("_u=ALICE&_p=v1.", state.value)
        self.assertNotIn("wonder1", state.value)
        sealed_before = state.value
        self.assertEqual(browser.cookie("ZEILOGID").value, "0")
        self.assertEqual(self.state_files(), ["DEMO_0_ALICE.fnm", "DEMO_0_ALICE.srv"])

        # Only the cookies identify the next request.
        reply = browser.get(steps["folder list from the cookies alone"])
        self.assertEqual(reply.body, ALICE_LIST)

        reply = browser.post(steps["password change from the cookies"])
        self.assertIn('<p>The password has been changed</p>\n<h4>Select a folder:</h4>', reply.text())
        self.assertIn('<option value="Payroll">Payroll', reply.text())
        self.assertEqual(len(reply.all("Set-Cookie")), 1, "the browser has its log id already")
        self.assertNotIn("marvel7", browser.cookie("ZEIQS").value)
        self.assertNotEqual(browser.cookie("ZEIQS").value, sealed_before, "the new password sealed")
        stranger = Browser(self.site)
        self.assertEqual(stranger.post({"_function": "logon", "_server": "DEMO", "_user": "ALICE",
                                        "_password": "wonder1", "_nohtml": "1"}).body,
                         plain_error(1799, "The user id or password is not valid"))
        self.assertIn(b"<option selected value=\"Invoices\">", browser.get(steps["logon from the cookies after the change"]).body)

        reply = browser.get(steps["logoff"])
        self.assertIn("User logged off!", reply.text())
        expired = "; Max-Age=0; Expires=Thu, 01 Jan 1970 00:00:00 GMT; HttpOnly; SameSite=Lax"
        self.assertEqual(reply.all("Set-Cookie"), ["ZEIQS=" + expired, "ZEILOGID=" + expired])
        self.assertIsNone(browser.cookie("ZEIQS"), "the browser dropped the expired cookie")
        self.assertIsNone(browser.cookie("ZEILOGID"))
        self.assertEqual(self.state_files(), [])

        # The emptied cookies name no logon any more.
        reply = browser.get(steps["the request after logoff"])
        self.assertEqual(reply.body, plain_error(1689, "The server connection has timed out"))

        # The new password is the one that logs on now.
        again = Browser(self.site)
        reply = again.post({"_function": "logon", "_server": "DEMO", "_user": "ALICE", "_password": "marvel7",
                            "_nohtml": "1"})
        self.assertEqual(reply.body, ALICE_LIST)

    def test_one_folder_and_the_plain_text_form(self):
        browser = Browser(self.site)
        reply = browser.get("_a=l&_s=DEMO&_u=BOB&_p=builder2&_nohtml=1")
        self.assertEqual(reply.body, b"[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n[END]\n")
        self.assertEqual(reply.header("Content-Type"), "text/plain; charset=UTF-8")
        self.assertEqual(int(reply.header("Content-Length")), len(reply.body))
        reply = browser.get("_a=f&_nohtml=1")
        self.assertEqual(reply.body, b"[BEGIN]\nUser logged off!\n[END]\n")


if __name__ == "__main__":
    unittest.main()
