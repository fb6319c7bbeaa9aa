"""The browser journeys' common frame: a demo archive generated and changed for the test,
the demo site serving it through lighttpd, one headless Chromium for the class, and the
steps every journey takes (log on at the static page, pick a folder, search).

Skips only when chromium, chromedriver or selenium is missing."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest
import urllib.parse

from gateway_site import SiteTestCase, required_env
import chromium
import demo_rows
import qelwww_site  # on the path through gateway_site

CATALOGUE = os.path.join(demo_rows.SOURCE, "foundation", "messages", "catalogue.tsv")
# The demo site's MaxHits: the longest hit list it shows.
DEMO_MAX_HITS = int(re.search(r"^MaxHits=(\d+)$", qelwww_site.DEMO_VIEWS, re.M).group(1))


def message(index, *inserts):
    """The text of a message of the catalogue (by its index) with its text inserts."""
    with open(CATALOGUE, encoding="utf-8") as f:
        for line in f:
            cells = line.rstrip("\n").split("\t")
            if not line.startswith("#") and int(cells[0]) == index:
                return re.sub(r"%(\d)\$s", lambda m: str(inserts[int(m.group(1)) - 1]), cells[7])
    raise AssertionError(f"message {index} is not in the catalogue")


class DemoBrowserCase(SiteTestCase):
    """Subclasses set STATEMENTS (statements generated) and may define change(description)
    to edit the description before the archive is built."""

    STATEMENTS = 400

    @classmethod
    def change(cls, description):
        pass

    @classmethod
    def setUpClass(cls):
        lacking = chromium.missing()
        if lacking:
            raise unittest.SkipTest(lacking)
        program = os.path.realpath(required_env("QELWWW_PROGRAM"))
        builder = required_env("QELWWW_ARCHIVE_BUILDER")
        cls.artifacts = os.environ.get("QELWWW_ARTIFACT_DIR") or tempfile.mkdtemp(prefix="qelwww-shots-")
        cls.work = tempfile.mkdtemp(prefix="qelwww-browser-")
        try:
            archive, cls.description = demo_rows.build_archive(builder, cls.work, cls.STATEMENTS, cls.change)
            cls.source = os.path.join(cls.work, "source")
            cls.port = qelwww_site.free_port()
            conf, cls.logon_url = qelwww_site.make_demo_site(os.path.join(cls.work, "site"),
                                                             os.path.dirname(os.path.dirname(program)),
                                                             demo_rows.SOURCE, cls.port, archive)
            cls.log_dir = os.path.join(cls.work, "site", "log")
            with open(os.path.join(cls.log_dir, "lighttpd.out"), "ab") as log:
                cls.server = subprocess.Popen([required_env("LIGHTTPD"), "-D", "-f", conf], stdout=log,
                                              stderr=log, stdin=subprocess.DEVNULL)
            if not qelwww_site.wait_for_port(cls.server, cls.port):
                raise RuntimeError("lighttpd did not start")
            # A common laptop screen: the pages must use its width.
            cls.browser = chromium.Chromium(width=1280, height=900)
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "browser", None) is not None:
            cls.browser.quit()
            cls.browser = None
        if getattr(cls, "server", None) is not None:
            cls.server.terminate()
            cls.server.wait(timeout=10)
            cls.server = None
        shutil.rmtree(cls.work, ignore_errors=True)

    def setUp(self):
        # Every test starts logged off: no cookie of an earlier one.
        self.browser.get(self.logon_url)
        self.browser.driver.delete_all_cookies()

    def tearDown(self):
        path = os.path.join(self.log_dir, "cgi-stderr.log")
        if os.path.exists(path):
            with open(path, "rb") as f:
                self.assert_no_sanitizer_report(f.read())

    # -- steps -----------------------------------------------------------------------------

    def cgi_url(self, **query):
        return f"http://127.0.0.1:{self.port}/cgi-bin/qelwww?" + urllib.parse.urlencode(query)

    def log_on(self, user, password):
        """Fills in the static logon page and submits it."""
        b = self.browser
        b.get(self.logon_url)
        b.find("input[name=_user]").send_keys(user)
        b.find("input[name=_password]").send_keys(password)
        b.submit("form button[type=submit]")
        self.assertIsNone(b.alert_text())

    def pick_folder(self, name):
        b = self.browser
        options = b.find_all("select[name=_f] option")
        self.assertIn(name, [o.get_attribute("value") for o in options])
        next(o for o in options if o.get_attribute("value") == name).click()
        b.submit()

    def fill_and_search(self, values):
        """Clears every text input of the search form, types the values, submits."""
        b = self.browser
        for box in b.find_all("form input[type=text]"):
            box.clear()
        for name, value in values.items():
            b.find(f'form input[type=text][name="{name}"]').send_keys(value)
        b.submit()

    def hit_table(self):
        """(heading cells, rows of cell texts) of the hit list, the print and icon columns
        left out."""
        return self.browser.driver.execute_script("""
            const table = document.querySelector('form[name=QKForm] table');
            const skip = table.rows[0].cells[0].textContent === 'Print' ? 2 : 1;
            const rows = Array.from(table.rows).map(r => Array.from(r.cells).slice(skip).map(c => c.textContent));
            return [rows[0], rows.slice(1)];""")

    def screenshot(self, name):
        path = self.browser.screenshot(os.path.join(self.artifacts, name))
        self.assertGreater(os.path.getsize(path), 5000, path)
