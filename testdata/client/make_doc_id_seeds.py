#!/usr/bin/env python3
"""Writes the seeds of client_doc_id_fuzz: byte 0 (bit 0: with values), then a document id
of the fuzz target's folder (group 65541 with a field of every type, group 9 without
fields). Run from this folder."""
import os

PART, EMPTY = "\x01", "\x0b"


def doc_id(items, attribute, values=None):
    text = "-".join(items) + PART + attribute
    if values is not None:
        text += PART + PART.join(values)
    return text


ITEMS = ["65541", "131079", "SEG1", "1AAAA", "10", "100", "0", "100", "85", "78", "0", "0", "0"]
VALUES = ["-5000000000", "0.1", "-7", "-1", "Smith%2DJones", EMPTY, "APP1", EMPTY]
SEEDS = {
    "plain": (1, doc_id(ITEMS, EMPTY, VALUES)),
    "no_values": (0, doc_id(ITEMS, EMPTY)),
    "escapes": (1, doc_id(["65541", "8", "X%2D%25", EMPTY] + ITEMS[4:], "pages%2D2%25%01",
                          ["0", "1e+300", "0", "32767", "A%01B", "ABCDE", "APP2", EMPTY])),
    "signed_words": (1, doc_id(["5", "7", "l", "D1", "-1", "-2147483648", "3", "4", "89", "79", "-2",
                                "-32768", "32767"], EMPTY, VALUES)),
    "no_fields": (1, doc_id(["9", "3"] + ITEMS[2:], EMPTY, [])),
}

os.makedirs("doc_id_fuzz", exist_ok=True)
for name, (flags, text) in SEEDS.items():
    with open(os.path.join("doc_id_fuzz", name), "wb") as out:
        out.write(bytes([flags]) + text.encode("latin-1"))
