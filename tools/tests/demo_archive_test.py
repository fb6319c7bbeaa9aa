#!/usr/bin/env python3
"""The demo archive: the generator is deterministic, the full demo builds well within a
minute, and its objects hold exactly the generated line data (read back with Python's
zlib, not with the archive's own code).

    demo_archive_test.py <qelarcbuild>
"""

import filecmp
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zlib
from archive_files import profile_sections, inflate_all

HERE = os.path.dirname(os.path.abspath(__file__))
GENERATOR = os.path.join(os.path.dirname(HERE), "demo_archive.py")
BUILDER = None
BUILD_SECONDS_LIMIT = 60


def generate(out, *args):
    subprocess.run([sys.executable, GENERATOR, "--out", out, *args], check=True, stdout=subprocess.DEVNULL)


class DemoArchive(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="qel-demo-archive-")
        self.addCleanup(shutil.rmtree, self.root, True)

    def test_same_seed_same_files(self):
        for name, seed in (("a", "7"), ("b", "7"), ("c", "8")):
            generate(os.path.join(self.root, name), "--seed", seed, "--statements", "900")
        same = filecmp.dircmp(os.path.join(self.root, "a"), os.path.join(self.root, "b"))
        self.assertEqual(same.diff_files, [])
        self.assertTrue(filecmp.cmp(os.path.join(self.root, "a", "data", "statements-2023-02.txt"),
                                    os.path.join(self.root, "b", "data", "statements-2023-02.txt"), shallow=False))
        self.assertFalse(filecmp.cmp(os.path.join(self.root, "a", "demo.json"),
                                     os.path.join(self.root, "c", "demo.json"), shallow=False))

    def test_ebcdic_statements_are_the_same_text(self):
        generate(os.path.join(self.root, "ascii"), "--statements", "50")
        generate(os.path.join(self.root, "ebcdic"), "--statements", "50", "--ebcdic")
        name = os.path.join("data", "statements-2023-01.txt")
        with open(os.path.join(self.root, "ascii", name), "rb") as a, open(os.path.join(self.root, "ebcdic", name), "rb") as e:
            plain, coded = a.read(), e.read()
        self.assertNotEqual(plain, coded)
        self.assertEqual(coded.decode("cp500"), plain.decode("ascii"))
        self.assertEqual(coded[:1], b"\xf1", "carriage control '1' in EBCDIC")

    def test_full_demo_builds_quickly_and_holds_the_data(self):
        source, archive = os.path.join(self.root, "source"), os.path.join(self.root, "archive")
        started = time.monotonic()
        generate(source)
        subprocess.run([BUILDER, os.path.join(source, "demo.json"), archive], check=True, stdout=subprocess.DEVNULL)
        seconds = time.monotonic() - started
        print(f"demo archive generated and built in {seconds:.1f} s", file=sys.stderr)
        self.assertLess(seconds, BUILD_SECONDS_LIMIT)

        # 10,000 statements in segments of 2,500 rows, dated in order.
        segments = profile_sections(os.path.join(archive, "index", "STATEMENTS.seg"))
        names = sorted((s for s in segments if re.fullmatch(r"STMTAG\d+", s)), key=lambda s: int(s[6:]))
        self.assertEqual(names, ["STMTAG1", "STMTAG2", "STMTAG3", "STMTAG4"])
        self.assertEqual([int(segments[n]["TOTAL_ROWS"]) for n in names], [2500] * 4)
        starts = [int(segments[n]["START_DATE"]) for n in names]
        self.assertEqual(starts, sorted(starts))

        # One object a month: plain in even months of the run, zlib streams in odd ones;
        # either way exactly that month's data file.
        objects = os.path.join(archive, "data", "STMTAG", "DOC")
        self.assertEqual(len(os.listdir(objects)), 25)
        letters = set()
        for month in range(25):
            with open(os.path.join(objects, f"{month + 1}FAA"), "rb") as f:
                stored = f.read()
            year, number = 2023 + month // 12, month % 12 + 1
            with open(os.path.join(source, "data", f"statements-{year}-{number:02d}.txt"), "rb") as f:
                expected = f.read()
            letter = "O" if month % 2 else "N"
            letters.add(letter)
            self.assertEqual(inflate_all(stored) if letter == "O" else stored, expected, f"month {month + 1}")
        self.assertEqual(letters, {"N", "O"})

        # The sample archive's users, groups and folders, the statements' and the documents' folders.
        users = profile_sections(os.path.join(archive, "table", "user.tbl"))
        self.assertEqual(users["USERS"]["USERS"], "ALICE,BOB")
        self.assertTrue(users["ALICE"]["PASSWD"].startswith("$6$"))
        folders = profile_sections(os.path.join(archive, "table", "fol.tbl"))
        self.assertEqual([folders[f]["NAME"] for f in folders["FOLDERS"]["FOLDERS"].split(",")],
                         ["Invoices", "Payroll", "Statements", "Documents"])


if __name__ == "__main__":
    BUILDER = sys.argv.pop(1)
    unittest.main()
