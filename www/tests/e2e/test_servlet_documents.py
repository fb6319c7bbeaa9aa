"""Journey: the documents of folder Documents through the JNI library in a real JVM give
byte-identical replies to the CGI program behind lighttpd: containers, segments, native
data, text and applet replies, with their content types and cookies."""
import os
import shutil
import tempfile
import unittest

from documents_site import LEDGER, NATIVE_VIEWS, PLUGIN_VIEWS, documents_site, hit_links, logged_on, required_env
from gateway_site import Browser
from journeys import without_sealed_passwords
import test_servlet_journey
import qelwww_site

LOGON = "_function=logon&_server=DEMO&_user=ALICE&_password=wonder1&_nohtml=1"


def document_steps(links):
    """Every document as the views give it, then the ledger's segments, text and applet
    forms of line data, and a refused segment."""
    steps = [("logon", LOGON)]
    for title, (_, query) in sorted(links.items()):
        steps.append((title, query))
    ledger = links[LEDGER][1]
    segments = ledger.replace("_a=r", "_a=g")
    steps += [(f"ledger segment {n}", f"{segments}&_seg={n}") for n in (1, 2)]
    steps += [
        ("ledger as text", ledger + "&_ascii=1"),
        ("ledger segment as text", segments + "&_seg=1&_ascii=1&_nohtml=1"),
        ("ledger in applet mode", ledger + "&_applet=1"),
        ("ledger segment in applet mode", segments + "&_seg=2&_applet=1"),
        ("stock report in applet mode", links["Quarterly stock report"][1] + "&_applet=1"),
        ("segment past the end", segments + "&_seg=3&_nohtml=1"),
        ("logoff", "_a=f&_nohtml=1"),
    ]
    return steps


class ServletDocuments(test_servlet_journey.ServletJourney):
    def compare(self, views, configuration=""):
        with documents_site(views, configuration) as site:
            site.start()
            links = hit_links(logged_on(site))
            site.stop()
            self.reset(site)
            steps = document_steps(links)
            site.start()
            browser = Browser(site)
            through_cgi = [test_servlet_journey.transcript(*self.reply_parts(browser.get(query))) for _, query in steps]
            site.stop()
            self.check_site_at_end(site)

            self.reset(site)
            work = tempfile.mkdtemp(prefix="qelwww-jvm-documents-")
            self.addCleanup(shutil.rmtree, work, True)
            path = os.path.join(work, "steps.txt")
            with open(path, "w", encoding="utf-8") as f:
                f.write("".join(query + "\n" for _, query in steps))
            self.run_jvm(site, "journey", site.cgi_dir, path, work)
            for number, (name, _) in enumerate(steps):
                with self.subTest(views=views, step=name):
                    with open(os.path.join(work, f"{number}.txt"), "rb") as f:
                        self.assertEqual(without_sealed_passwords(f.read()),
                                         without_sealed_passwords(through_cgi[number]))
            return through_cgi

    @staticmethod
    def reply_parts(reply):
        return reply.headers, reply.body

    @staticmethod
    def reset(site):
        qelwww_site.copy_archive(required_env("QELWWW_DOCUMENTS_ARCHIVE"), site.archive_dir)
        for name in os.listdir(site.cache_dir):
            os.remove(os.path.join(site.cache_dir, name))

    def test_plugin_views(self):
        replies = self.compare(PLUGIN_VIEWS)
        # The comparison is of real documents: containers and segment replies came.
        self.assertTrue(any(b"\n--\nVOD#\x00\x00\x07\xd0\x00\x00\x00\x02" in r for r in replies))

    def test_plugin_views_with_the_cache(self):
        self.compare(PLUGIN_VIEWS, "CacheDocs=1")

    def test_native_views(self):
        replies = self.compare(NATIVE_VIEWS)
        self.assertTrue(any(b"--\n%PDF-1.4" in r for r in replies))

    # The logon journey of the base class belongs to its own test file.
    test_same_replies_as_the_cgi_program = None
    test_eight_threads_lose_no_state_file = None


if __name__ == "__main__":
    unittest.main()
