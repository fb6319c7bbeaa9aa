"""Journey: BOB logs on through lighttpd and meets the search form of his one folder, then
searches the invoices in plain text with every operator, lists them as a page, and is
refused an unknown field; the cookies alone carry the logon and the open folder."""
import os
import re
import unittest

from gateway_site import Browser, SiteTestCase, invoice_site, plain_error
from journeys import OPERATOR_SEARCHES, SEARCH_JOURNEY

# The invoices each operator selects (as sorted invoice numbers), in OPERATOR_SEARCHES order.
SELECTED = [
    ["A0002"], ["A0001", "A0003", "A0004", "A0005"], ["A0001", "A0002"], ["A0001", "A0002", "A0003"],
    ["A0004", "A0005"], ["A0004", "A0005"], ["A0001", "A0005"], ["A0002", "A0003", "A0004"],
    ["A0003"], ["A0001", "A0002", "A0004", "A0005"], ["A0002", "A0003", "A0004"], ["A0001", "A0005"],
]


def numbers(body):
    return sorted(re.findall(rb"^DOC=\[([^^]*)\^", body, re.M))


class SearchJourney(SiteTestCase):
    def setUp(self):
        self.site = self.open_site(invoice_site(self))

    def test_journey(self):
        self.assertEqual(len(SELECTED), len(OPERATOR_SEARCHES))
        browser = Browser(self.site)
        steps = dict(SEARCH_JOURNEY)

        reply = browser.post(steps["logon to the search form"])
        page = reply.text()
        self.assertIn('<center><h3>Invoices</h3></center>\n<form METHOD="POST" action="/cgi-bin/qelwww">', page)
        self.assertIn('<input type=hidden name=_a value=d>', page)
        self.assertIn('<TD NOWRAP><input type=text name="Invoice date2" value="', page)
        self.assertEqual(len(reply.all("Set-Cookie")), 2)
        self.assertIn("DEMO_0_BOB_Invoices.fld", os.listdir(self.site.cache_dir))

        reply = browser.get(steps["search form in plain text"])
        self.assertEqual(reply.header("Content-Type"), "text/plain; charset=UTF-8")
        lines = reply.body.split(b"\n")
        self.assertEqual(lines[:3], [b"[BEGIN]", b"ACTION=/cgi-bin/qelwww?_a=d&_f=Invoices", b"NUMROWS=3"])
        self.assertEqual(lines[4], b"ROW=[Invoice number^[[1^2^4^8^16^32^64^128^256^512^1024^2048]^1]^[N^[\"\"]]]")
        self.assertEqual(lines[-2:], [b"[END]", b""])

        for (op, value, second), selected in zip(OPERATOR_SEARCHES, SELECTED):
            with self.subTest(op=op, value=value, second=second):
                reply = browser.post(steps[f"search with operator {op}"])
                self.assertTrue(reply.body.startswith(b"[BEGIN]\nDOC=["), reply.body)
                self.assertEqual(numbers(reply.body), [n.encode() for n in selected])
                # Every hit's link names the folder and its document id, encoded once.
                for link in re.findall(rb"\^(/cgi-bin/qelwww\?[^^]*)\^L\]", reply.body):
                    self.assertTrue(link.startswith(b"/cgi-bin/qelwww?_a=r&_f=Invoices&_d=100%2D200%2DINV1%2D"), link)

        page = browser.get(steps["hit list page"]).text()
        self.assertIn("<form name=QKForm method=GET action=\"/cgi-bin/qelwww\">", page)
        self.assertEqual(page.count("onClick=\"view_doc("), 5)
        self.assertIn("&quot;&gt;&lt;img src=x onerror=alert(1)&gt;", page)
        self.assertNotIn("<img src=x", page)
        self.assertEqual(page.count("</SCRIPT>"), 1)
        self.assertNotIn("</script>", page)

        reply = browser.get(steps["unknown display field"])
        self.assertEqual(reply.body, plain_error(2180, "The field 'Amount' was not found in this folder"))

        reply = browser.get(steps["logoff"])
        self.assertIn("User logged off!", reply.text())
        left = sorted(n for n in os.listdir(self.site.cache_dir) if n.startswith("DEMO_0_BOB"))
        # The open folder outlives the logoff, which names no folder; the next logon's
        # state is newer, so it is never used again.
        self.assertEqual(left, ["DEMO_0_BOB_Invoices.fld"])


if __name__ == "__main__":
    unittest.main()
