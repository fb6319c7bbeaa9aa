"""Writes the seeds of the AFP engine's fuzz targets: one AFP page with presentation text
(page descriptor, absolute moves, transparent data in EBCDIC code page 500) and a
line-data text of two pages."""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fuzz_corpus")


def field(sf_id, data=b""):
    return b"\x5a" + struct.pack(">H", 8 + len(data)) + sf_id + b"\x00\x00\x00" + data


BPG, EPG, PTX, PGD = b"\xd3\xa8\xaf", b"\xd3\xa9\xaf", b"\xd3\xee\x9b", b"\xd3\xa6\xaf"
pgd = struct.pack(">BBHH", 0, 0, 14400, 14400) + (12240).to_bytes(3, "big") + (15840).to_bytes(3, "big") + b"\0\0\0"
ptx = b"\x2b\xd3\x04\xd3\x05\xa0\x04\xc7\x05\xa0\x07\xda" + "HELLO".encode("cp500")

os.makedirs(HERE, exist_ok=True)
with open(os.path.join(HERE, "afp-page"), "wb") as out:
    out.write(field(BPG) + field(PGD, pgd) + field(PTX, ptx) + field(EPG))
with open(os.path.join(HERE, "line-data"), "wb") as out:
    out.write(b"first line\n\tsecond\fpage two\n")
