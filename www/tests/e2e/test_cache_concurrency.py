"""Journey: many gateway processes and threads share one small cache directory. Sixteen
processes of eight threads each rewrite their own state file and churn documents that
force purges; no state file is ever lost or read back damaged.
"""
import os
import subprocess
import unittest

from gateway_site import GatewaySite, SiteTestCase

PROCESSES = 16
THREADS = 8
ROUNDS = 10
DOCUMENT = 20 * 1024


class CacheConcurrency(SiteTestCase):
    def test_no_state_file_is_lost(self):
        with GatewaySite(configuration="CacheSize=1") as site:
            tools = [subprocess.Popen(site.cache_tool_command("stress", "host", port, THREADS, ROUNDS, DOCUMENT),
                                      env=site.base_env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                     for port in range(PROCESSES)]
            for port, tool in enumerate(tools):
                out, err = tool.communicate(timeout=600)
                self.assert_no_sanitizer_report(err)
                self.assertEqual(tool.returncode, 0, f"process {port}: {err.decode(errors='replace')}")
            names = os.listdir(site.cache_dir)
            self.assertTrue(any(n.endswith(".doc") for n in names), "documents were written")
            self.assertLess(sum(os.path.getsize(os.path.join(site.cache_dir, n)) for n in names), 1024 * 1024,
                            "purges kept the cache under its size")
            for port in range(PROCESSES):
                for thread in range(THREADS):
                    with self.subTest(port=port, thread=thread):
                        path = os.path.join(site.cache_dir, f"host_{port}_T{thread}.srv")
                        with open(path, "rb") as state:
                            self.assertEqual(state.read(), f"host {port} T{thread} {ROUNDS - 1}".encode())


if __name__ == "__main__":
    unittest.main()
