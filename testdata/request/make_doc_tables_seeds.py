#!/usr/bin/env python3
"""Writes the seed corpus of request_doc_tables_fuzz into doc_tables_fuzz/: byte 0 is the
piece size of the second read, then a document-table stream written by the test oracle
(cs/request/tests/doc_tables_oracle.py)."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "cs", "request", "tests"))
from doc_tables_oracle import write  # noqa: E402


def tables(flags, total, per_object, objects, groups, pages, codepage=850):
    return {"flags": flags, "codepage": codepage, "total": total, "perobject": per_object,
            "objects": objects, "groups": groups, "pages": pages}


SEEDS = {
    "empty": (1, tables(0, 0, 1, [], [], [])),
    "one_object": (3, tables(0, 10, 10, [], [b"Date"], [(1, b"", [(0, 7, b"2024-01-31")])])),
    "offsets_all": (2, tables(0x01, 40, 10, [(5, 6, b"AA"), (11, 3, b"AA"), (0, 4, b"AB")], [], [])),
    "offsets_computed": (5, tables(0x02, 40, 10, [(5, 6, b"AA"), (11, 3, b"AA"), (0, 4, b"AB")], [], [])),
    "page_names": (0, tables(0x0C, 3, 1, [(0, 100, b"XYZ"), (100, 50, b"XYZ")], [b"Customer", b"Invoice"],
                             [(1, b"Cover", [(1, 1, b"4711")]), (2, b"Terms", []),
                              (3, b"", [(0, 26, b"ACME"), (1, 2, b"4712")])], codepage=37)),
    "long_text": (9, tables(0x04, 2, 2, [], [b"g" * 127], [(2, b"n" * 127, [(0, 0xFFFFFFFF, b"v" * 127)])])),
}


def main():
    out = os.path.join(HERE, "doc_tables_fuzz")
    os.makedirs(out, exist_ok=True)
    for name, (step, t) in SEEDS.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(bytes([step]) + write(t))


if __name__ == "__main__":
    main()
