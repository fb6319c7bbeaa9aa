"""Journey: hostile document requests and hostile archive content through lighttpd and the
CGI program. Segment numbers, document ids and embedded ranges a client made up get their
numbered messages, the program never crashes and writes nothing outside the cache; note
texts, document texts and field values holding markup and control bytes reach HTML replies
escaped."""
import os
import shutil
import tempfile
import unittest
import urllib.parse

from documents_site import (FOLDER, LEDGER, PLUGIN_VIEWS, docid_of, documents_site, generate, hit_links, logged_on,
                            read_container, url_encoded)
from gateway_site import SiteTestCase, plain_error

NOT_SPECIFIED = (2171, "The argument '{}' was not specified")
NOT_DECIMAL = (2159, "The argument '{}' is not a valid decimal number")
# Message 431: an id that does not read is the client's local "invalid data" status.
NOT_AUTHORIZED = (1823, "The user is not authorized to perform this operation")
BAD_SEGMENT = (2078, "*** LOGIC ERROR: Invalid segment number")  # message 475


def site_listing(site):
    """Every file of the site outside the cache and the logs, with its size and time."""
    listing = {}
    for top in sorted(os.listdir(site.root)):
        if top in ("cache", "log"):
            continue
        for folder, _, files in os.walk(os.path.join(site.root, top)):
            for name in files:
                if top == "archive" and name.endswith("-lock"):
                    continue  # the local server's keyed files take their read locks there
                path = os.path.join(folder, name)
                info = os.lstat(path)
                listing[os.path.relpath(path, site.root)] = (info.st_size, info.st_mtime_ns)
    return listing


class HostileSite(SiteTestCase):
    """A site started once for the class; every test checks that the site outside the
    cache is as it was and that no sanitizer report came."""
    views = PLUGIN_VIEWS
    archive = None

    @classmethod
    def setUpClass(cls):
        cls.site = documents_site(cls.views, archive=cls.archive).start()

    @classmethod
    def tearDownClass(cls):
        try:
            cls.check_site_at_end(cls.site)
        finally:
            cls.site.close()

    def setUp(self):
        self.before = site_listing(self.site)
        self.addCleanup(self.check_untouched)

    def check_untouched(self):
        self.assert_no_sanitizer_report(self.site.cgi_stderr())
        self.assertEqual(site_listing(self.site), self.before)

    def assert_error(self, reply, expected):
        number, text = expected
        self.assertEqual(reply.body, plain_error(number, text))


class HostileRequests(HostileSite):
    def setUp(self):
        super().setUp()
        self.browser = logged_on(self.site)
        self.links = hit_links(self.browser)

    def test_segment_numbers(self):
        ledger = self.links[LEDGER][1].replace("_a=r", "_a=g")
        single = self.links["Quarterly stock report"][1].replace("_a=r", "_a=g")
        invalid = BAD_SEGMENT
        cases = [
            ("zero", ledger + "&_seg=0", invalid),
            ("negative", ledger + "&_seg=-1", invalid),
            ("the segment count", ledger + "&_seg=3", invalid),
            ("beyond a long", ledger + "&_seg=99999999999999999999999999", invalid),
            ("long minimum", ledger + "&_seg=-9223372036854775808", invalid),
            ("letters", ledger + "&_seg=x", (NOT_DECIMAL[0], NOT_DECIMAL[1].format("_segment"))),
            ("digits then letters", ledger + "&_seg=1x", (NOT_DECIMAL[0], NOT_DECIMAL[1].format("_segment"))),
            ("empty", ledger + "&_seg=", (NOT_DECIMAL[0], NOT_DECIMAL[1].format("_segment"))),
            ("blank before", ledger + "&_seg=%201", (NOT_DECIMAL[0], NOT_DECIMAL[1].format("_segment"))),
            ("absent", ledger, (NOT_SPECIFIED[0], NOT_SPECIFIED[1].format("_segment"))),
            ("one-segment document", single + "&_seg=1", invalid),
        ]
        for label, query, expected in cases:
            with self.subTest(label):
                self.assert_error(self.browser.get(query + "&_nohtml=1"), expected)
        # The session survives every refusal: segment 2 still comes.
        reply = self.browser.get(ledger + "&_seg=2")
        self.assertEqual(reply.body[:12], b"VOD#\x00\x00\x07\xd0\x00\x00\x00\x02")

    def forged(self, title, change):
        """The retrieve link of a title with its document id changed by change(items),
        items being the id's '-' separated items before the first 0x01."""
        docid = docid_of(self.links[title][1])
        head, sep, rest = docid.partition("\x01")
        items = head.split("-")
        return f"_a=r&_f={FOLDER}&_nohtml=1&_d=" + url_encoded(change(items) + sep + rest)

    def test_forged_document_ids(self):
        invalid = NOT_AUTHORIZED

        def replace(index, value):
            def change(items):
                items = list(items)
                items[index] = value
                return "-".join(items)
            return change

        cases = [
            ("garbled", "_a=r&_f=Documents&_nohtml=1&_d=zzz", invalid),
            ("empty", "_a=r&_f=Documents&_nohtml=1&_d=", invalid),
            ("a group of no folder", self.forged("Shipping letter", replace(0, "100")), invalid),
            ("an application of another group", self.forged("Shipping letter", replace(1, "400")), invalid),
            ("fourteen items", self.forged("Shipping letter", lambda items: "-".join(items + ["0"])), invalid),
            ("a plus sign", self.forged("Shipping letter", replace(5, "+470")), invalid),
            ("a path as document name", self.forged("Shipping letter", replace(3, "../../x")), None),
            ("length past the object", self.forged("Shipping letter", replace(5, "2147483647")), None),
            ("negative offset", self.forged("Shipping letter", replace(4, "-5")), None),
            ("stored length past the object", self.forged("Branch sales summary", replace(7, "2147483647")), None),
            ("unknown compression letter", self.forged("Shipping letter", replace(9, "81")), invalid),
            ("decoded twice", "_a=r&_f=Documents&_nohtml=1&_d="
             + url_encoded(docid_of(self.links["Shipping letter"][1]).replace("-", "%2D")), invalid),
        ]
        for label, query, expected in cases:
            with self.subTest(label):
                reply = self.browser.get(query)
                if expected is not None:
                    self.assert_error(reply, expected)
                elif not reply.body.startswith(b"VOD#"):
                    self.assertRegex(reply.body, rb"^\[ERROR\]\nID=\d+\nMSG=[^\n]+\n$")
                else:
                    # The server is the judge of the ranges an id names; what it gives is
                    # a whole container.
                    read_container(reply.body)
        # The logon survives: the real id still gives the document.
        self.assertEqual(self.browser.get(self.links["Shipping letter"][1]).body[:4], b"VOD#")


class HostileArchive(HostileSite):
    """An archive whose notes, document text and titles hold markup and control bytes,
    with a bundle document (type 'O') and a folder Secret that only ALICE may open."""
    views = "[default browser]\nLineViewing=ascii\nAfpViewing=plugin\n"
    CONTROL_NOTE = b"x\r\ny\x01z\x03<b>!"
    BUNDLE = bytes(range(32, 132))
    BUNDLE_TITLE = "Attachment bundle"
    MARKUP_TITLE = '"><img src=x onerror=alert(3)><script>alert(3)</script>'

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="qelwww-hostile-archive-")
        try:
            cls.archive, _ = generate(cls.work, cls.change)
            cls.patch_control_note(cls.archive)
            super().setUpClass()
        except BaseException:
            shutil.rmtree(cls.work, ignore_errors=True)
            raise

    @classmethod
    def tearDownClass(cls):
        try:
            super().tearDownClass()
        finally:
            shutil.rmtree(cls.work, ignore_errors=True)

    @classmethod
    def change(cls, description, data):
        stock = next(d for d in description["documents"] if d["values"]["TITLE"] == "Quarterly stock report")
        stock["notes"] = [
            {"user": "ALICE", "text": "</pre><script>alert(1)</script>"},
            {"user": "BOB", "text": '"><img src=x onerror=alert(2)>'},
            # The builder refuses control characters: the archive's note file gets them.
            {"user": "ALICE", "text": "P" * len(cls.CONTROL_NOTE)},
        ]
        with open(os.path.join(data, os.path.basename(stock["file"])), "ab") as f:
            f.write(b" </pre><script>alert(4)</script>\r\n \x01\x03<img src=x onerror=alert(5)>\n")
        with open(os.path.join(data, "bundle.bin"), "wb") as f:
            f.write(cls.BUNDLE)
        with open(os.path.join(data, "secret.txt"), "wb") as f:
            f.write(b"1SECRET PAYROLL LINE\n")
        template = next(g for g in description["application_groups"] if g["name"] == "DOCLINE")

        def group(agid, name, storage_id, data_type, who):
            g = {k: v for k, v in template.items() if k not in ("objects", "resources")}
            g.update({"agid": agid, "name": name, "storage_id": storage_id, "objects": [{"name": "1FAA"}],
                      "applications": [dict({"appid": agid, "name": name + "APP"},
                                            **({"data_type": data_type} if data_type else {"doc_type": 0}))],
                      "permissions": [{"who": who, "documents": 1, "annotations": 7}]})
            return g

        # A document of no kind the gateway shows (doc_type 0: data type 'N').
        description["application_groups"] += [group(404, "DOCBNDL", "DOCBND", "O", "STAFF"),
                                               group(405, "SECRET", "SECRET", "L", "ALICE"),
                                               group(406, "DOCNONE", "DOCNON", None, "STAFF")]
        folder = description["folders"][0]
        folder["application_groups"] += ["DOCBNDL", "DOCNONE"]
        for field in folder["fields"]:
            field["maps"]["DOCBNDL"] = field["maps"]["DOCLINE"]
            field["maps"]["DOCNONE"] = field["maps"]["DOCLINE"]
        secret = {"fid": 9, "name": "Secret", "application_groups": ["SECRET"],
                  "fields": [dict(folder["fields"][0], maps={"SECRET": "TITLE"})],
                  "permissions": [{"who": "ALICE", "permissions": 1, "hits": 500}]}
        description["folders"].append(secret)
        values = {"KIND": "OTHER", "DOCDATE": "2024-08-01"}
        description["documents"] += [
            {"group": "DOCBNDL", "object": "1FAA", "file": "data/bundle.bin",
             "values": dict(values, TITLE=cls.BUNDLE_TITLE)},
            {"group": "DOCNONE", "object": "1FAA", "file": "data/bundle.bin",
             "values": dict(values, TITLE=cls.MARKUP_TITLE)},
            {"group": "SECRET", "object": "1FAA", "file": "data/secret.txt",
             "values": dict(values, TITLE="Salaries")},
        ]

    @classmethod
    def patch_control_note(cls, archive):
        placeholder = b"P" * len(cls.CONTROL_NOTE)
        notes = os.path.join(archive, "note")
        for name in os.listdir(notes):
            path = os.path.join(notes, name)
            with open(path, "rb") as f:
                data = f.read()
            if placeholder + b"\0" in data:
                with open(path, "wb") as f:
                    f.write(data.replace(placeholder + b"\0", cls.CONTROL_NOTE + b"\0"))
                return
        raise AssertionError("the placeholder note was not written")

    def setUp(self):
        super().setUp()
        self.browser = logged_on(self.site)
        self.links = hit_links(self.browser)

    def assert_no_markup(self, body, controls=True):
        for raw in (b"<script", b"<img") + ((b"\x01", b"\x03") if controls else ()):
            self.assertNotIn(raw, body)

    def test_notes_are_escaped(self):
        docid = url_encoded(docid_of(self.links["Quarterly stock report"][1]))
        html = self.browser.get(f"_a=n&_f={FOLDER}&_d={docid}").body
        self.assert_no_markup(html)
        self.assertIn(b"&lt;/pre&gt;&lt;script&gt;alert(1)&lt;/script&gt;", html)
        self.assertIn(b"&quot;&gt;&lt;img src=x onerror=alert(2)&gt;", html)
        # A line end is a break, the CR before it dropped, other control bytes blanks.
        self.assertIn(b"x<br>\ny z &lt;b&gt;!", html)
        plain = self.browser.get(f"_a=n&_f={FOLDER}&_d={docid}&_nohtml=1").body
        self.assertTrue(plain.startswith(b"[BEGIN]\n"), plain)
        self.assertIn(b"</pre><script>alert(1)</script>", plain)

    def test_document_text_page_is_escaped(self):
        html = self.browser.get(self.links["Quarterly stock report"][1]).body
        # The document's own bytes stay (form feeds, other controls): only markup is escaped.
        self.assert_no_markup(html, controls=False)
        self.assertEqual(html.count(b"<pre>"), 1)
        self.assertEqual(html.count(b"</pre>"), 1)
        self.assertIn(b"&lt;/pre&gt;&lt;script&gt;alert(4)&lt;/script&gt;", html)

    def test_a_title_in_a_message_is_escaped(self):
        # A document of no kind is not shown: message 488 names it by its title.
        letter, query = self.links[self.MARKUP_TITLE]
        self.assertEqual(letter, "N")
        html = self.browser.get(query).body
        self.assert_no_markup(html)
        self.assertIn(b"&quot;&gt;&lt;img src=x onerror=alert(3)&gt;&lt;script&gt;", html)

    def test_embedded_ranges(self):
        query = self.links[self.BUNDLE_TITLE][1] + "&_nohtml=1&_ext=bin"
        size = len(self.BUNDLE)
        elen = (NOT_DECIMAL[0], NOT_DECIMAL[1].format("_elen"))
        eoff = (NOT_DECIMAL[0], NOT_DECIMAL[1].format("_eoff"))
        cases = [
            ("inside", "&_eoff=10&_elen=5", self.BUNDLE[10:15]),
            ("the whole", f"&_eoff=0&_elen={size}", self.BUNDLE),
            ("empty at the end", f"&_eoff={size}&_elen=0", b""),
            ("offset past the end", f"&_eoff={size + 1}&_elen=0", elen),
            ("length past the end", f"&_eoff=1&_elen={size}", elen),
            ("sum beyond 64 bits", "&_eoff=18446744073709551615&_elen=2", elen),
            ("offset beyond 64 bits", "&_eoff=18446744073709551616&_elen=1", eoff),
            ("negative offset", "&_eoff=-1&_elen=1", eoff),
            ("letters", "&_eoff=0&_elen=ten", elen),
            ("no offset", "&_elen=1", (NOT_SPECIFIED[0], NOT_SPECIFIED[1].format("_eoff"))),
            ("no length", "&_eoff=1", (NOT_SPECIFIED[0], NOT_SPECIFIED[1].format("_elen"))),
        ]
        for label, extra, expected in cases:
            with self.subTest(label):
                reply = self.browser.get(query + extra)
                if isinstance(expected, bytes):
                    self.assertEqual(reply.header("Content-Type"), "application/unknown")
                    self.assertEqual(reply.body, expected)
                else:
                    self.assert_error(reply, expected)

    def test_another_folders_document(self):
        secret = hit_links(self.browser, "Secret")["Salaries"][1]
        docid = url_encoded(docid_of(secret))
        self.assertIn(b"SECRET PAYROLL", self.browser.get(secret).body)
        bob = logged_on(self.site, "BOB", "builder2")
        for label, browser, query in [
            ("ALICE names folder Documents", self.browser, f"_a=r&_f={FOLDER}&_d={docid}&_nohtml=1"),
            ("BOB names folder Documents", bob, f"_a=r&_f={FOLDER}&_d={docid}&_nohtml=1"),
            ("BOB names folder Secret", bob, f"_a=r&_f=Secret&_d={docid}&_nohtml=1"),
            ("BOB asks its notes", bob, f"_a=n&_f={FOLDER}&_d={docid}&_nohtml=1"),
        ]:
            with self.subTest(label):
                reply = browser.get(query)
                self.assertRegex(reply.body, rb"^\[ERROR\]\nID=\d+\nMSG=[^\n]+\n$")
                self.assertNotIn(b"SECRET", reply.body)


if __name__ == "__main__":
    unittest.main()
