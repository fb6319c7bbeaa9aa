"""Journey: document ids forged past ALICE's Payroll restriction, through lighttpd and the
CGI program. Her group's permission row hides the DIRECTOR's payslips; an id naming one,
whether made from one of her own ids with other object numbers or carrying the hidden
row's values too, is refused for retrieve, getnotes, addnote and updatedoc as any forged
id is, and the row stays hidden and unchanged."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.parse

from documents_site import GENERATOR, docid_of, documents_site, logged_on, url_encoded
from gateway_site import SiteTestCase, plain_error, required_env

NOT_AUTHORIZED = plain_error(1823, "The user is not authorized to perform this operation")
FOLDER = "Payroll"
RESTRICTION = "Q_RESTRICT=\"EMPLOYEE <> 'DIRECTOR'\""


def payslips(browser):
    """Employee and period (the id's values) -> document id, from the plain-text hit list of
    every payslip."""
    reply = browser.get(urllib.parse.urlencode({"_a": "d", "_f": FOLDER, "_nohtml": "1",
                                                "_sql": "EMPLOYEE <> ''"}))
    found = {}
    for link in re.findall(rb"^DOC=\[(?:.*\^)?(/cgi-bin/qelwww\?[^^]*)\^\w\]$", reply.body, re.M):
        docid = docid_of(link.decode("ascii").partition("?")[2])
        found[docid.split("\x01", 2)[2]] = docid  # by the values the id carries
    if not found:
        raise AssertionError(reply.body)
    return found


class ForgedPastTheRestriction(SiteTestCase):
    @classmethod
    def setUpClass(cls):
        # The demo archive with its Payroll folder (few statements: they play no part).
        cls.work = tempfile.mkdtemp(prefix="qel-restriction-")
        source, archive = os.path.join(cls.work, "source"), os.path.join(cls.work, "archive")
        subprocess.run([sys.executable, GENERATOR, "--out", source, "--statements", "3"], check=True,
                       stdout=subprocess.DEVNULL, timeout=300)
        subprocess.run([required_env("QELWWW_ARCHIVE_BUILDER"), os.path.join(source, "demo.json"), archive],
                       check=True, capture_output=True, timeout=300)
        cls.site = documents_site(archive=archive).start()
        # The DIRECTOR's ids, as a user without the restriction gets them: the table is
        # read again by every logon.
        tables = os.path.join(cls.site.root, "archive", "table", "agperms.tbl")
        with open(tables, encoding="latin-1") as f:
            perms = f.read()
        assert RESTRICTION in perms, perms
        with open(tables, "w", encoding="latin-1") as f:
            f.write(perms.replace(RESTRICTION + "\n", ""))
        try:
            everything = payslips(logged_on(cls.site))
        finally:
            with open(tables, "w", encoding="latin-1") as f:
                f.write(perms)
        cls.hidden = {k: v for k, v in everything.items() if k.startswith("DIRECTOR")}
        assert cls.hidden, everything

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

    def forged_ids(self):
        """ALICE's first id with a hidden row's object numbers, and the hidden row's own id."""
        mine = next(iter(self.own.values()))
        secret = next(iter(self.hidden.values()))
        head, sep, rest = mine.partition("\x01")
        items = head.split("-")
        items[4:8] = secret.partition("\x01")[0].split("-")[4:8]
        return [("her id with other object numbers", "-".join(items) + sep + rest),
                ("the hidden row's id", secret)]

    def test_she_does_not_find_the_hidden_rows(self):
        self.assertFalse([k for k in self.own if k.startswith("DIRECTOR")])
        self.assertTrue(self.own)

    def test_forged_ids_are_refused(self):
        for label, docid in self.forged_ids():
            d = url_encoded(docid)
            requests = [
                ("retrieve", lambda: self.browser.get(f"_a=r&_f={FOLDER}&_nohtml=1&_d={d}")),
                ("getnotes", lambda: self.browser.get(f"_a=n&_f={FOLDER}&_nohtml=1&_d={d}")),
                ("addnote", lambda: self.browser.post(f"_function=addnote&_f={FOLDER}&_nohtml=1&_perm=0"
                                                      f"&_text=Seen&_d={d}")),
                ("updatedoc", lambda: self.browser.post(f"_function=updatedoc&_f={FOLDER}&_nohtml=1"
                                                        f"&Employee=ALICE%20ARCHER&_d={d}")),
            ]
            for name, send in requests:
                with self.subTest(label=label, action=name):
                    reply = send()
                    self.assertEqual(reply.body, NOT_AUTHORIZED)
                    self.assertNotIn(b"PAYSLIP", reply.body)
        # Nothing moved: the hidden rows are still hidden and the ones she sees unchanged.
        self.assertEqual(payslips(logged_on(self.site)), self.own)

    def test_an_update_cannot_move_her_row_out_of_the_restriction(self):
        docid = url_encoded(next(iter(self.own.values())))
        reply = self.browser.post(f"_function=updatedoc&_f={FOLDER}&_nohtml=1&Employee=DIRECTOR&_d={docid}")
        self.assertEqual(reply.body, NOT_AUTHORIZED)
        self.assertEqual(payslips(logged_on(self.site)), self.own)

    def test_her_own_ids_still_work(self):
        docid = url_encoded(next(iter(self.own.values())))
        reply = self.browser.get(f"_a=r&_f={FOLDER}&_nohtml=1&_d={docid}")
        self.assertNotEqual(reply.body, NOT_AUTHORIZED)
        reply = self.browser.get(f"_a=n&_f={FOLDER}&_nohtml=1&_d={docid}")
        self.assertNotEqual(reply.body, NOT_AUTHORIZED)


if __name__ == "__main__":
    unittest.main()
