"""Journey: document ids forged past ALICE's Payroll restriction, through lighttpd and the
CGI program. Her group's permission row hides the DIRECTOR's payslips; an id naming one,
whether made from one of her own ids with other object numbers or carrying the hidden
row's values too, is refused for retrieve, getnotes, addnote and updatedoc as any forged
id is, and the row stays hidden and unchanged."""
import shutil
import tempfile
import unittest

from documents_site import logged_on, url_encoded
from forged_requests import (NOT_AUTHORIZED, PAYROLL, forged_id_requests, forged_ids, moved_out_request, payslips,
                             restricted_site)
from gateway_site import SiteTestCase
from hostile_requests import cookie_header, send_case, stored


class ForgedPastTheRestriction(SiteTestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="qel-restriction-")
        try:
            cls.site, cls.hidden = restricted_site(cls.work)
        except BaseException:
            shutil.rmtree(cls.work, ignore_errors=True)
            raise

    @classmethod
    def tearDownClass(cls):
        try:
            cls.check_site_at_end(cls.site)
        finally:
            cls.site.close()
            shutil.rmtree(cls.work, ignore_errors=True)

    def setUp(self):
        self.browser = logged_on(self.site)
        self.own = payslips(self.browser)

    def test_she_does_not_find_the_hidden_rows(self):
        self.assertFalse([k for k in self.own if k.startswith("DIRECTOR")])
        self.assertTrue(self.own)

    def test_forged_ids_are_refused(self):
        before = stored(self.site.archive_dir)
        for label, docid in forged_ids(self.own, self.hidden):
            for case in forged_id_requests(label, docid):
                with self.subTest(case.name):
                    reply = send_case(self.site, case, cookie_header(self.browser))
                    self.assertEqual(reply.body, NOT_AUTHORIZED)
                    self.assertNotIn(b"PAYSLIP", reply.body)
        # Nothing moved: the hidden rows are still hidden and the ones she sees unchanged.
        self.assertEqual(payslips(logged_on(self.site)), self.own)
        self.assertEqual(stored(self.site.archive_dir), before)

    def test_an_update_cannot_move_her_row_out_of_the_restriction(self):
        reply = send_case(self.site, moved_out_request(self.own), cookie_header(self.browser))
        self.assertEqual(reply.body, NOT_AUTHORIZED)
        self.assertEqual(payslips(logged_on(self.site)), self.own)

    def test_her_own_ids_still_work(self):
        docid = url_encoded(next(iter(self.own.values())))
        reply = self.browser.get(f"_a=r&_f={PAYROLL}&_nohtml=1&_d={docid}")
        self.assertNotEqual(reply.body, NOT_AUTHORIZED)
        reply = self.browser.get(f"_a=n&_f={PAYROLL}&_nohtml=1&_d={docid}")
        self.assertNotEqual(reply.body, NOT_AUTHORIZED)


if __name__ == "__main__":
    unittest.main()
