"""Journey: the state cookies through lighttpd. The state cookie of a logon leaves out the
configured archive directory of the local server (a cookie that still names it is taken)
and holds the password only sealed, which logs on again once the state files are gone;
under HTTPS every cookie is Secure; logoff expires both cookies, so that the browser keeps
neither, not even empty."""
import email.utils
import os
import time
import unittest
import urllib.parse

from forged_requests import ALICE_LOGON, LOGGED_OFF, state_cookie, tampered_seals
from gateway_site import Browser, GatewaySite, SiteTestCase

ALICE_LIST = (b"[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n"
              b"FOLDER=[Payroll^Payroll statements]\n[END]\n")


def attributes(set_cookie):
    """A Set-Cookie value -> (name, value, {attribute name in lower case: value})."""
    pair, *rest = [part.strip() for part in set_cookie.split(";")]
    name, _, value = pair.partition("=")
    attrs = {}
    for part in rest:
        key, _, attr = part.partition("=")
        attrs[key.lower()] = attr
    return name, value, attrs


def state_fields(reply):
    """The fields of the one ZEIQS cookie a reply sets."""
    state = [attributes(c) for c in reply.all("Set-Cookie") if c.startswith("ZEIQS=")]
    assert len(state) == 1, reply.headers
    return urllib.parse.parse_qs(state[0][1], keep_blank_values=True)


class StateCookies(SiteTestCase):
    def setUp(self):
        self.site = self.open_site(GatewaySite(archive=True, trace=True))

    def remove_state_files(self):
        for name in os.listdir(self.site.cache_dir):
            if name.endswith((".srv", ".fnm")):
                os.remove(os.path.join(self.site.cache_dir, name))

    def test_logon_cookie_leaves_out_the_archive_path(self):
        browser = Browser(self.site)
        reply = browser.post(ALICE_LOGON)
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
        older.set_cookie("ZEIQS", "_s=DEMO&_pt=0&_cp=819&_u=ALICE&_p=" + fields["_p"][0] + "&_local="
                         + urllib.parse.quote(self.site.archive_dir, safe=""))
        self.assertEqual(older.get("_a=l&_nohtml=1").body, ALICE_LIST)
        self.assertEqual(older.get("_a=f&_nohtml=1").body, LOGGED_OFF)

    def test_the_password_leaves_the_server_only_sealed(self):
        browser = Browser(self.site)
        reply = browser.post(ALICE_LOGON)
        self.assertEqual(reply.body, ALICE_LIST)
        sealed = state_fields(reply)["_p"][0]
        self.assertTrue(sealed.startswith("v1."), sealed)
        for name, header in reply.headers:
            self.assertNotIn("wonder1", header, name)
        # Each logon seals anew: the same password never gives the same cookie twice.
        self.assertNotEqual(state_fields(Browser(self.site).post(ALICE_LOGON))["_p"][0], sealed)

        # With the state files gone, the cookies alone log on again, and save the state anew.
        self.remove_state_files()
        self.assertEqual(browser.get("_a=l&_nohtml=1").body, ALICE_LIST)
        self.assertIn("DEMO_0_ALICE.srv", os.listdir(self.site.cache_dir))
        self.assertEqual(browser.get("_a=f&_nohtml=1").body, LOGGED_OFF)

        # A cookie whose password does not open is no logon: the clear text of an older
        # cookie, a sealed value changed by one character, another user's.
        for case in tampered_seals(sealed):
            with self.subTest(case.name):
                forged = Browser(self.site)
                forged.set_cookie("ZEIQS", state_cookie(None, case.user, case.password))
                self.assertEqual(forged.get(case.query).body, case.expected)

        # Nor does the trace show the password, sealed or not.
        with open(os.path.join(self.site.log_dir, "qelwww.log"), "rb") as log:
            trace = log.read()
        self.assertIn(b"HTTP_COOKIE = 'ZEIQS=", trace)
        for secret in ("wonder1", sealed, sealed[3:], urllib.parse.quote(sealed, safe="")):
            self.assertNotIn(secret.encode(), trace, secret)

    def test_under_https_every_cookie_is_secure(self):
        body = urllib.parse.urlencode(ALICE_LOGON).encode()
        for https, secure in (("on", True), ("ON", True), ("off", False), (None, False)):
            with self.subTest(HTTPS=https):
                env = {"REQUEST_METHOD": "POST", "CONTENT_LENGTH": str(len(body)), "SCRIPT_NAME": "/cgi-bin/qelwww",
                       "HTTP_HOST": "127.0.0.1"}
                if https is not None:
                    env["HTTPS"] = https
                rc, reply, stderr = self.site.run_cgi(env, body)
                self.assert_no_sanitizer_report(stderr)
                self.assertEqual((rc, reply.body), (0, ALICE_LIST))
                cookies = [attributes(c) for c in reply.all("Set-Cookie")]
                self.assertEqual([name for name, _, _ in cookies], ["ZEIQS", "ZEILOGID"])
                for name, _, attrs in cookies:
                    self.assertEqual("secure" in attrs, secure, name)
                    self.assertIn("httponly", attrs)

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
