"""Journey: another site makes a logged-on browser send requests that would change the
password, add notes, change index values or print, through lighttpd. A link or image (GET)
and a form posted from another origin are refused and nothing is stored; a form of this
site, or of an origin AllowedOrigins lists, changes it; a logon page hosted elsewhere still
logs on. A value whose decoded bytes are not UTF-8 is refused and stores nothing."""
import unittest

from documents_site import FOLDER, LEDGER, PLUGIN_VIEWS, docid_of, documents_site, hit_links, logged_on
from gateway_site import Browser, GatewaySite, SiteTestCase
from hostile_requests import (ALLOWED_ORIGINS_INI, FORM, PORTAL, check_reply, cookie_header, document_changes,
                              hostile_values, password_changes, send, send_case, stored)


class CrossSite(SiteTestCase):
    def setUp(self):
        self.site = self.open_site(GatewaySite(archive=True, extra_ini=ALLOWED_ORIGINS_INI))
        self.alice = self.logged_on_alice(self.site)

    def tearDown(self):
        self.assert_no_sanitizer_report(self.site.cgi_stderr())

    def own_origin(self):
        return f"http://127.0.0.1:{self.site.port}"

    def hostile(self, method, query, origin=None, cookie=None):
        """What a browser sends for another site's link or form: ALICE's cookies, the
        other site's Origin (none for a GET), nothing else of hers."""
        return send(self.site, method, query, origin, cookie or cookie_header(self.alice))

    def logs_on_with(self, password):
        reply = Browser(self.site).post({"_function": "logon", "_server": "DEMO", "_user": "ALICE",
                                         "_password": password, "_nohtml": "1"})
        return reply.body.startswith(b"[BEGIN]")

    def test_changes_from_other_sites_are_refused(self):
        for case in password_changes(self.site.port):
            with self.subTest(case.name):
                check_reply(self, case, send_case(self.site, case, cookie_header(self.alice)))
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


class DocumentChanges(SiteTestCase):
    """Folder Documents: ALICE's browser is made to add notes, change a title and print."""

    def setUp(self):
        self.site = self.open_site(documents_site(PLUGIN_VIEWS))
        self.alice = logged_on(self.site)
        self.docid = docid_of(hit_links(self.alice)[LEDGER][1])

    def tearDown(self):
        self.assert_no_sanitizer_report(self.site.cgi_stderr())

    def test_changes_from_other_sites_and_hostile_values_store_nothing(self):
        before = stored(self.site.archive_dir)
        for case in document_changes(FOLDER, self.docid) + hostile_values(FOLDER, self.docid):
            with self.subTest(case.name):
                check_reply(self, case, send_case(self.site, case, cookie_header(self.alice)))
        self.assertEqual(stored(self.site.archive_dir), before)
        # The site's own form adds the note.
        reply = self.alice.post({"_function": "addnote", "_f": FOLDER, "_d": self.docid, "_perm": "0",
                                 "_text": "Checked \u00e9", "_nohtml": "1"})
        self.assertTrue(reply.body.startswith(b"[BEGIN]\n"), reply.body)
        self.assertNotEqual(stored(self.site.archive_dir), before)


if __name__ == "__main__":
    unittest.main()
