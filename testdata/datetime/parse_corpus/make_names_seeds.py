#!/usr/bin/env python3
"""Writes the seeds of datetime_parse_fuzzer that carry a names block.

A seed: one byte (0x80 | letter index into "CDTZE"), the 1064-byte names block
(layout in docs/datetime-names-block.md), then "format\\0text".
Run from this folder: python3 make_names_seeds.py
"""
import struct


def slot(text, size):
    data = text.encode("latin-1")
    return data[:size].ljust(size, b"\0")


def block(months, mabbr, days, dabbr, am, pm, tfmt, dfmt, dtfmt, selector=0, std="", dst=""):
    out = b"".join(slot(m, 21) for m in months) + b"".join(slot(m, 21) for m in mabbr)
    out += b"".join(slot(d, 21) for d in days) + b"".join(slot(d, 21) for d in dabbr)
    out += slot(am, 5) + slot(pm, 5) + slot(tfmt, 61) + slot(dfmt, 61) + slot(dtfmt, 61) + b"\0"
    out += struct.pack("<i", selector) + slot(std, 31).ljust(32, b"\0")
    out += struct.pack("<i", 1) + slot(dst, 31).ljust(32, b"\0")
    assert len(out) == 1064, len(out)
    return out


def seed(name, letter, names, fmt, text):
    with open(name, "wb") as f:
        f.write(bytes([0x80 | "CDTZE".index(letter)]) + names + fmt + b"\0" + text)


german = block(
    ["Januar", "Februar", "M\xe4rz", "April", "Mai", "Juni", "Juli", "August", "September", "Oktober",
     "November", "Dezember"],
    ["Jan", "Feb", "M\xe4r", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"],
    ["Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"],
    ["So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"],
    "vorm", "nachm", "%H.%M.%S", "%d.%m.%Y", "%d.%m.%Y %H.%M.%S", 1, "MEZ", "MESZ")
seed("names_german_date", "D", german, b"%d. %B %Y", "3. M\xe4rz 2005".encode("latin-1"))
seed("names_german_default", "Z", german, b"", b"01.12.2005 10.00.00")

# Every slot full to its end with no terminating zero, a format that names itself.
full = bytearray(b"X" * 1064)
full[808:869] = b"%c %x %X".ljust(61, b"%")
struct.pack_into("<i", full, 992, -1)
seed("names_unterminated", "C", bytes(full), b"%p %a %b", b"XXXXX XXXXXXXXXXX XXXX")

# Empty names and formats: the built-in formats, names that match nothing.
empty = block([""] * 12, [""] * 12, [""] * 7, [""] * 7, "", "", "", "", "")
seed("names_empty", "T", empty, b"%I:%M %p", b"10:00 PM")
