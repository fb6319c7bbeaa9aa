"""Journey: the gateway servlet in an embedded Jetty on loopback gives the replies of the CGI
program behind lighttpd; GET and POST texts, absent headers, the hostile requests (other
sites' links and forms, values that are not UTF-8, document ids forged past a restriction,
forged and tampered state cookies), the sealed password of the state cookie, a refused
start-up and a body that is too large."""
import http.client
import os
import select
import shutil
import subprocess
import tempfile
import time
import unittest
import urllib.parse

from documents_site import (FOLDER, LEDGER, PLUGIN_VIEWS, docid_of, documents_site, hit_links, logged_on,
                            url_encoded)
from forged_requests import (ALICE_LOGON, CLIMBING_LOGONS, LOGGED_OFF, climbing_sections, forged_id_requests,
                             forged_ids, forged_logons, moved_out_request, payslips, restricted_site,
                             stray_state_files, tampered_seals)
from gateway_site import SAMPLE_ARCHIVE, Browser, GatewaySite, Reply, SiteTestCase, add_users, at_once, required_env
from hostile_requests import (ALLOWED_ORIGINS_INI, FORM, check_reply, cookie_header, document_changes, hostile_values,
                              password_changes, send, send_case, stored)
from journeys import COMPARED_HEADERS, JOURNEYS, without_sealed_passwords
import qelwww_site

CGI_PATH = "/cgi-bin/qelwww"
JETTY_PATH = "/qelwww/servlet"
JVM_FAILURES = (b"WARNING in native method", b"FATAL ERROR in native method", b"ERROR: AddressSanitizer",
                b"runtime error:")
MAX_BODY = 8 * 1024 * 1024


def jetty_command(*args):
    return [required_env("QELWWW_JAVA"), "-Xcheck:jni", "-jar", required_env("QELWWW_SERVLET_JAR"), *args]


class Jetty:
    """The servlet's Jetty main on a free loopback port, reading the qelwww.ini of config_dir."""

    def __init__(self, config_dir, registry_dir, library=True):
        self.work = tempfile.mkdtemp(prefix="qelwww-jetty-")
        self.log_path = os.path.join(self.work, "jetty.log")
        env = dict(os.environ, QEL_REGISTRY_DIR=registry_dir)
        preload = os.environ.get("QELWWW_JVM_PRELOAD", "")
        if preload:
            env["LD_PRELOAD"] = preload
            env["ASAN_OPTIONS"] = os.environ.get("QELWWW_JVM_ASAN_OPTIONS", "")
        with open(self.log_path, "wb") as log:
            self.process = subprocess.Popen(
                jetty_command("0", config_dir, *([required_env("QELWWW_SERVLET_LIBRARY")] if library else [])),
                stdout=subprocess.PIPE, stderr=log, stdin=subprocess.DEVNULL, env=env)
        self.port = self._read_port()

    def _read_port(self):
        deadline = time.monotonic() + 60
        line = b""
        while not line.endswith(b"\n"):
            left = deadline - time.monotonic()
            ready, _, _ = select.select([self.process.stdout], [], [], max(left, 0))
            chunk = os.read(self.process.stdout.fileno(), 1) if ready else b""
            if not chunk:
                self.process.kill()
                self.process.wait()
                raise RuntimeError("Jetty did not start:\n" + self.output().decode("utf-8", "replace"))
            line += chunk
        prefix = b"listening on 127.0.0.1 port "
        if not line.startswith(prefix):
            raise RuntimeError(f"unexpected first line {line!r}")
        return int(line[len(prefix):])

    def request(self, method, query="", body=None, headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        try:
            connection.request(method, JETTY_PATH + ("?" + query if query else ""), body=body,
                               headers=headers or {})
            response = connection.getresponse()
            return Reply(response.status, response.getheaders(), response.read())
        finally:
            connection.close()

    def output(self):
        with open(self.log_path, "rb") as log:
            return log.read()

    def stop(self):
        """Stops Jetty as a service manager would; the servlet's destroy ends the gateway."""
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
                raise AssertionError("Jetty did not stop on SIGTERM")
        self.process.stdout.close()
        output = self.output()
        shutil.rmtree(self.work, ignore_errors=True)
        return self.process.returncode, output


class JettyBrowser(Browser):
    """The journeys' browser, pointed at the servlet."""

    def url(self, query=""):
        return f"http://127.0.0.1:{self.site.port}{JETTY_PATH}" + ("?" + query if query else "")


def compared(reply, script_path):
    """The compared headers (names lower-cased, in order) and the body, the front end's own
    script path in the body written as the CGI's."""
    headers = [(name.lower(), without_sealed_passwords(value)) for name, value in reply.headers
               if name.lower() in COMPARED_HEADERS]
    return reply.status, headers, reply.body.replace(script_path.encode(), CGI_PATH.encode())


def load_invoices(site):
    """The invoices the search journey finds, in the archive both front ends serve."""
    subprocess.run([required_env("QELWWW_INVOICE_TOOL"), site.archive_dir], check=True, timeout=60)


def reset(site):
    """The archive and cache as before the first step."""
    qelwww_site.copy_archive(SAMPLE_ARCHIVE, site.archive_dir)
    load_invoices(site)
    for name in os.listdir(site.cache_dir):
        os.remove(os.path.join(site.cache_dir, name))


# Single requests both front ends must answer alike: (name, method, query, body, headers).
SAME_REPLIES = [
    ("GET without _function: the error page", "GET", "_s=prod&_u=a&_p=b", None, {}),
    ("GET of an unknown keyword", "GET", "_nohtml=1&_a=zzz&_s=prod&_u=a&_p=b", None, {}),
    ("POST of an unknown keyword", "POST", "", b"_nohtml=1&_a=zzz&_s=prod&_u=a&_p=b",
     {"Content-Type": "application/x-www-form-urlencoded"}),
    ("POST with an empty body", "POST", "", b"", {"Content-Type": "application/x-www-form-urlencoded"}),
    ("GET without a query", "GET", "", None, {}),
    ("no User-Agent and no Cookie header", "GET", "_nohtml=1&_a=d&_s=prod&_u=a&_p=b", None, {}),
    ("values from the Cookie header", "GET", "_nohtml=1&_a=d", None, {"Cookie": "ZEIQS=_s=prod&_u=a&_p=b"}),
    ("an empty User-Agent header", "GET", "_nohtml=1&_a=d", None,
     {"User-Agent": "", "Cookie": "ZEIQS=_s=prod&_u=a&_p=b"}),
]


class JettyJourney(SiteTestCase):
    def start_jetty(self, config_dir, registry_dir, library=True):
        jetty = Jetty(config_dir, registry_dir, library)
        self.addCleanup(self.check_jetty_at_end, jetty)
        return jetty

    def check_jetty_at_end(self, jetty):
        status, output = jetty.stop()
        for mark in JVM_FAILURES:
            self.assertNotIn(mark, output, output.decode("utf-8", "replace"))
        # The JVM's status after its shutdown hooks ran on SIGTERM; a crash in the
        # gateway's shut-down ends it otherwise.
        self.assertEqual(status, 128 + 15, output.decode("utf-8", "replace"))

    def test_journeys_give_the_replies_of_the_cgi_program(self):
        for name, steps in JOURNEYS.items():
            with self.subTest(journey=name), GatewaySite(archive=True, configuration="Codepage=1208") as site:
                load_invoices(site)
                site.start()
                browser = Browser(site)
                through_cgi = [compared(browser.post(query), CGI_PATH) for _, query in steps]
                site.stop()
                self.check_site_at_end(site)

                reset(site)
                jetty = self.start_jetty(site.cgi_dir, site.registry_dir)
                browser = JettyBrowser(jetty)
                raw = [browser.post(query) for _, query in steps]
                # The servlet's own path is what the gateway's links name.
                self.assertTrue(any(JETTY_PATH.encode() in reply.body for reply in raw), "no link names the servlet")
                self.assertNotIn(CGI_PATH.encode(), b"".join(reply.body for reply in raw))
                for (step, _), reply, expected in zip(steps, raw, through_cgi):
                    with self.subTest(step=step):
                        self.assertEqual(compared(reply, JETTY_PATH), expected)
                if name == "search":
                    self.assertTrue(any(b"DOC=[" in reply.body for reply in raw), "the search found no invoice")

    def test_single_requests_give_the_replies_of_the_cgi_program(self):
        with GatewaySite(configuration="Codepage=1208", trace=True) as site:
            site.start()
            jetty = self.start_jetty(site.cgi_dir, site.registry_dir)
            for name, method, query, body, headers in SAME_REPLIES:
                with self.subTest(name):
                    through_cgi = site.request(method, query, body, headers)
                    through_jetty = jetty.request(method, query, body, headers)
                    self.assertEqual(through_jetty.status, 200)
                    self.assertEqual(compared(through_jetty, JETTY_PATH), compared(through_cgi, CGI_PATH))

    def test_hostile_requests_give_the_replies_of_the_cgi_program(self):
        # Both front ends serve one site: the logon made through the CGI program holds for both.
        with documents_site(PLUGIN_VIEWS + ALLOWED_ORIGINS_INI) as site:
            site.start()
            alice = logged_on(site)
            docid = docid_of(hit_links(alice)[LEDGER][1])
            cookie = cookie_header(alice)
            jetty = self.start_jetty(site.cgi_dir, site.registry_dir)
            before = stored(site.archive_dir)
            cases = (password_changes(jetty.port) + document_changes(FOLDER, docid)
                     + hostile_values(FOLDER, docid))
            for case in cases:
                with self.subTest(case.name):
                    through_jetty = send_case(jetty, case, cookie)
                    check_reply(self, case, through_jetty)
                    self.assertEqual(compared(through_jetty, JETTY_PATH),
                                     compared(send_case(site, case, cookie), CGI_PATH))
            self.assertEqual(stored(site.archive_dir), before)
            # A form of the servlet's own origin adds the note, as one of the CGI's does.
            reply = send(jetty, "POST", f"_function=addnote&_f={FOLDER}&_d={url_encoded(docid)}&_perm=0&_text=Kept"
                         "&_nohtml=1", f"http://127.0.0.1:{jetty.port}", cookie)
            self.assertTrue(reply.body.startswith(b"[BEGIN]\n"), reply.body)
            self.assertNotEqual(stored(site.archive_dir), before)
            site.stop()
            self.check_site_at_end(site)

    def assert_same_replies(self, jetty, site, cases, cookie_of):
        """Each case through Jetty and through the CGI program: the reply expected, no cookie
        set, and the same reply from both."""
        for case in cases:
            with self.subTest(case.name):
                through_jetty = send_case(jetty, case, cookie_of(case))
                check_reply(self, case, through_jetty)
                self.assertEqual(compared(through_jetty, JETTY_PATH),
                                 compared(send_case(site, case, cookie_of(case)), CGI_PATH))

    def test_forged_document_ids_give_the_replies_of_the_cgi_program(self):
        work = tempfile.mkdtemp(prefix="qel-restriction-")
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        site, hidden = restricted_site(work)
        self.addCleanup(site.close)
        self.addCleanup(self.check_site_at_end, site)
        alice = logged_on(site)
        own = payslips(alice)
        jetty = self.start_jetty(site.cgi_dir, site.registry_dir)
        before = stored(site.archive_dir)
        cases = [moved_out_request(own)]
        for label, docid in forged_ids(own, hidden):
            cases += forged_id_requests(label, docid)
        self.assert_same_replies(jetty, site, cases, lambda case: cookie_header(alice))
        self.assertEqual(stored(site.archive_dir), before)
        self.assertEqual(payslips(logged_on(site)), own)

    def test_state_cookie_gives_the_replies_of_the_cgi_program(self):
        # The servlet hands the gateway UTF-8: the CGI program is configured alike.
        with GatewaySite(archive=True, configuration="Codepage=1208") as site:
            site.start()
            jetty = self.start_jetty(site.cgi_dir, site.registry_dir)
            logon = urllib.parse.urlencode(ALICE_LOGON).encode()
            replies = [front_end.request("POST", body=logon, headers=FORM) for front_end in (site, jetty)]
            self.assertEqual(compared(replies[1], JETTY_PATH), compared(replies[0], CGI_PATH))
            # The password leaves the servlet only sealed.
            cookies = [value.split(";")[0] for value in replies[1].all("Set-Cookie")]
            state = urllib.parse.parse_qs(cookies[0].partition("=")[2], keep_blank_values=True)
            self.assertTrue(state["_p"][0].startswith("v1."), cookies)
            for name, header in replies[1].headers:
                self.assertNotIn("wonder1", header, name)
            cookie = "; ".join(cookies)

            # With the state files gone, the cookies alone log on again through either.
            for front_end, path in ((jetty, JETTY_PATH), (site, CGI_PATH)):
                with self.subTest("cookie-only logon", path=path):
                    for name in os.listdir(site.cache_dir):
                        if name.endswith((".srv", ".fnm")):
                            os.remove(os.path.join(site.cache_dir, name))
                    reply = front_end.request("GET", "_a=l&_nohtml=1", headers={"Cookie": cookie})
                    self.assertEqual(reply.body, replies[0].body.replace(CGI_PATH.encode(), path.encode()))
                    self.assertIn("DEMO_0_ALICE.srv", os.listdir(site.cache_dir))

            # A tampered seal is a missing logon, and changes nothing stored.
            bob = jetty.request("GET", "_a=l&_s=DEMO&_u=BOB&_p=builder2&_nohtml=1")
            bob_state = urllib.parse.parse_qs(bob.all("Set-Cookie")[0].split(";")[0].partition("=")[2])
            before = stored(site.archive_dir)
            self.assert_same_replies(jetty, site, tampered_seals(state["_p"][0], bob_state["_p"][0]),
                                     lambda case: case.cookie())
            self.assertEqual(stored(site.archive_dir), before)
            reply = jetty.request("GET", "_a=f&_nohtml=1", headers={"Cookie": cookie})
            self.assertEqual(reply.body, LOGGED_OFF)
            site.stop()
            self.check_site_at_end(site)

    def test_hostile_logons_give_the_replies_of_the_cgi_program(self):
        with GatewaySite(archive=True) as site:
            site.write_ini(extra=climbing_sections(site.archive_dir))
            site.start()
            alice = logged_on(site)
            logged_on(site, "BOB", "builder2")
            jetty = self.start_jetty(site.cgi_dir, site.registry_dir)
            saved = {}
            for name in ("DEMO_0_ALICE.srv", "DEMO_0_ALICE.fnm"):
                with open(os.path.join(site.cache_dir, name), "rb") as f:
                    saved[name] = f.read()
            before = stored(site.archive_dir)
            self.assert_same_replies(jetty, site, forged_logons(), lambda case: case.cookie(site.archive_dir))
            # ALICE's state, password and cookies are untouched.
            for name, data in saved.items():
                with open(os.path.join(site.cache_dir, name), "rb") as f:
                    self.assertEqual(f.read(), data, name)
            self.assertEqual(stored(site.archive_dir), before)
            reply = jetty.request("GET", "_a=f&_nohtml=1", headers={"Cookie": cookie_header(alice)})
            self.assertEqual(reply.body, LOGGED_OFF)

            # Server names with "../" stay inside the cache: a section's name is encoded,
            # names that only climb and climbing users are refused alike.
            reply = jetty.request("GET", "_a=l&_s=..%2F..%2Fup&_u=ALICE&_p=wonder1&_nohtml=1")
            self.assertTrue(reply.body.startswith(b"[BEGIN]"), reply.body)
            self.assertIn("%2E%2E%2F%2E%2E%2Fup_0_ALICE.srv", os.listdir(site.cache_dir))
            for query in CLIMBING_LOGONS:
                with self.subTest(query):
                    through_jetty = jetty.request("GET", query)
                    self.assertTrue(through_jetty.body.startswith(b"[ERROR]"), through_jetty.body)
                    self.assertEqual(compared(through_jetty, JETTY_PATH),
                                     compared(site.request("GET", query), CGI_PATH))
            self.assertEqual(stray_state_files(site.root, site.cache_dir), [])
            site.stop()
            self.check_site_at_end(site)

    def test_post_body_is_read_byte_for_character(self):
        # A byte above 127 in the body is the character of that number (ISO-8859-1): the
        # same as the GET that sends that character percent-encoded in UTF-8.
        with GatewaySite(configuration="Codepage=1208") as site:
            jetty = self.start_jetty(site.cgi_dir, site.registry_dir)
            post = jetty.request("POST", body=b"_nohtml=1&_a=z\xe9\xff&_s=prod&_u=a&_p=b",
                                 headers={"Content-Type": "application/x-www-form-urlencoded"})
            get = jetty.request("GET", "_nohtml=1&_a=z%C3%A9%C3%BF&_s=prod&_u=a&_p=b")
            self.assertEqual(post.body, "[ERROR]\nID=2175\nMSG=The function 'zéÿ' was not found\n".encode("utf-8"))
            self.assertEqual(post.body, get.body)

    def test_user_agent_reaches_the_gateway(self):
        with GatewaySite(trace=True) as site:
            jetty = self.start_jetty(site.cgi_dir, site.registry_dir)
            jetty.request("GET", "_nohtml=1&_a=zzz", headers={"User-Agent": "Probe/1.0 (loopback)"})
            jetty.request("GET", "_nohtml=1&_a=zzz")
            with open(os.path.join(site.log_dir, "qelwww.log"), encoding="latin-1") as log:
                trace = log.read()
            self.assertIn("HTTP_USER_AGENT = 'Probe/1.0 (loopback)'", trace)
            self.assertIn("HTTP_USER_AGENT = ''", trace)
            self.assertIn(f"SCRIPT_NAME = '{JETTY_PATH}'", trace)

    def test_logons_at_once_through_jetty_threads(self):
        users = [f"J{n}" for n in range(1, 9)]
        folders = b"[BEGIN]\nACTION=" + JETTY_PATH.encode() + b"?_a=s\nFOLDER=[Invoices^Customer invoices]\n[END]\n"
        with GatewaySite(archive=True) as site:
            add_users(site.archive_dir, users)
            jetty = self.start_jetty(site.cgi_dir, site.registry_dir)
            browsers = {user: JettyBrowser(jetty) for user in users}
            logons = at_once(lambda user: browsers[user].post(
                {"_a": "l", "_nohtml": "1", "_s": "DEMO", "_u": user, "_p": "wonder1"}).body, users)
            logoffs = at_once(lambda user: browsers[user].get("_a=f&_nohtml=1").body, users)
            for user, logon, logoff in zip(users, logons, logoffs):
                with self.subTest(user):
                    self.assertEqual(logon, folders)
                    self.assertEqual(logoff, b"[BEGIN]\nUser logged off!\n[END]\n")

    def test_failed_start_up_refuses_requests(self):
        # (name, qelwww.ini or None for none at all, the result of initialize)
        cases = [
            ("no qelwww.ini", None, 3, "configuration failed"),
            ("a code page that is not a number", "Codepage=utf8", 3, "configuration failed"),
            ("a language without a message library", "Language=xyz", 2, "message catalogue failed"),
        ]
        for name, configuration, result, reason in cases:
            with self.subTest(name), GatewaySite(configuration=configuration or "") as site:
                if configuration is None:
                    os.remove(os.path.join(site.cgi_dir, "qelwww.ini"))
                jetty = self.start_jetty(site.cgi_dir, site.registry_dir)
                expected = f"qelwww: gateway not available: initialize returned {result} ({reason})\n".encode()
                for method, body in (("GET", None), ("POST", b"_nohtml=1&_a=f")):
                    reply = jetty.request(method, "_nohtml=1&_a=f" if body is None else "", body)
                    self.assertEqual(reply.status, 503, method)
                    self.assertEqual(reply.body, expected, method)

    def test_library_found_beside_the_jar(self):
        # The build puts the jar beside the library, as an installation does.
        with GatewaySite(configuration="Codepage=1208") as site:
            jetty = self.start_jetty(site.cgi_dir, site.registry_dir, library=False)
            reply = jetty.request("GET", "_nohtml=1&_a=zzz&_s=prod&_u=a&_p=b")
            self.assertEqual(reply.status, 200)
            self.assertIn(b"The function 'zzz' was not found", reply.body)

    def test_bad_arguments_end_the_main(self):
        with tempfile.TemporaryDirectory() as config_dir:
            cases = [
                ("no arguments", [], "usage: QelWWWJetty PORT CONFIGDIR [LIBRARY]"),
                ("too many arguments", ["0", config_dir, "/a", "/b"], "usage:"),
                ("a port that is not a number", ["80x", config_dir], "not a port number: 80x"),
                ("a port above 65535", ["65536", config_dir], "not a port number: 65536"),
                ("a negative port", ["-1", config_dir], "not a port number: -1"),
                ("a relative library path", ["0", config_dir, "lib/libqelwwwsl.so"], "must be absolute"),
                ("no library at the path", ["0", config_dir, os.path.join(config_dir, "libqelwwwsl.so")],
                 "no gateway library at"),
            ]
            for name, args, message in cases:
                with self.subTest(name):
                    done = subprocess.run(jetty_command(*args), capture_output=True, timeout=60)
                    self.assertEqual(done.returncode, 2)
                    self.assertIn(message.encode(), done.stderr)
                    self.assertEqual(done.stdout, b"")

    def test_body_above_the_bound_is_refused(self):
        with GatewaySite(configuration="Codepage=1208") as site:
            jetty = self.start_jetty(site.cgi_dir, site.registry_dir)
            at_bound = b"_nohtml=1&_a=zzz&_s=prod&_u=a&_p=b&_x="
            at_bound += b"y" * (MAX_BODY - len(at_bound))
            reply = jetty.request("POST", body=at_bound)
            self.assertEqual(reply.status, 200)
            self.assertIn(b"The function 'zzz' was not found", reply.body)
            self.assertEqual(jetty.request("POST", body=at_bound + b"y").status, 413)


if __name__ == "__main__":
    unittest.main()
