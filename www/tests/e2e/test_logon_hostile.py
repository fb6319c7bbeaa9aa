"""Journey: hostile requests against the logon. A forged state cookie with another user's
name and a wrong password is refused and leaves that user's logon alone; state files
planted or damaged in the cache count as missing; server names with "../" never leave
the cache directory."""
import os
import unittest
import urllib.parse

from forged_requests import (CLIMBING_LOGONS, LOGGED_OFF, NO_PASSWORD, TIMED_OUT, climbing_sections, forged_logons,
                             state_cookie, stray_state_files)
from gateway_site import Browser, GatewaySite, SiteTestCase


class HostileLogon(SiteTestCase):
    def setUp(self):
        self.site = GatewaySite(archive=True)
        # A section whose name climbs out of the cache: the sample archive under another name.
        self.site.write_ini(extra=climbing_sections(self.site.archive_dir))
        self.open_site(self.site)
        self.alice = self.logged_on_alice(self.site)

    def cache_file(self, name):
        return os.path.join(self.site.cache_dir, name)

    def read_cache(self, name):
        with open(self.cache_file(name), "rb") as f:
            return f.read()

    def write_cache(self, name, data):
        with open(self.cache_file(name), "wb") as f:
            f.write(data)

    def forged(self, user, password, query, post=False):
        browser = Browser(self.site)
        browser.set_cookie("ZEIQS", state_cookie(self.site.archive_dir, user, password))
        return browser.post(query) if post else browser.get(query)

    def test_forged_cookie_with_another_users_name(self):
        saved = {name: self.read_cache(name) for name in ("DEMO_0_ALICE.srv", "DEMO_0_ALICE.fnm")}
        bob = Browser(self.site)
        bob.get("_a=l&_s=DEMO&_u=BOB&_p=builder2&_nohtml=1")
        # A password in clear in the cookie is no logon at all; one in the request is checked.
        for case in forged_logons():
            with self.subTest(case.name):
                reply = self.forged(case.user, case.password, case.query, post=case.method == "POST")
                self.assertEqual(reply.body, case.expected)
                self.assertEqual(reply.all("Set-Cookie"), [])
        # ALICE's state and password are untouched and her cookies still work.
        # BOB's own sealed password, his cookie turned to ALICE's name, opens for nobody.
        sealed = urllib.parse.parse_qs(bob.cookie("ZEIQS").value)["_p"][0]
        for query, expected in (("_a=l&_nohtml=1", NO_PASSWORD), ("_a=f&_nohtml=1", TIMED_OUT)):
            with self.subTest("BOB's sealed password", query=query):
                browser = Browser(self.site)
                browser.set_cookie("ZEIQS", state_cookie(self.site.archive_dir, "ALICE", None) + "&_p=" + sealed)
                self.assertEqual(browser.get(query).body, expected)
        for name, data in saved.items():
            self.assertEqual(self.read_cache(name), data, name)
        self.assertEqual(self.alice.get("_a=f&_nohtml=1").body, LOGGED_OFF)

    def test_planted_or_damaged_state_counts_as_missing(self):
        good = self.read_cache("DEMO_0_ALICE.srv")
        Browser(self.site).get("_a=l&_s=DEMO&_u=BOB&_p=builder2&_nohtml=1")
        cases = [
            ("text", b"ALICE wonder1\n"),
            ("empty", b""),
            ("cut short", good[: len(good) // 2]),
            ("one byte flipped", good[:40] + bytes([good[40] ^ 1]) + good[41:]),
            ("BOB's session under ALICE's name", self.read_cache("DEMO_0_BOB.srv")),
        ]
        for name, data in cases:
            with self.subTest(name):
                self.write_cache("DEMO_0_ALICE.srv", data)
                self.assertEqual(self.alice.get("_a=f&_nohtml=1").body, TIMED_OUT)
        # BOB's files planted whole under ALICE's names, used with BOB's password.
        self.write_cache("DEMO_0_ALICE.fnm", self.read_cache("DEMO_0_BOB.fnm"))
        self.assertEqual(self.forged("ALICE", None, "_a=f&_p=builder2&_nohtml=1").body, TIMED_OUT)
        # A logon writes a good state again.
        self.assertTrue(self.alice.get("_a=l&_nohtml=1").body.startswith(b"[BEGIN]"))
        self.assertEqual(self.alice.get("_a=f&_nohtml=1").body, LOGGED_OFF)

    def test_server_names_stay_inside_the_cache(self):
        climber = Browser(self.site)
        reply = climber.get("_a=l&_s=" + urllib.parse.quote("../../up", safe="") + "&_u=ALICE&_p=wonder1&_nohtml=1")
        self.assertTrue(reply.body.startswith(b"[BEGIN]"), reply.body)
        names = sorted(os.listdir(self.site.cache_dir))
        self.assertIn("%2E%2E%2F%2E%2E%2Fup_0_ALICE.srv", names)
        self.assertEqual(stray_state_files(self.site.root, self.site.cache_dir), [])
        # Cookie-only requests find the encoded files again, and logoff removes them.
        self.assertTrue(climber.get("_a=l&_nohtml=1").body.startswith(b"[BEGIN]"))
        self.assertEqual(climber.get("_a=f&_nohtml=1").body, LOGGED_OFF)
        self.assertNotIn("%2E%2E%2F%2E%2E%2Fup_0_ALICE.srv", os.listdir(self.site.cache_dir))
        # Names that only climb (no section) and climbing users are refused and write nothing.
        for query in CLIMBING_LOGONS:
            with self.subTest(query):
                self.assertTrue(climber.get(query).body.startswith(b"[ERROR]"))
        self.assertEqual(stray_state_files(self.site.root, self.site.cache_dir), [])
        self.assertEqual(sorted(n for n in os.listdir(self.site.cache_dir) if n.endswith(".srv")),
                         ["DEMO_0_ALICE.srv"])

if __name__ == "__main__":
    unittest.main()
