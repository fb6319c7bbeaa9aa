"""Journey: server print on the demo site. The demo's local server lists the printer SPOOL
(from the registry the site set-up writes); printdocs through lighttpd and the gateway
hands the documents to the archive's print script, which copies each job into the spool
directory beside the archive. Each job file holds exactly one document's bytes as stored
(its resource group first), whatever the order of the data in the objects."""
import os
import shutil
import stat
import subprocess
import tempfile
import unittest

from gateway_site import Browser, SiteTestCase, required_env
import documents_site
import qelwww_site

PRINTED = ["Quarterly stock report", "Annual ledger", "Invoice form with overlay", "Product brochure"]


class DemoPrint(SiteTestCase):
    def setUp(self):
        build = os.path.dirname(os.path.dirname(os.path.realpath(required_env("QELWWW_PROGRAM"))))
        self.root = tempfile.mkdtemp(prefix="qelwww-print-")
        self.addCleanup(shutil.rmtree, self.root, True)
        self.port = qelwww_site.free_port()
        conf, _ = qelwww_site.make_demo_site(self.root, build, documents_site.SOURCE, self.port,
                                             required_env("QELWWW_DOCUMENTS_ARCHIVE"))
        self.spool = os.path.join(self.root, "archive", "spool")
        log = open(os.path.join(self.root, "log", "lighttpd.out"), "ab")
        self.server = subprocess.Popen([required_env("LIGHTTPD"), "-D", "-f", conf], stdout=log, stderr=log,
                                       stdin=subprocess.DEVNULL)
        log.close()
        self.addCleanup(self.stop)
        self.assertTrue(qelwww_site.wait_for_port(self.server, self.port), "lighttpd did not start")
        self.stored = documents_site.stored_documents(required_env("QELWWW_DOCUMENTS_SOURCE"))

    def stop(self):
        self.server.terminate()
        self.server.wait(timeout=10)
        stderr = os.path.join(self.root, "log", "cgi-stderr.log")
        if os.path.exists(stderr):
            with open(stderr, "rb") as f:
                self.assert_no_sanitizer_report(f.read())

    def test_printdocs_puts_each_document_into_the_spool(self):
        browser = Browser(self)
        reply = browser.post({"_function": "logon", "_server": qelwww_site.DEMO_SERVER, "_user": "ALICE",
                              "_password": "wonder1", "_nohtml": "1"})
        self.assertTrue(reply.body.startswith(b"[BEGIN]"), reply.body)
        links = documents_site.hit_links(browser)
        ids = "\x03".join(documents_site.docid_of(links[title][1]) for title in PRINTED)
        reply = browser.post({"_function": "printdocs", "_f": documents_site.FOLDER, "_nohtml": "1",
                              "_printer": qelwww_site.DEMO_PRINTER, "_docids": ids})
        self.assertEqual(reply.status, 200)
        self.assertIn(b"4 - ", reply.body)

        jobs = qelwww_site.spooled(self.spool, len(PRINTED))
        self.assertEqual(len(jobs), len(PRINTED))
        self.assertEqual(stat.S_IMODE(os.stat(self.spool).st_mode), 0o700)
        expected = sorted(self.stored[t].resources + self.stored[t].whole for t in PRINTED)
        self.assertEqual(sorted(data for _, data in jobs), expected)
        for args, _ in jobs:
            self.assertEqual(len(args), 7, args)
            self.assertEqual(args[:3], [qelwww_site.DEMO_PRINTER, "1", "ALICE"])
            # The script took the job's files: the print directory is empty again.
            self.assertFalse(os.path.exists(args[6]), args[6])

    def test_a_printer_the_server_does_not_list_prints_nothing(self):
        browser = Browser(self)
        browser.post({"_function": "logon", "_server": qelwww_site.DEMO_SERVER, "_user": "BOB",
                      "_password": "builder2", "_nohtml": "1"})
        links = documents_site.hit_links(browser)
        reply = browser.post({"_function": "printdocs", "_f": documents_site.FOLDER, "_nohtml": "1",
                              "_printer": "spool", "_docids": documents_site.docid_of(links[PRINTED[0]][1])})
        self.assertIn(b"BulkPrint Failed", reply.body)
        self.assertEqual(qelwww_site.spooled(self.spool, 0, seconds=1), [])


if __name__ == "__main__":
    unittest.main()
