#!/usr/bin/env python3
"""Writes the fuzz seed corpora. Each seed is four settings bytes (mode, bits and
samples, row length, input and output split) followed by the data.

usage: make_corpus.py LZW_TOOL   (the test helper built from lzw/tests/lzw_tool.cpp)
"""
import os
import random
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = sys.argv[1]
BITS = {1: 0, 2: 1, 4: 2, 8: 3}


def header(mode, bits, samples, row, split):
    return bytes((mode - 1, BITS[bits] | (samples - 1) << 2, row, split))


def sample(size, seed):
    rng = random.Random(seed)
    value, out = 100, bytearray()
    for i in range(size):
        value = (value + rng.randint(-3, 3)) & 0xFF
        out.append(value if (i // 60) % 3 else 0x55)
    return bytes(out)


def write(folder, name, data):
    os.makedirs(os.path.join(HERE, folder), exist_ok=True)
    with open(os.path.join(HERE, folder, name), "wb") as f:
        f.write(data)


settings = [(2, 8, 1, 0), (1, 8, 1, 0), (1, 4, 1, 9), (1, 2, 1, 0), (1, 1, 1, 13),
            (3, 8, 1, 40), (3, 8, 3, 21), (3, 8, 4, 0)]
for n, (mode, bits, samples, row) in enumerate(settings):
    data = sample(600 + 100 * n, n)
    stream = subprocess.run([TOOL, "encode", str(mode), str(bits), str(samples), str(row)],
                            input=data, capture_output=True, check=True).stdout
    split = 0x00 if n % 2 else 0x37
    write("decode_corpus", f"mode{mode}_bits{bits}_s{samples}_r{row}",
          header(mode, bits, samples, row, split) + stream)
    write("round_trip_corpus", f"mode{mode}_bits{bits}_s{samples}_r{row}",
          header(mode, bits, samples, row, split) + data)

# Hostile shapes: no clear code first, a lone clear, clear then a high code.
write("decode_corpus", "no_clear", header(2, 8, 1, 0, 0) + bytes((0x20, 0x80, 0x40)))
write("decode_corpus", "lone_clear", header(2, 8, 1, 0, 0) + bytes((0x80, 0x00)))
write("decode_corpus", "clear_then_high", header(1, 8, 1, 0, 0x11) + bytes((0x00, 0xFF, 0xFF, 0xFF)))
write("round_trip_corpus", "empty", header(2, 8, 1, 0, 0))
write("round_trip_corpus", "constant", header(1, 8, 1, 0, 0x21) + bytes(3000))
