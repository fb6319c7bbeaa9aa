"""Journey: the sample archive keeps its texts in code page 819. A site with Codepage=1208
and one with Codepage=819 search it for customers with non-ASCII names, each with criteria
in its own code page, and get the stored values back in that code page."""
import os
import re
import subprocess
import unittest
import urllib.parse

from gateway_site import Browser, GatewaySite, SiteTestCase

# Invoices loaded beside the sample ones, their customers stored in 819, and the choice of
# field Customer that names each.
CUSTOMERS = [("A0006", "MÜLLER GMBH", "Müller"), ("A0007", "Süd", "Süd"), ("A0008", "SUD", "SUD")]
CODE_PAGES = [(1208, "utf-8"), (819, "latin-1")]


def numbers(body):
    """The invoice numbers of the hits, from their document ids."""
    return sorted(re.findall(rb"%01(A[0-9]{4})%01", body))


class CodePageSearch(SiteTestCase):
    def open_archive_site(self, codepage):
        tool = os.environ.get("QELWWW_INVOICE_TOOL")
        if not tool:
            self.skipTest("QELWWW_INVOICE_TOOL is not set")
        site = GatewaySite(archive=True, configuration=f"Codepage={codepage}")
        args = [tool, site.archive_dir]
        for number, customer, _ in CUSTOMERS:
            args += [number, customer.encode("latin-1"), "19735"]
        aliases = os.path.join(site.archive_dir, "table", "agfldal.tbl")
        with open(aliases, encoding="latin-1") as f:
            text = f.read().replace("ALIAS_NUM=2", f"ALIAS_NUM={2 + len(CUSTOMERS)}")
        for n, (_, customer, choice) in enumerate(CUSTOMERS, start=3):
            text += f'EXTERNAL_{n}="{choice}"\nINTERNAL_{n}="{customer}"\n'
        with open(aliases, "w", encoding="latin-1") as f:
            f.write(text)
        try:
            subprocess.run(args, check=True, timeout=60)
        except Exception:
            site.close()
            raise
        return self.open_site(site)

    def search(self, browser, encoding, customer):
        fields = [("_a", "d"), ("_f", "Invoices"), ("_nohtml", "1"), ("_df", "Customer"),
                  ("Customer", customer.encode(encoding))]
        # Posted: lighttpd refuses a URL whose path or query decodes to bytes that are not
        # UTF-8, and the 819 site's criteria are such bytes.
        return browser.post(urllib.parse.urlencode(fields))

    def test_non_ascii_criteria_under_both_code_pages(self):
        for codepage, encoding in CODE_PAGES:
            with self.subTest(codepage=codepage):
                site = self.open_archive_site(codepage)
                browser = Browser(site)
                reply = browser.post("_function=logon&_server=DEMO&_user=BOB&_password=builder2")
                self.assertEqual(reply.status, 200, reply.body)
                for number, customer, choice in CUSTOMERS:
                    reply = self.search(browser, encoding, choice)
                    self.assertEqual(numbers(reply.body), [number.encode()], reply.body)
                    # The reply is UTF-8 whatever the site's code page: the value reaches it
                    # as text of the session's code page, never as 819 bytes under another
                    # name. The document id keeps the session's bytes.
                    self.assertIn(b"DOC=[" + customer.encode("utf-8") + b"^", reply.body)
                    quoted = urllib.parse.quote(customer.encode(encoding)).encode()
                    self.assertIn(b"%01" + number.encode() + b"%01" + quoted + b"%01", reply.body)
                # A WHERE text given whole, with a non-ASCII LIKE literal.
                where = "CUSTOMER LIKE 'S\u00fc%' OR CUSTOMER = 'M\u00dcLLER GMBH'".encode(encoding)
                reply = browser.post(urllib.parse.urlencode([("_a", "d"), ("_f", "Invoices"), ("_nohtml", "1"),
                                                             ("_sql", where)]))
                self.assertEqual(numbers(reply.body), [b"A0006", b"A0007"], reply.body)


if __name__ == "__main__":
    unittest.main()
