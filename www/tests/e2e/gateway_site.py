"""A gateway site for end-to-end tests: lighttpd on a free loopback port running the CGI
program, with its own qelwww.ini, cache, templates and registry in a temporary directory.

The test runner passes the programs through the environment:
  QELWWW_PROGRAM     the built qelwww
  QELWWW_CACHE_TOOL  the built www_cache_tool
  LIGHTTPD           the lighttpd binary
  QELWWW_SANITIZE    "ON" in the sanitizer build
"""
import http.client
import os
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

SANITIZER_MARKS = (b"ERROR: AddressSanitizer", b"ERROR: LeakSanitizer", b"runtime error:")
ASAN_OPTIONS = "detect_leaks=1:abort_on_error=0:exitcode=86"


def required_env(name):
    value = os.environ.get(name, "")
    if not value:
        raise RuntimeError(f"{name} is not set; run the test through ctest")
    return value


def sanitized():
    return os.environ.get("QELWWW_SANITIZE", "").upper() in ("ON", "1", "TRUE", "YES")


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


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
    """A temporary site. Use as a context manager, or call close()."""

    def __init__(self, configuration="", extra_ini="", trace=False):
        self.program = required_env("QELWWW_PROGRAM")
        self.cache_tool = os.environ.get("QELWWW_CACHE_TOOL", "")
        self.root = tempfile.mkdtemp(prefix="qelwww-e2e-")
        self.cgi_dir = self._dir("cgi-bin")
        self.cache_dir = self._dir("cache", 0o700)
        self.template_dir = self._dir("templates")
        self.log_dir = self._dir("log")
        self.registry_dir = self._dir("registry")
        self._dir("htdocs")
        self._dir("upload")
        self.cgi_path = os.path.join(self.cgi_dir, "qelwww")
        os.symlink(self.program, self.cgi_path)
        self.write_ini(configuration, extra_ini, trace)
        self.server = None
        self.port = None

    def _dir(self, name, mode=0o755):
        path = os.path.join(self.root, name)
        os.mkdir(path, mode)
        return path

    def write_ini(self, configuration="", extra="", trace=False):
        lines = ["[configuration]", f"CacheDir={self.cache_dir}", f"TemplateDir={self.template_dir}"]
        lines += [line for line in configuration.splitlines() if line.strip()]
        lines += ["[debug]", f"Log={1 if trace else 0}", f"LogDir={self.log_dir}"]
        with open(os.path.join(self.cgi_dir, "qelwww.ini"), "w", encoding="latin-1") as ini:
            ini.write("\n".join(lines) + "\n" + extra)

    def base_env(self):
        env = {"QEL_REGISTRY_DIR": self.registry_dir, "PATH": os.environ.get("PATH", "/usr/bin:/bin")}
        if sanitized():
            env["ASAN_OPTIONS"] = ASAN_OPTIONS
            env["UBSAN_OPTIONS"] = "print_stacktrace=1"
        return env

    # -- lighttpd -------------------------------------------------------------------------

    def _write_conf(self, port):
        env = ", ".join(f'"{k}" => "{v}"' for k, v in self.base_env().items())
        conf = f"""
server.document-root = "{self.root}/htdocs"
server.bind = "127.0.0.1"
server.port = {port}
server.errorlog = "{self.log_dir}/error.log"
server.breakagelog = "{self.log_dir}/cgi-stderr.log"
server.upload-dirs = ( "{self.root}/upload" )
server.modules = ( "mod_alias", "mod_cgi", "mod_setenv" )
alias.url = ( "/cgi-bin/" => "{self.cgi_dir}/" )
$HTTP["url"] =~ "^/cgi-bin/" {{
    cgi.assign = ( "" => "" )
}}
setenv.add-environment = ( {env} )
"""
        path = os.path.join(self.root, "lighttpd.conf")
        with open(path, "w") as out:
            out.write(conf)
        return path

    def start(self):
        lighttpd = required_env("LIGHTTPD")
        for _ in range(5):
            port = free_port()
            conf = self._write_conf(port)
            log = open(os.path.join(self.log_dir, "lighttpd.out"), "ab")
            server = subprocess.Popen([lighttpd, "-D", "-f", conf], stdout=log, stderr=log,
                                      stdin=subprocess.DEVNULL)
            log.close()
            if self._wait_for_port(server, port):
                self.server, self.port = server, port
                return self
            server.kill()
            server.wait()
        raise RuntimeError("lighttpd did not start; see " + os.path.join(self.log_dir, "lighttpd.out"))

    @staticmethod
    def _wait_for_port(server, port):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if server.poll() is not None:
                return False
            try:
                with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                    return True
            except OSError:
                time.sleep(0.05)
        return False

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


class SiteTestCase(unittest.TestCase):
    """Checks after every test that no sanitizer report reached the CGI's standard error."""

    def assert_no_sanitizer_report(self, stderr):
        for mark in SANITIZER_MARKS:
            self.assertNotIn(mark, stderr, stderr.decode("utf-8", "replace"))

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


def plain_error(number, message):
    return f"[ERROR]\nID={number}\nMSG={message}\n".encode("utf-8")
