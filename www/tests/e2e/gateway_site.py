"""A gateway site for end-to-end tests: lighttpd on a free loopback port running the CGI
program, with its own qelwww.ini, cache, templates and registry in a temporary directory.

The test runner passes the programs through the environment:
  QELWWW_PROGRAM     the built qelwww
  QELWWW_CACHE_TOOL  the built www_cache_tool
  LIGHTTPD           the lighttpd binary
  QELWWW_SANITIZE    "ON" in the sanitizer build
"""
import http.client
import http.cookiejar
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import qelwww_site  # noqa: E402  (the site-making code the demo uses too)

SANITIZER_MARKS = (b"ERROR: AddressSanitizer", b"ERROR: LeakSanitizer", b"runtime error:")
ASAN_OPTIONS = "detect_leaks=1:abort_on_error=0:exitcode=86"


def required_env(name):
    value = os.environ.get(name, "")
    if not value:
        raise RuntimeError(f"{name} is not set; run the test through ctest")
    return value


def sanitized():
    return os.environ.get("QELWWW_SANITIZE", "").upper() in ("ON", "1", "TRUE", "YES")


free_port = qelwww_site.free_port
SAMPLE_ARCHIVE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "testdata", "archive")


def split_cgi_output(output):
    """CGI output -> (list of (name, value), body). Headers end at the first blank line."""
    head, sep, body = output.partition(b"\n\n")
    if not sep:
        return [], output
    headers = []
    for line in head.split(b"\n"):
        name, _, value = line.decode("latin-1").partition(": ")
        headers.append((name, value))
    return headers, body


class Reply:
    def __init__(self, status, headers, body):
        self.status = status
        self.headers = headers  # list of (name, value), names as sent
        self.body = body

    def header(self, name):
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value
        return None

    def all(self, name):
        return [value for key, value in self.headers if key.lower() == name.lower()]

    def text(self):
        return self.body.decode("utf-8")


class GatewaySite:
    """A temporary site. Use as a context manager, or call close(). With archive=True the
    site gets a copy of the sample archive (or of the archive directory given) as the
    local server DEMO."""

    def __init__(self, configuration="", extra_ini="", trace=False, archive=False):
        self.program = required_env("QELWWW_PROGRAM")
        self.cache_tool = os.environ.get("QELWWW_CACHE_TOOL", "")
        self.root = tempfile.mkdtemp(prefix="qelwww-e2e-")
        dirs = qelwww_site.make_layout(self.root, self.program)
        self.cgi_dir = dirs["cgi"]
        self.cache_dir = dirs["cache"]
        self.template_dir = dirs["templates"]
        self.log_dir = dirs["log"]
        self.registry_dir = dirs["registry"]
        self.cgi_path = dirs["program"]
        self.archive_dir = None
        if archive:
            source = SAMPLE_ARCHIVE if archive is True else archive
            self.archive_dir = qelwww_site.copy_archive(source, os.path.join(self.root, "archive"))
            extra_ini = qelwww_site.server_section(qelwww_site.DEMO_SERVER, self.archive_dir) + extra_ini
        self.write_ini(configuration, extra_ini, trace)
        self.server = None
        self.port = None

    def write_ini(self, configuration="", extra="", trace=False):
        qelwww_site.write_ini(self.cgi_dir, qelwww_site.ini_text(self.cache_dir, self.template_dir, self.log_dir,
                                                                  trace, configuration, extra))

    def base_env(self):
        env = {"QEL_REGISTRY_DIR": self.registry_dir, "PATH": os.environ.get("PATH", "/usr/bin:/bin")}
        if sanitized():
            env["ASAN_OPTIONS"] = ASAN_OPTIONS
            env["UBSAN_OPTIONS"] = "print_stacktrace=1"
        return env

    # -- lighttpd -------------------------------------------------------------------------

    def _write_conf(self, port):
        text = qelwww_site.lighttpd_conf_text(self.root, port, self.cgi_dir, self.log_dir, self.base_env())
        return qelwww_site.write_lighttpd_conf(self.root, text)

    def start(self):
        lighttpd = required_env("LIGHTTPD")
        for _ in range(5):
            port = free_port()
            conf = self._write_conf(port)
            log = open(os.path.join(self.log_dir, "lighttpd.out"), "ab")
            server = subprocess.Popen([lighttpd, "-D", "-f", conf], stdout=log, stderr=log,
                                      stdin=subprocess.DEVNULL)
            log.close()
            if qelwww_site.wait_for_port(server, port):
                self.server, self.port = server, port
                return self
            server.kill()
            server.wait()
        raise RuntimeError("lighttpd did not start; see " + os.path.join(self.log_dir, "lighttpd.out"))

    def stop(self):
        if self.server is not None:
            self.server.terminate()
            try:
                self.server.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.server.kill()
                self.server.wait()
            self.server = None

    def close(self):
        self.stop()
        shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def request(self, method, query="", body=None, headers=None, path="/cgi-bin/qelwww"):
        url = path + ("?" + query if query else "")
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        try:
            connection.request(method, url, body=body, headers=headers or {})
            response = connection.getresponse()
            return Reply(response.status, response.getheaders(), response.read())
        finally:
            connection.close()

    def cgi_stderr(self):
        path = os.path.join(self.log_dir, "cgi-stderr.log")
        if not os.path.exists(path):
            return b""
        with open(path, "rb") as log:
            return log.read()

    # -- the program without a server --------------------------------------------------------

    def run_cgi(self, env, body=b"", args=(), program=None):
        """Runs the CGI program directly with exactly this CGI environment."""
        full = self.base_env()
        full.update(env)
        done = subprocess.run([program or self.cgi_path, *args], input=body, env=full,
                              capture_output=True, timeout=60)
        headers, reply = split_cgi_output(done.stdout)
        return done.returncode, Reply(200, headers, reply), done.stderr

    def cache_tool_command(self, *args):
        if not self.cache_tool:
            raise RuntimeError("QELWWW_CACHE_TOOL is not set; run the test through ctest")
        return [self.cache_tool, self.cgi_dir, *[str(a) for a in args]]

    def run_cache_tool(self, *args, timeout=60):
        return subprocess.run(self.cache_tool_command(*args), env=self.base_env(), capture_output=True,
                              timeout=timeout)


class Browser:
    """A browser of the journeys: urllib over http.client, with the cookies kept by
    http.cookiejar, an engine independent of the gateway's own cookie code."""

    def __init__(self, site, agent="Mozilla/5.0 (X11; Linux x86_64)"):
        self.site = site
        self.agent = agent
        self.jar = http.cookiejar.CookieJar()
        self.opener = urllib.request.build_opener(urllib.request.HTTPCookieProcessor(self.jar))

    def _open(self, request):
        request.add_header("User-Agent", self.agent)
        try:
            response = self.opener.open(request, timeout=60)
        except urllib.error.HTTPError as error:
            response = error
        with response:
            return Reply(response.status, response.getheaders(), response.read())

    def url(self, query=""):
        return f"http://127.0.0.1:{self.site.port}/cgi-bin/qelwww" + ("?" + query if query else "")

    def get(self, query):
        return self._open(urllib.request.Request(self.url(query)))

    def post(self, fields):
        """A form post: fields as a dict (url-encoded here) or as the encoded text."""
        body = fields if isinstance(fields, str) else urllib.parse.urlencode(fields)
        request = urllib.request.Request(self.url(), data=body.encode("utf-8"),
                                         headers={"Content-Type": "application/x-www-form-urlencoded"})
        return self._open(request)

    def cookie(self, name):
        for cookie in self.jar:
            if cookie.name == name:
                return cookie
        return None

    def set_cookie(self, name, value):
        """Puts a cookie into the jar as if the gateway had sent it (a forged one)."""
        cookie = http.cookiejar.Cookie(0, name, value, None, False, "127.0.0.1", False, False, "/cgi-bin", True,
                                       False, None, False, None, None, {"HttpOnly": None})
        self.jar.set_cookie(cookie)


# The password hash of the sample archive's ALICE ("wonder1", salt "al").
WONDER1_HASH = "alDmLU/d4Adno"


def add_users(archive_dir, names, group=11):
    """Adds users with the password "wonder1" to an archive copy, members of the group
    (11 STAFF may open Invoices). Numbers from 101 on."""
    table = os.path.join(archive_dir, "table")
    with open(os.path.join(table, "user.tbl"), encoding="latin-1") as f:
        users = f.read()
    first, _, rest = users.partition("\n")
    assert first == "[USERS]"
    listed, _, rows = rest.partition("\n")
    listed += "," + ",".join(names)
    rows = rows.replace(f"[{group}]\nUSERS=", f"[{group}]\nUSERS=" + ",".join(names) + ",", 1)
    for number, name in enumerate(names, start=101):
        rows += f'\n[{name}]\nUID={number}\nPASSWD="{WONDER1_HASH}"\nDESCRIPTION="user {name}"\nADMIN=0\nPID=0\n'
    with open(os.path.join(table, "user.tbl"), "w", encoding="latin-1") as f:
        f.write("[USERS]\n" + listed + "\n" + rows)
    with open(os.path.join(table, "group.tbl"), "a", encoding="latin-1") as f:
        for number, _ in enumerate(names, start=101):
            f.write(f"\n[{number}]\nGROUPS={group}\n")


def invoice_site(test, **options):
    """A site on a copy of the sample archive with the invoices loaded (not started); skips
    the test when QELWWW_INVOICE_TOOL is not set."""
    tool = os.environ.get("QELWWW_INVOICE_TOOL")
    if not tool:
        test.skipTest("QELWWW_INVOICE_TOOL is not set")
    site = GatewaySite(archive=True, **options)
    try:
        subprocess.run([tool, site.archive_dir], check=True, timeout=60)
    except BaseException:
        site.close()
        raise
    return site


class SiteTestCase(unittest.TestCase):
    """Checks after every test that no sanitizer report reached the CGI's standard error."""

    def assert_no_sanitizer_report(self, stderr):
        for mark in SANITIZER_MARKS:
            self.assertNotIn(mark, stderr, stderr.decode("utf-8", "replace"))

    def open_site(self, site):
        """Starts a site for this test alone; it is checked and removed when the test ends."""
        site.start()
        self.addCleanup(site.close)
        self.addCleanup(self.check_site_at_end, site)
        return site

    def logged_on_alice(self, site):
        """A browser in which ALICE has logged on to DEMO."""
        browser = Browser(site)
        reply = browser.post({"_function": "logon", "_server": "DEMO", "_user": "ALICE", "_password": "wonder1",
                              "_nohtml": "1"})
        self.assertTrue(reply.body.startswith(b"[BEGIN]"), reply.body)
        return browser

    @staticmethod
    def check_site_at_end(site):
        """For tearDownClass: a leak report comes after the reply has gone out, so wait for
        the last CGI process to end before reading its standard error."""
        if sanitized():
            time.sleep(0.5)
        stderr = site.cgi_stderr()
        for mark in SANITIZER_MARKS:
            if mark in stderr:
                raise AssertionError(stderr.decode("utf-8", "replace"))


class SharedSiteTestCase(SiteTestCase):
    """One site for every test of the class, made from site_options and started once."""

    site_options = {}

    @classmethod
    def setUpClass(cls):
        cls.site = GatewaySite(**cls.site_options).start()

    @classmethod
    def tearDownClass(cls):
        try:
            cls.check_site_at_end(cls.site)
        finally:
            cls.site.close()

    def tearDown(self):
        self.assert_no_sanitizer_report(self.site.cgi_stderr())


def at_once(work, items):
    """Runs work(item) for every item on its own thread, released together; the results in
    the order of items."""
    start = threading.Barrier(len(items))
    results = [None] * len(items)

    def run(index):
        start.wait()
        results[index] = work(items[index])

    threads = [threading.Thread(target=run, args=(i,)) for i in range(len(items))]
    for t in threads:
        t.start()
    for t in threads:
        t.join(300)
    return results


def plain_error(number, message):
    return f"[ERROR]\nID={number}\nMSG={message}\n".encode("utf-8")
