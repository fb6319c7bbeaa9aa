"""Journey: another process holds the cache's lock file. Every cache read, write and
removal waits for byte 0 of qelwww.lck and goes on once it is released.

www_cache_tool, which calls the same cache functions as the CGI program, drives each
operation on its own so that the test controls when it runs. Python's fcntl.lockf takes a classic record lock, which the
gateway's open-file-description lock must respect.
"""
import fcntl
import os
import subprocess
import time
import unittest

from gateway_site import GatewaySite, SiteTestCase

MB = 1024 * 1024


class CacheLock(SiteTestCase):
    def setUp(self):
        self.site = GatewaySite()
        self.lock_path = os.path.join(self.site.cache_dir, "qelwww.lck")

    def tearDown(self):
        self.site.close()

    def hold(self, start):
        fd = os.open(self.lock_path, os.O_RDWR | os.O_CREAT, 0o600)
        fcntl.lockf(fd, fcntl.LOCK_EX, 1, start)
        return fd

    def cache_file(self, name):
        return os.path.join(self.site.cache_dir, name)

    def test_each_operation_waits_for_the_byte_lock(self):
        with open(self.cache_file("s_1_D.doc"), "wb") as doc:
            doc.write(b"d" * 1000)
        cases = [
            ("write", ["write", "s_1_U.srv", 100], lambda: not os.path.exists(self.cache_file("s_1_U.srv")),
             lambda: os.path.getsize(self.cache_file("s_1_U.srv")) == 100),
            ("read", ["read", "s_1_D.doc", "touch"], lambda: True, lambda: True),
            ("remove", ["remove", "s_1_D.doc"], lambda: os.path.exists(self.cache_file("s_1_D.doc")),
             lambda: not os.path.exists(self.cache_file("s_1_D.doc"))),
        ]
        for label, args, untouched, done in cases:
            with self.subTest(label):
                fd = self.hold(0)
                try:
                    tool = subprocess.Popen(self.site.cache_tool_command(*args), env=self.site.base_env(),
                                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                    time.sleep(1.0)
                    self.assertIsNone(tool.poll(), "the operation ran while the byte was locked")
                    self.assertTrue(untouched())
                finally:
                    os.close(fd)  # releases the lock
                out, err = tool.communicate(timeout=30)
                self.assert_no_sanitizer_report(err)
                self.assertEqual(tool.returncode, 0, out + err)
                self.assertTrue(done())
                if label == "read":
                    self.assertIn(b"size=1000 ", out)

    def test_a_lock_on_another_byte_does_not_hold_the_cache(self):
        fd = self.hold(1)
        try:
            done = self.site.run_cache_tool("write", "s_1_U.srv", 10, timeout=20)
        finally:
            os.close(fd)
        self.assert_no_sanitizer_report(done.stderr)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)


if __name__ == "__main__":
    unittest.main()
