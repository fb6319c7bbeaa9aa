#!/usr/bin/env python3
"""Writes the double-byte, multi-byte and mixed EBCDIC seeds of uconv_fuzz.

Each seed is a u32 little-endian table length, a small conversion table (layout in
foundation/codepage/src/uconvtab_format.h) and a text to convert both ways.
Run from this folder: python3 make_dbcs_seeds.py
"""
import struct

HEADER, DIRECTORY = 628, 40
UNMAPPED, FROM_UNMAPPED = 0xFFFF, 0x0000FFFF


def table(kind, name, sub, single, lengths, rows, lead, from_ucs, prefixes=()):
    """rows: the to-UCS rows after row 0 (each a dict trail -> unit, or a list of 256)."""
    to_rows = [[UNMAPPED] * 256]
    for row in rows:
        full = list(row) if isinstance(row, list) else [row.get(i, UNMAPPED) for i in range(256)]
        to_rows.append(full)
    from_rows = [[FROM_UNMAPPED] * 256]
    from_index = [0] * 256
    for unit, entry in sorted(from_ucs.items()):
        high = unit >> 8
        if from_index[high] == 0:
            from_rows.append([FROM_UNMAPPED] * 256)
            from_index[high] = len(from_rows) - 1
        from_rows[from_index[high]][unit & 0xFF] = entry

    off_lengths = HEADER + DIRECTORY
    off_single = off_lengths + 256
    off_lead = off_single + 512
    off_to = off_lead + 512
    off_from_index = off_to + 512 * len(to_rows)
    off_from = off_from_index + 512
    off_prefix = off_from + 1024 * len(from_rows)
    size = off_prefix + 32 * len(prefixes)

    out = bytearray(size)
    struct.pack_into("<IHBB", out, 0, size, 0xFFFE, 1, 0)
    out[8:8 + len(name)] = name.encode()
    struct.pack_into("<H", out, 78, kind)
    out[82:82 + len(sub)] = sub
    struct.pack_into("<10I", out, HEADER, off_lengths, off_single, off_lead, off_to, len(to_rows),
                     off_from_index, off_from, len(from_rows), off_prefix, len(prefixes))
    for b in range(256):
        out[off_lengths + b] = lengths.get(b, 1)
        struct.pack_into("<H", out, off_single + 2 * b, single.get(b, UNMAPPED))
        struct.pack_into("<H", out, off_lead + 2 * b, lead.get(b, 0))
    for r, row in enumerate(to_rows):
        struct.pack_into("<256H", out, off_to + 512 * r, *row)
    struct.pack_into("<256H", out, off_from_index, *from_index)
    for r, row in enumerate(from_rows):
        struct.pack_into("<256I", out, off_from + 1024 * r, *row)
    for i, p in enumerate(prefixes):
        out[off_prefix + 32 * i] = len(p)
        out[off_prefix + 32 * i + 1:off_prefix + 32 * i + 1 + len(p)] = p
    return bytes(out)


def seed(path, tbl, text):
    with open(path, "wb") as f:
        f.write(struct.pack("<I", len(tbl)) + tbl + text)


def ucs2(s):
    return s.encode("utf-16-le")


ascii_single = {b: b for b in range(0x80)}
ascii_from = {b: b for b in range(0x80)}

# Type 2: ASCII plus two lead bytes of two-byte codes.
kanji = {0x40 + i: 0x3000 + i for i in range(8)}
kanji2 = {0x40 + i: 0x4E00 + i for i in range(8)}
from2 = dict(ascii_from)
from2.update({0x3000 + i: 0x8140 + i for i in range(8)})
from2.update({0x4E00 + i: 0x8240 + i for i in range(8)})
dbcs = table(2, "KVR-9943", b"\x1a", ascii_single, {0x81: 2, 0x82: 2}, [kanji, kanji2],
             {0x81: 1, 0x82: 2}, from2)
seed("dbcs-2-text", dbcs, b"A\x81\x40\x81\x41B\x82\x47\x81\x7f\x82")
seed("dbcs-2-ucs2", dbcs, b"\x04" + ucs2("Z\u3000\u3001\u4e07\uffff") + b"\x00")

# Type 3: ASCII, two-byte codes after 0xA1, three-byte codes after the 0x8F prefix.
index = [0] * 256
index[0xA1] = 2
three = {0xA1 + i: 0x4F00 + i for i in range(4)}
from3 = dict(ascii_from)
from3.update({0x3000 + i: 0xA1A1 + i for i in range(8)})
from3.update({0x4F00 + i: (1 << 16) | (0xA1A1 + i) for i in range(4)})
multi = table(3, "KVR-9954", b"\x1a", ascii_single, {0x8F: 3, 0xA1: 2},
              [{0xA1 + i: 0x3000 + i for i in range(8)}, three, index], {0x8F: 3, 0xA1: 1}, from3,
              prefixes=[b"\x8f"])
seed("mbcs-3-text", multi, b"a\xa1\xa1\x8f\xa1\xa2\xa1\xa8\x8f\xa2\xa1\x8f")
seed("mbcs-3-ucs2", multi, b"\x0c" + ucs2("x\u3003\u4f01\u4f03?"))

# Type 4: EBCDIC letters, SO/SI around two-byte codes.
ebcdic = {0x40: 0x20, 0x4B: 0x2E}
ebcdic.update({0xC1 + i: 0x41 + i for i in range(9)})
wide = {0xC1 + i: 0xFF21 + i for i in range(9)}
from4 = {u: c for c, u in ebcdic.items()}
from4.update({0xFF21 + i: 0x42C1 + i for i in range(9)})
mixed = table(4, "KVR-9930", b"\xfe\xfe", ebcdic, {}, [wide], {0x42: 1, 0x40: 1}, from4)
seed("ebcdic-4-text", mixed, b"\xc1\x40\x0e\x42\xc1\x42\xc9\x0f\x4b\x0e\x0e\x42")
seed("ebcdic-4-ucs2", mixed, b"\x10" + ucs2("AB \uff21\uff22.C\uff29"))
