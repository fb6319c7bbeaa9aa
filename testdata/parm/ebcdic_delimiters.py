#!/usr/bin/env python3
"""Writes the bytes of '[', ']' and '@' in EBCDIC code pages, as Python's codecs see them.

One line per CCSID: "<ccsid> <hex open> <hex close> <hex at>".
"""
import codecs
import sys

CODECS = {37: "cp037", 273: "cp273", 500: "cp500", 1140: "cp1140"}

with open(sys.argv[1], "w", encoding="ascii") as out:
    for ccsid, name in sorted(CODECS.items()):
        data = codecs.encode("[]@", name)
        out.write("%d %s\n" % (ccsid, " ".join("%02X" % b for b in data)))
