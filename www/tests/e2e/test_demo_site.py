"""Journey: the demo site of scripts/demo.sh. Its static logon page, read like a browser
reads it, posts to the gateway; a demo user logs on and sees the folder list."""
import html.parser
import os
import shutil
import subprocess
import tempfile
import unittest
import urllib.parse
import urllib.request
import http.cookiejar  # noqa: I001

from gateway_site import SiteTestCase, required_env
import qelwww_site

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..")


class LogonForm(html.parser.HTMLParser):
    """The first form of a page: its action and its input fields."""

    def __init__(self):
        super().__init__()
        self.action = None
        self.fields = {}
        self.done = False

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if self.done:
            return
        if tag == "form" and self.action is None:
            self.action = attrs.get("action")
        elif tag == "input" and self.action is not None:
            self.fields[attrs.get("name")] = attrs.get("value", "")

    def handle_endtag(self, tag):
        if tag == "form" and self.action is not None:
            self.done = True


class DemoSite(SiteTestCase):
    def setUp(self):
        build = os.path.dirname(os.path.dirname(os.path.realpath(required_env("QELWWW_PROGRAM"))))
        self.root = tempfile.mkdtemp(prefix="qelwww-demo-")
        self.addCleanup(shutil.rmtree, self.root, True)
        self.port = qelwww_site.free_port()
        conf, self.url = qelwww_site.make_demo_site(self.root, build, SOURCE, self.port)
        log = open(os.path.join(self.root, "log", "lighttpd.out"), "ab")
        self.server = subprocess.Popen([required_env("LIGHTTPD"), "-D", "-f", conf], stdout=log, stderr=log,
                                       stdin=subprocess.DEVNULL)
        log.close()
        self.addCleanup(self.stop)
        self.assertTrue(qelwww_site.wait_for_port(self.server, self.port), "lighttpd did not start")

    def stop(self):
        self.server.terminate()
        self.server.wait(timeout=10)
        stderr = os.path.join(self.root, "log", "cgi-stderr.log")
        if os.path.exists(stderr):
            with open(stderr, "rb") as f:
                self.assert_no_sanitizer_report(f.read())

    def log_on(self, user, password):
        opener = urllib.request.build_opener(urllib.request.HTTPCookieProcessor(http.cookiejar.CookieJar()))
        with opener.open(self.url, timeout=30) as page:
            form = LogonForm()
            form.feed(page.read().decode("utf-8"))
        fields = dict(form.fields, _user=user, _password=password)
        action = urllib.parse.urljoin(self.url, form.action)
        with opener.open(action, data=urllib.parse.urlencode(fields).encode(), timeout=30) as reply:
            return reply.read().decode("utf-8")

    def test_demo_users_see_their_folders(self):
        page = self.log_on("ALICE", "wonder1")
        self.assertIn('<option selected value="Invoices">Invoices', page)
        self.assertIn('<option value="Payroll">Payroll', page)
        self.assertIn('<link rel="stylesheet" href="/demo.css">', page, "the demo's page frame")
        # A user of one folder goes straight to its search form.
        page = self.log_on("BOB", "builder2")
        self.assertIn('<center><h3>Invoices</h3></center>', page)
        self.assertIn('<input type=hidden name=_a value=d>', page)
        self.assertNotIn("Payroll", page)
        self.assertIn("The user id or password is not valid", self.log_on("ALICE", "builder2"))


if __name__ == "__main__":
    unittest.main()
