#!/usr/bin/env python3
"""Writes the seeds of wire_delivery_fuzzer: letter selector, buffer size selector, keep
pattern, then pieces (a length byte, that many bytes; 0xFF: the next piece comes under
another letter). Run from this folder: python3 make_seeds.py
"""
import zlib

LETTERS = "NDOL345ZQ\0"


def pieces(data, size):
    out = b""
    for i in range(0, len(data), size):
        chunk = data[i:i + size]
        out += bytes([len(chunk)]) + chunk
    return out


def seed(name, letter, buffer_selector, keep, body):
    with open(name, "wb") as f:
        f.write(bytes([LETTERS.index(letter), buffer_selector, keep]) + body)


text = b"Invoice 4711, customer Demo Trading, total 1234.50\n" * 20
seed("plain_n_kept", "N", 0, 0x55, pieces(text[:300], 100))
seed("plain_d_letter_change", "D", 3, 0, pieces(b"abc", 3) + b"\xff\x03def")
seed("zlib_small_buffers", "O", 1, 0x0F, pieces(zlib.compress(text), 37))
seed("zlib_cut_short", "O", 9, 0, pieces(zlib.compress(text)[:60], 20))
seed("zlib_trailing_bytes", "O", 0, 0xFF, pieces(zlib.compress(b"x" * 500) + b"after the end", 250))
seed("unknown_letter", "Q", 0, 0, pieces(b"data", 4))
with open("../../compress/fuzz/lzw_decode/seed2", "rb") as f:
    lzw12 = f.read()[2:]
with open("../../compress/fuzz/lzw_decode/seed6", "rb") as f:
    lzw16 = f.read()[2:]
seed("lzw12_pieces", "L", 2, 0x81, pieces(lzw12, 50))
seed("lzw16_as_z", "Z", 200, 0, pieces(lzw16, 250))
