"""Journey: another site makes a logged-on browser send requests that would change the
password, through lighttpd. A link or image (GET) and a form posted from another origin are
refused and the password stays; a form of this site, or of an origin AllowedOrigins lists,
changes it; a logon page hosted elsewhere still logs on."""
import unittest

from gateway_site import Browser, GatewaySite, SiteTestCase, plain_error

PORTAL = "https://portal.example.com"
FORM = {"Content-Type": "application/x-www-form-urlencoded"}


def refused(function):
    return plain_error(2339, f"The function '{function}' changes stored data: it is accepted only from a form "
                             "(POST) of this site")


class CrossSite(SiteTestCase):
    def setUp(self):
        self.site = self.open_site(
            GatewaySite(archive=True, extra_ini=f"[security]\nAllowedOrigins=http://other.test, {PORTAL}/\n"))
        self.alice = self.logged_on_alice(self.site)

    def tearDown(self):
        self.assert_no_sanitizer_report(self.site.cgi_stderr())

    def own_origin(self):
        return f"http://127.0.0.1:{self.site.port}"

    def cookie_header(self):
        return "; ".join(f"{c.name}={c.value}" for c in self.alice.jar)

    def hostile(self, method, query, origin=None, cookie=None):
        """What a browser sends for another site's link or form: ALICE's cookies, the
        other site's Origin (none for a GET), nothing else of hers."""
        headers = {"Cookie": cookie or self.cookie_header(), "User-Agent": "Mozilla/5.0"}
        if origin is not None:
            headers["Origin"] = origin
        if method == "GET":
            return self.site.request("GET", query, headers=headers)
        headers.update(FORM)
        return self.site.request("POST", body=query.encode(), headers=headers)

    def logs_on_with(self, password):
        reply = Browser(self.site).post({"_function": "logon", "_server": "DEMO", "_user": "ALICE",
                                         "_password": password, "_nohtml": "1"})
        return reply.body.startswith(b"[BEGIN]")

    def test_changes_from_other_sites_are_refused(self):
        cases = [
            ("link, plain form", "GET", "_function=chgpassword&_new_password=x&_nohtml=1", None, "chgpassword"),
            ("link, one-letter alias", "GET", "_a=c&_np=owned1&_nohtml=1", None, "chgpassword"),
            ("link to a logon that changes the password", "GET", "_a=l&_np=owned1&_nohtml=1", None, "logon"),
            ("form of another site", "POST", "_function=chgpassword&_new_password=owned1&_nohtml=1",
             "http://evil.example", "chgpassword"),
            ("form of a look-alike host", "POST", "_a=c&_np=owned1&_nohtml=1",
             f"http://127.0.0.1.evil.example:{self.site.port}", "chgpassword"),
            ("form of this host on another port", "POST", "_a=c&_np=owned1&_nohtml=1",
             f"http://127.0.0.1:{self.site.port + 1}", "chgpassword"),
            ("form from a sandboxed frame", "POST", "_a=c&_np=owned1&_nohtml=1", "null", "chgpassword"),
            ("listed host with another scheme", "POST", "_a=c&_np=owned1&_nohtml=1", "http://portal.example.com",
             "chgpassword"),
            ("logon changing the password from another site", "POST", "_a=l&_np=owned1&_nohtml=1",
             "http://evil.example", "logon"),
        ]
        for name, method, query, origin, function in cases:
            with self.subTest(name):
                reply = self.hostile(method, query, origin)
                self.assertEqual(reply.status, 200)
                self.assertEqual(reply.body, refused(function))
                self.assertEqual(reply.all("Set-Cookie"), [])
        # The HTML form of the refusal is a page with the message.
        page = self.hostile("GET", "_function=chgpassword&_new_password=x").text()
        self.assertIn("<h4>The function &#39;chgpassword&#39; changes stored data", page)
        # The password is the old one, and ALICE's cookies still work.
        self.assertFalse(self.logs_on_with("x"))
        self.assertFalse(self.logs_on_with("owned1"))
        self.assertTrue(self.logs_on_with("wonder1"))
        self.assertEqual(self.alice.get("_a=f&_nohtml=1").body, b"[BEGIN]\nUser logged off!\n[END]\n")

    def test_a_form_of_this_site_changes_the_password(self):
        reply = self.hostile("POST", "_function=chgpassword&_new_password=marvel7&_nohtml=1", self.own_origin())
        self.assertTrue(reply.body.startswith(b"[BEGIN]\nID=2347\nMSG=The password has been changed\n"), reply.body)
        self.assertTrue(self.logs_on_with("marvel7"))
        self.assertFalse(self.logs_on_with("wonder1"))

    def test_a_listed_origin_changes_the_password(self):
        cookie = None
        for origin, password in ((PORTAL, "marvel7"), ("HTTP://OTHER.TEST", "mason33")):
            with self.subTest(origin):
                reply = self.hostile("POST", "_a=c&_np=" + password + "&_nohtml=1", origin, cookie)
                self.assertTrue(reply.body.startswith(b"[BEGIN]\nID=2347\n"), reply.body)
                self.assertTrue(self.logs_on_with(password))
                # The next form sends the state cookie this reply set (with the new password).
                cookie = reply.all("Set-Cookie")[0].split(";")[0] + "; ZEILOGID=0"

    def test_a_logon_page_elsewhere_still_logs_on(self):
        stranger = {"Origin": "https://elsewhere.example", "User-Agent": "Mozilla/5.0"}
        stranger.update(FORM)
        reply = self.site.request("POST", body=b"_function=logon&_server=DEMO&_user=BOB&_password=builder2&_nohtml=1",
                                  headers=stranger)
        self.assertEqual(reply.body, b"[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n"
                                     b"[END]\n")
        self.assertEqual(len(reply.all("Set-Cookie")), 2)
        # A link logs on too: a logon reads, it changes nothing stored.
        reply = self.site.request("GET", "_a=l&_s=DEMO&_u=BOB&_p=builder2&_nohtml=1",
                                  headers={"Referer": "https://elsewhere.example/"})
        self.assertTrue(reply.body.startswith(b"[BEGIN]\nACTION="), reply.body)


if __name__ == "__main__":
    unittest.main()
