"""Journey: the cache directory fills up. Before each write the oldest files are purged,
documents first, then resources, folders and state files; other files are never purged.

File ages are set with os.utime; www_cache_tool writes the incoming file through the
gateway's cache functions with the site's qelwww.ini.
"""
import os
import time
import unittest

from gateway_site import GatewaySite, SiteTestCase

MB = 1024 * 1024
DEFAULTS = ""  # CacheSize 10 MB, low mark 40 %, high mark 80 %


class CachePurge(SiteTestCase):
    def run_case(self, ini, files, incoming, touched=()):
        with GatewaySite(configuration=ini) as site:
            now = time.time()
            for name, size, age in files:
                path = os.path.join(site.cache_dir, name)
                with open(path, "wb") as out:
                    out.write(b"x" * size)
                os.utime(path, (now - age, now - age))
            for name in touched:
                done = site.run_cache_tool("read", name, "touch")
                self.assert_no_sanitizer_report(done.stderr)
                self.assertEqual(done.returncode, 0, done.stdout)
                self.assertEqual(os.path.getsize(os.path.join(site.cache_dir, name)),
                                 dict((n, s) for n, s, _ in files)[name])
            done = site.run_cache_tool("write", "in_1_new.doc", incoming)
            self.assert_no_sanitizer_report(done.stderr)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            left = set(os.listdir(site.cache_dir)) - {"qelwww.lck", "in_1_new.doc"}
            self.assertEqual(os.path.getsize(os.path.join(site.cache_dir, "in_1_new.doc")), incoming)
            return left

    def test_purge_order_and_marks(self):
        seven = [("a.doc", MB, 700), ("b.doc", MB, 600), ("c.res", MB, 500), ("d.fld", MB, 400),
                 ("e.srv", MB, 300), ("f.doc", MB, 10), ("g.txt", MB, 1000)]
        cases = [
            ("7 MB and 2 MB incoming free 3 MB, documents first however new", DEFAULTS, seven, 2 * MB, (),
             {"c.res", "d.fld", "e.srv", "g.txt"}),
            ("a file that fits under the high mark removes nothing, above the low mark too", DEFAULTS, seven,
             MB, (), {n for n, _, _ in seven}),
            ("documents, then resources, then folders, then state", DEFAULTS,
             [("a.doc", MB, 100), ("r.res", MB, 50), ("d.fld", MB, 900), ("s.srv", MB, 1000),
              ("e.doc", MB, 10), ("t.txt", 2 * MB, 2000)], 2 * MB, (), {"d.fld", "s.srv", "t.txt"}),
            ("only state files: the oldest go", DEFAULTS,
             [("s1.srv", MB, 700), ("s2.fnm", MB, 600), ("s3.srv", MB, 500), ("s4.fnm", MB, 400),
              ("s5.srv", MB, 300), ("s6.fnm", MB, 200), ("s7.srv", MB, 100)], 2 * MB, (),
             {"s4.fnm", "s5.srv", "s6.fnm", "s7.srv"}),
            ("files of other names are never purged", DEFAULTS,
             [("notes", MB, 900), ("a.DOC", MB, 800), ("b.srv.bak", MB, 700), (".c.srv.tmpXYZ123", MB, 600),
              ("d.lck", 3 * MB, 500)], 2 * MB, (), {"notes", "a.DOC", "b.srv.bak", ".c.srv.tmpXYZ123", "d.lck"}),
            ("at or below the low mark only the incoming length is freed",
             "CacheMinThreshold=40\nCacheMaxThreshold=50",
             [("a.doc", MB, 300), ("b.doc", MB, 200), ("c.doc", MB, 100), ("x.doc", 9 * MB // 10, 50)],
             MB + MB // 5, (), {"c.doc", "x.doc"}),
            ("marks of a cache of many terabytes do not overflow", "CacheSize=17592186044415", seven, 2 * MB, (),
             {n for n, _, _ in seven}),
            ("a read with touch makes the file the newest", DEFAULTS,
             [(f"{n}.doc", MB, age) for n, age in zip("abcdefg", range(700, 0, -100))], 2 * MB, ("a.doc",),
             {"a.doc", "e.doc", "f.doc", "g.doc"}),
        ]
        for label, ini, files, incoming, touched, survivors in cases:
            with self.subTest(label):
                self.assertEqual(self.run_case(ini, files, incoming, touched), survivors)


if __name__ == "__main__":
    unittest.main()
