"""Journey: the state cookies through lighttpd. The state cookie of a logon leaves out the
configured archive directory of the local server (a cookie that still names it is taken);
logoff expires both cookies, so that the browser keeps neither, not even empty."""
import email.utils
import time
import unittest
import urllib.parse

from gateway_site import Browser, GatewaySite, SiteTestCase

ALICE_LIST = (b"[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n"
              b"FOLDER=[Payroll^Payroll statements]\n[END]\n")
LOGGED_OFF = b"[BEGIN]\nUser logged off!\n[END]\n"


def attributes(set_cookie):
    """A Set-Cookie value -> (name, value, {attribute name in lower case: value})."""
    pair, *rest = [part.strip() for part in set_cookie.split(";")]
    name, _, value = pair.partition("=")
    attrs = {}
    for part in rest:
        key, _, attr = part.partition("=")
        attrs[key.lower()] = attr
    return name, value, attrs


class StateCookies(SiteTestCase):
    def setUp(self):
        self.site = self.open_site(GatewaySite(archive=True))

    def test_logon_cookie_leaves_out_the_archive_path(self):
        browser = Browser(self.site)
        reply = browser.post({"_function": "logon", "_server": "DEMO", "_user": "ALICE", "_password": "wonder1",
                              "_nohtml": "1"})
        self.assertEqual(reply.body, ALICE_LIST)
        state = [attributes(c) for c in reply.all("Set-Cookie") if c.startswith("ZEIQS=")]
        self.assertEqual(len(state), 1)
        _, value, attrs = state[0]
        fields = urllib.parse.parse_qs(value, keep_blank_values=True)
        self.assertEqual(sorted(fields), ["_cp", "_p", "_pt", "_s", "_u"], value)
        self.assertEqual((fields["_s"], fields["_u"]), (["DEMO"], ["ALICE"]))
        self.assertEqual(set(attrs), {"httponly", "samesite"})
        for name, header in reply.headers:
            self.assertNotIn(self.site.archive_dir, header, name)
            self.assertNotIn(urllib.parse.quote(self.site.archive_dir, safe=""), header, name)
        # The cookies alone carry the next request to the same server.
        self.assertEqual(browser.get("_a=l&_nohtml=1").body, ALICE_LIST)

        # A cookie of an older logon that names the configured directory is still taken.
        older = Browser(self.site)
        older.set_cookie("ZEIQS", "_s=DEMO&_pt=0&_cp=819&_u=ALICE&_p=wonder1&_local="
                         + urllib.parse.quote(self.site.archive_dir, safe=""))
        self.assertEqual(older.get("_a=l&_nohtml=1").body, ALICE_LIST)
        self.assertEqual(older.get("_a=f&_nohtml=1").body, LOGGED_OFF)

    def test_logoff_expires_both_cookies(self):
        browser = Browser(self.site)
        self.assertEqual(browser.get("_a=l&_s=DEMO&_u=BOB&_p=builder2&_nohtml=1").status, 200)
        self.assertIsNotNone(browser.cookie("ZEIQS"))
        self.assertIsNotNone(browser.cookie("ZEILOGID"))
        reply = browser.get("_a=f&_nohtml=1")
        self.assertEqual(reply.body, LOGGED_OFF)
        cleared = [attributes(c) for c in reply.all("Set-Cookie")]
        self.assertEqual([name for name, _, _ in cleared], ["ZEIQS", "ZEILOGID"])
        for name, value, attrs in cleared:
            with self.subTest(name):
                self.assertEqual(value, "")
                self.assertEqual(attrs.get("max-age"), "0")
                expires = email.utils.parsedate_to_datetime(attrs["expires"])
                self.assertLess(expires.timestamp(), time.time())
                self.assertIn("httponly", attrs)
                self.assertEqual(attrs.get("samesite"), "Lax")
        # The browser keeps neither cookie, so the next request names no server.
        self.assertIsNone(browser.cookie("ZEIQS"))
        self.assertIsNone(browser.cookie("ZEILOGID"))
        self.assertEqual(browser.get("_a=l&_nohtml=1").body,
                         b"[ERROR]\nID=2171\nMSG=The argument '_server' was not specified\n")


if __name__ == "__main__":
    unittest.main()
