"""Journey: the logon journey through the JNI library in a real JVM gives the same replies
as through lighttpd and the CGI program; eight servlet threads logging on and off at once
on one cache directory lose no state file."""
import os
import shutil
import subprocess
import tempfile
import unittest
import urllib.parse

from gateway_site import SAMPLE_ARCHIVE, Browser, GatewaySite, SiteTestCase, add_users, required_env
from journeys import COMPARED_HEADERS, LOGON_JOURNEY, without_sealed_passwords
import qelwww_site

JVM_FAILURES = (b"WARNING in native method", b"FATAL ERROR in native method", b"ERROR: AddressSanitizer",
                b"runtime error:")


def transcript(headers, body):
    """The compared headers (names lower-cased, in order) and the body, as the harness
    writes them."""
    lines = [f"{name.lower()}: {value}\n" for name, value in headers if name.lower() in COMPARED_HEADERS]
    return ("".join(lines) + "--\n").encode("utf-8") + body


class ServletJourney(SiteTestCase):
    def run_jvm(self, site, *args):
        env = dict(os.environ, QEL_REGISTRY_DIR=site.registry_dir)
        preload = os.environ.get("QELWWW_JVM_PRELOAD", "")
        if preload:
            env["LD_PRELOAD"] = preload
            env["ASAN_OPTIONS"] = os.environ.get("QELWWW_JVM_ASAN_OPTIONS", "")
        done = subprocess.run([required_env("QELWWW_JAVA"), "-Xcheck:jni", "-cp", required_env("QELWWW_JAVA_CLASSES"),
                               "-Dqel.library=" + required_env("QELWWW_SERVLET_LIBRARY"),
                               "com.kvr.ekvo.qk.GatewayHarness", *args],
                              env=env, capture_output=True, timeout=600)
        output = done.stdout + done.stderr
        for mark in JVM_FAILURES:
            self.assertNotIn(mark, output, output.decode("utf-8", "replace"))
        self.assertEqual(done.returncode, 0, output.decode("utf-8", "replace"))

    def run_journey(self, site, queries):
        """The harness's transcripts of the queries, sent one after the other with the
        cookies of the replies before."""
        work = tempfile.mkdtemp(prefix="qelwww-jvm-journey-")
        self.addCleanup(shutil.rmtree, work, True)
        steps = os.path.join(work, "steps.txt")
        with open(steps, "w", encoding="utf-8") as f:
            f.write("".join(query + "\n" for query in queries))
        self.run_jvm(site, "journey", site.cgi_dir, steps, work)
        transcripts = []
        for number in range(len(queries)):
            with open(os.path.join(work, f"{number}.txt"), "rb") as f:
                transcripts.append(f.read().decode("utf-8"))
        return transcripts

    @staticmethod
    def reset(site):
        """The archive and cache as before the first step."""
        qelwww_site.copy_archive(SAMPLE_ARCHIVE, site.archive_dir)
        for name in os.listdir(site.cache_dir):
            os.remove(os.path.join(site.cache_dir, name))

    def test_same_replies_as_the_cgi_program(self):
        # The code page is configured: without it each process takes its locale's.
        with GatewaySite(archive=True, configuration="Codepage=1208") as site:
            site.start()
            browser = Browser(site)
            through_cgi = []
            for _, query in LOGON_JOURNEY:
                reply = browser.post(query)
                through_cgi.append(transcript(reply.headers, reply.body))
            site.stop()
            self.check_site_at_end(site)

            # The same site, from the same starting point, through the servlet library.
            self.reset(site)
            through_servlet = self.run_journey(site, [query for _, query in LOGON_JOURNEY])
            for (name, _), servlet, cgi in zip(LOGON_JOURNEY, through_servlet, through_cgi):
                with self.subTest(name):
                    self.assertEqual(without_sealed_passwords(servlet), without_sealed_passwords(cgi.decode("utf-8")))

    def test_under_https_every_cookie_is_secure(self):
        logon = "_function=logon&_server=DEMO&_user=ALICE&_password=wonder1&_nohtml=1"
        steps = [("https " + logon, True), (logon, False), ("https _a=f&_nohtml=1", True)]
        with GatewaySite(archive=True) as site:
            transcripts = self.run_journey(site, [query for query, _ in steps])
            for (query, secure), transcript_text in zip(steps, transcripts):
                with self.subTest(query):
                    cookies = [line for line in transcript_text.split("\n--\n")[0].split("\n")
                               if line.startswith("set-cookie: ")]
                    self.assertEqual(len(cookies), 2, cookies)
                    for line in cookies:
                        self.assertEqual(line.endswith("; Secure"), secure, line)
                        self.assertNotIn("wonder1", line)

    def test_eight_threads_lose_no_state_file(self):
        users = [f"S{n}" for n in range(1, 9)]
        with GatewaySite(archive=True) as site:
            add_users(site.archive_dir, users)
            self.run_jvm(site, "logons", site.cgi_dir, ",".join(users), "6")
            names = set(os.listdir(site.cache_dir))
            for user in users:
                self.assertIn(f"DEMO_0_{user}.srv", names)
                self.assertIn(f"DEMO_0_{user}.fnm", names)
            # The files the servlet wrote are whole: the CGI program rebuilds every logon.
            site.start()
            for user in users:
                with self.subTest(user):
                    browser = Browser(site)
                    browser.set_cookie("ZEIQS", f"_s=DEMO&_pt=0&_u={user}&_local="
                                                + urllib.parse.quote(site.archive_dir, safe=""))
                    self.assertEqual(browser.get("_a=f&_p=wonder1&_nohtml=1").body,
                                     b"[BEGIN]\nUser logged off!\n[END]\n")
            self.check_site_at_end(site)


if __name__ == "__main__":
    unittest.main()
