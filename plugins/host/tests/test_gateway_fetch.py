"""qelview on a gateway document: lighttpd runs the gateway CGI on the documents archive,
curl logs on and keeps the cookie file, and qelview (headless, with the test plug-in)
fetches document and segment URLs with that cookie file. The plug-in
writes the files it got; they must be the bytes the gateway hands curl for the same URLs.

Environment: gateway_site's and documents_site's variables, and
  QELVIEW_PROGRAM      qelview
  QELVIEW_TEST_PLUGIN  the test plug-in
"""
import os
import re
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "www", "tests", "e2e"))

from documents_site import FOLDER, LEDGER, documents_site, required_env  # noqa: E402
from gateway_site import SiteTestCase  # noqa: E402


class GatewayFetch(SiteTestCase):
    def setUp(self):
        self.site = self.open_site(documents_site())
        self.work = tempfile.mkdtemp(prefix="qelview-e2e-")
        self.addCleanup(subprocess.run, ["rm", "-rf", self.work])
        self.cookies = os.path.join(self.work, "cookies.txt")
        self.base = f"http://127.0.0.1:{self.site.port}"

    def curl(self, query, data=None, cookies=True):
        command = ["curl", "-s", "-S", "--max-time", "60"]
        if cookies:
            command += ["-b", self.cookies, "-c", self.cookies]
        if data is not None:
            command += ["--data", data]
        command.append(self.base + "/cgi-bin/qelwww" + ("?" + query if query else ""))
        return subprocess.run(command, check=True, capture_output=True, timeout=120).stdout

    def log_on(self):
        reply = self.curl("", "_function=logon&_server=DEMO&_user=ALICE&_password=wonder1&_nohtml=1")
        self.assertTrue(reply.startswith(b"[BEGIN]"), reply)

    def links(self):
        """Title -> retrieve link (path and query) from the plain-text hit list."""
        body = self.curl(f"_a=d&_f={FOLDER}&_nohtml=1&_df=Title&TitleOP=256&Title=%25")
        found = {t.decode(): link.decode() for t, link in re.findall(rb"^DOC=\[(.*)\^(/cgi-bin/qelwww\?[^^]*)\^\w\]$",
                                                                     body, re.M)}
        self.assertIn(LEDGER, found, body)
        return found

    def view(self, url, script=None, extra=()):
        out = os.path.join(self.work, "out")
        subprocess.run(["rm", "-rf", out], check=True)
        os.mkdir(out)
        command = [required_env("QELVIEW_PROGRAM"), "--headless", "--cookies", self.cookies,
                   "--plugin", "application/afp=" + required_env("QELVIEW_TEST_PLUGIN"),
                   "--arg", "out=" + out, "--log", os.path.join(self.work, "log.json")]
        if script is not None:
            path = os.path.join(self.work, "script.txt")
            with open(path, "w") as f:
                f.write(script)
            command += ["--script", path]
        done = subprocess.run(command + list(extra) + [url], capture_output=True, timeout=300)
        return done, out

    def got(self, out, name):
        with open(os.path.join(out, name), "rb") as f:
            return f.read()

    def test_document_and_segment_through_the_logged_on_session(self):
        self.log_on()
        link = self.links()[LEDGER]
        document = self.curl(link.split("?", 1)[1])
        self.assertGreater(len(document), 100)
        segment_query = re.sub(r"_a=\w+", "_a=g", link.split("?", 1)[1]) + "&_seg=2"
        segment = self.curl(segment_query)
        self.assertGreater(len(segment), 0)

        done, out = self.view(self.base + link, "command 2\nwait-url _seg=2\nquit\n",
                              ["--arg", f"url={self.base}/cgi-bin/qelwww?{segment_query}"])
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(self.got(out, "stream-1"), document)
        self.assertEqual(self.got(out, "stream-2"), segment)

    def test_without_the_session_no_document_reaches_the_plugin(self):
        self.log_on()
        link = self.links()[LEDGER]
        os.unlink(self.cookies)
        with open(self.cookies, "w") as f:
            f.write("# Netscape HTTP Cookie File\n")
        done, out = self.view(self.base + link)
        self.assertEqual(done.returncode, 1)
        self.assertIn(b"no plug-in shows documents of type", done.stderr)
        self.assertEqual(os.listdir(out), [])


if __name__ == "__main__":
    unittest.main()
