#!/usr/bin/env python3
"""Writes the Python codecs' view of some code pages, for the code-page tests.

<out>/<codec>.bin: 256 little-endian u16 (byte -> unit, 0xFFFF undefined), then 65536
u16 (unit -> byte, 0xFFFF unmapped).
<out>/utf8.bin: for every unit 0..0xFFFF, one length byte and three bytes of
unit.encode('utf-8', 'surrogatepass'), zero-padded.
"""
import struct
import sys
from pathlib import Path

CODECS = ["cp037", "cp500", "cp850", "cp1252", "cp1140", "latin-1"]


def single_byte(codec):
    to_ucs = []
    for b in range(256):
        try:
            text = bytes([b]).decode(codec)
            to_ucs.append(ord(text) if len(text) == 1 else 0xFFFF)
        except UnicodeDecodeError:
            to_ucs.append(0xFFFF)
    from_ucs = []
    for u in range(0x10000):
        try:
            data = chr(u).encode(codec)
            from_ucs.append(data[0] if len(data) == 1 else 0xFFFF)
        except UnicodeEncodeError:
            from_ucs.append(0xFFFF)
    return struct.pack("<256H", *to_ucs) + struct.pack("<65536H", *from_ucs)


def utf8():
    out = bytearray()
    for u in range(0x10000):
        data = chr(u).encode("utf-8", "surrogatepass")
        out.append(len(data))
        out += data.ljust(3, b"\0")
    return bytes(out)


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for codec in CODECS:
        (out / f"{codec}.bin").write_bytes(single_byte(codec))
    (out / "utf8.bin").write_bytes(utf8())
    (out / "stamp").write_text("ok\n")


if __name__ == "__main__":
    main()
