"""Journey: every document of folder Documents retrieved through lighttpd and the CGI
program. In the viewer plug-in's views the AFP and line-data documents come as containers
that the independent reader takes apart: the pieces are the stored document and resource
group byte for byte, and the segment URL of each paged document (the line-data ledger, the
AFP invoice run with its resource group) fetches the rest of it. In the
native views every document comes as its stored bytes with the configured content type."""
import unittest

from documents_site import (FOLDER, LEDGER, NATIVE_VIEWS, PAGED_AFP, PLUGIN_VIEWS, documents_site, docid_of, hit_links,
                            logged_on, read_container, required_env, stored_documents, url_encoded)
from container_reader import expand
from gateway_site import SiteTestCase

HEADER_END = {"A": 40, "L": 81}  # the line-data run follows the header of line data


class PluginContainers(SiteTestCase):
    configuration = ""

    @classmethod
    def setUpClass(cls):
        cls.stored = stored_documents(required_env("QELWWW_DOCUMENTS_SOURCE"))

    def setUp(self):
        self.site = self.open_site(documents_site(PLUGIN_VIEWS, self.configuration))
        self.browser = logged_on(self.site)
        self.links = hit_links(self.browser)
        self.assertEqual(sorted(self.links), sorted(self.stored))

    def retrieve(self, title):
        reply = self.browser.get(self.links[title][1])
        self.assertEqual(reply.status, 200)
        return reply

    def viewer_documents(self):
        return [(t, letter) for t, (letter, _) in sorted(self.links.items()) if letter in "AL"]

    def test_every_afp_and_line_document_reads_back(self):
        self.assertEqual(len(self.viewer_documents()), 6)
        for title, letter in self.viewer_documents():
            with self.subTest(title):
                stored = self.stored[title]
                reply = self.retrieve(title)
                self.assertEqual(reply.header("Content-Type"), "application/afp")
                c = read_container(reply.body)
                self.assertEqual((c["kind"], c["version"], c["document_type"]), ("full", 2000, letter))
                # The pieces fill the body exactly: header (and run), information,
                # resources, document.
                self.assertEqual(c["info_offset"], HEADER_END[letter])
                self.assertEqual(c["document_offset"], c["info_offset"] + c["info_length"] + c["resource_length"])
                self.assertEqual(c["document_offset"] + len(c["document"]), len(reply.body))
                self.assertEqual(c["document_expanded"], stored.segments[0])
                self.assertEqual(c["resources_expanded"], stored.resources)
                if not stored.resources:
                    self.assertEqual(c["resource_length"], 0)
                # The default view of the open document.
                self.assertEqual((c["orientation"], c["number"], c["attributes"]), ("0", 100, ["M", "B", "W"]))
                if len(stored.segments) == 1:
                    self.assertEqual((c["segment"], c["info_letter"], c["info_length"], c["info"]),
                                     (-1, "", 0, None))
                else:
                    self.assertEqual(c["segment"], 0)
                if letter == "L":
                    self.assertEqual(c["line_data"]["record_delimiter"], "0A")

    def test_ledger_information_block(self):
        stored = self.stored[LEDGER]
        c = read_container(self.retrieve(LEDGER).body)
        info = c["info"]
        self.assertEqual((info["total_pages"], info["segments"], info["pages_in_segment"],
                          info["pages_in_last_segment"]), (8, 3, 3, 2))
        self.assertEqual(info["groups"], [])
        self.assertIsNone(info["form_data"])
        docid = docid_of(self.links[LEDGER][1])
        self.assertEqual(info["segment_url"], f"/cgi-bin/qelwww?_f={FOLDER}&_d={url_encoded(docid)}&_a=g&_seg=")
        # Blocks below 200 bytes go out stored, larger ones as LZW.
        block = expand(c["info_letter"].encode(), c["info_piece"])
        self.assertEqual(c["info_letter"], "N" if len(block) < 200 else "L")

    def test_ledger_page_names(self):
        # The page tables name every page; the application's parameters carry the PageId
        # that lets the client show them.
        info = read_container(self.retrieve(LEDGER).body)["info"]
        self.assertEqual(self.stored[LEDGER].page_names, [f"Ledger page {n}" for n in range(1, 9)])
        self.assertEqual(info["page_names_flag"], 1)
        self.assertEqual(info["page_names"], self.stored[LEDGER].page_names)

    def paged_documents(self):
        return [t for t, _ in self.viewer_documents() if len(self.stored[t].segments) > 1]

    def segments_after(self, container):
        """The segment replies for 1 .. segments - 1, fetched by the block's own URL."""
        url = container["info"]["segment_url"]
        path, _, query = url.partition("?")
        # AFP for the plug-in names its kind in the path.
        self.assertEqual(path, "/cgi-bin/qelwww" + ("/.afp" if container["document_type"] == "A" else ""))
        replies = []
        for number in range(1, container["info"]["segments"]):
            reply = self.browser.get(query + str(number))
            self.assertEqual(reply.header("Content-Type"), "application/afp")
            segment = read_container(reply.body, container["document_letter"])
            self.assertEqual((segment["kind"], segment["version"], segment["segment"]), ("segment", 2000, number))
            replies.append(segment["segment_expanded"])
        return replies

    def test_segments_complete_every_paged_document(self):
        self.assertEqual(sorted(self.paged_documents()), [LEDGER, PAGED_AFP])
        for title in self.paged_documents():
            with self.subTest(title):
                stored = self.stored[title]
                container = read_container(self.retrieve(title).body)
                segments = self.segments_after(container)
                self.assertEqual(segments, stored.segments[1:])
                self.assertEqual(container["document_expanded"] + b"".join(segments), stored.whole)
                self.assertEqual(container["resources_expanded"], stored.resources)

    def test_paged_afp_information_block(self):
        # Pieces as they came: the resource group expanded, the document with its stored letter.
        c = read_container(self.retrieve(PAGED_AFP).body)
        self.assertEqual((c["resource_letter"], c["document_letter"]), ("N", "O"))
        self.assertEqual(c["resource_length"], len(self.stored[PAGED_AFP].resources))
        info = c["info"]
        self.assertEqual((info["total_pages"], info["segments"], info["pages_in_segment"],
                          info["pages_in_last_segment"]), (5, 3, 2, 1))


class CachedPluginContainers(PluginContainers):
    """The same with CacheDocs: getsegment restores the document from the cache."""
    configuration = "CacheDocs=1"

    def test_a_cached_document_gives_the_same_container(self):
        for title, _ in self.viewer_documents():
            with self.subTest(title):
                first = self.retrieve(title).body
                self.assertEqual(self.retrieve(title).body, first)
        for title in self.paged_documents():
            container = read_container(self.retrieve(title).body)
            self.assertEqual(self.segments_after(container), self.stored[title].segments[1:], title)


class NativeViews(SiteTestCase):
    # (configuration of the site, expected content type by kind).
    CASES = [
        ("", {"LINE": "application/line", "AFP": "application/afp", "PDF": "application/pdf",
              "TIFF": "image/tiff"}),
        ("[mimetypes]\nLINE=application/x-line-data\nAFP=application/vnd.afp\nPDF=application/x-pdf\nTIFF=image/x-tiff\n",
         {"LINE": "application/x-line-data", "AFP": "application/vnd.afp", "PDF": "application/x-pdf",
          "TIFF": "image/x-tiff"}),
    ]

    def test_every_document_is_its_stored_bytes(self):
        stored = stored_documents(required_env("QELWWW_DOCUMENTS_SOURCE"))
        for mimetypes, types in self.CASES:
            with documents_site(NATIVE_VIEWS + mimetypes) as site:
                site.start()
                browser = logged_on(site)
                for title, (_, query) in sorted(hit_links(browser).items()):
                    with self.subTest(mimetypes=mimetypes, title=title):
                        reply = browser.get(query)
                        self.assertEqual(reply.header("Content-Type"), types[stored[title].kind])
                        # AFP and line data carry their resource group first; a paged
                        # document goes out as its first segment.
                        self.assertEqual(reply.body, stored[title].resources + stored[title].segments[0])
                site.stop()
                self.check_site_at_end(site)

    def test_plugin_containers_follow_the_mimetypes_table_for_line_data(self):
        # AFP in the plug-in is always application/afp; line data takes the AFP key.
        with documents_site(PLUGIN_VIEWS + self.CASES[1][0]) as site:
            site.start()
            browser = logged_on(site)
            links = hit_links(browser)
            for title, expected in [("Quarterly stock report", "application/vnd.afp"),
                                    ("Shipping letter", "application/afp"), ("Product brochure", "application/x-pdf")]:
                with self.subTest(title):
                    self.assertEqual(browser.get(links[title][1]).header("Content-Type"), expected)
            site.stop()
            self.check_site_at_end(site)


if __name__ == "__main__":
    unittest.main()
