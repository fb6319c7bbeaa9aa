#!/usr/bin/env python3
"""Python's zlib on the bytes the loopback peer sends for an 'O' document.

usage: zlib_oracle.py INPUT COMPRESSED_OUT REPEATS
Compresses INPUT as the peer does (zlib.compress, default level), writes the stream to
COMPRESSED_OUT and prints the best time of zlib.decompress over REPEATS runs, in
seconds, and the compressed size.
"""
import sys
import time
import zlib


def main(argv):
    source, target, repeats = argv[1], argv[2], int(argv[3])
    with open(source, "rb") as f:
        data = f.read()
    stream = zlib.compress(data)
    with open(target, "wb") as f:
        f.write(stream)
    best = None
    for _ in range(max(1, repeats)):
        start = time.perf_counter()
        out = zlib.decompress(stream)
        elapsed = time.perf_counter() - start
        if out != data:
            print("decompress differs", file=sys.stderr)
            return 1
        best = elapsed if best is None else min(best, elapsed)
    print("%.6f %d" % (best, len(stream)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
