#!/usr/bin/env python3
"""Our LZW stream encoder against `compress -b16` (ncompress) on the same files.

usage: lzw_vs_compress.py <lzw_encode_tool> [size_mb] [rounds]

Method: both encoders run as processes on the same file (random bytes, which hardly
compress, and word text), each writing its stream to a pipe that this script drains.
So both pay the same start-up, file reading and pipe writing; the files are large
(50 MB by default) so start-up is noise. Rounds alternate ours and compress; the
ratio is of the median wall times (above 1: ours is slower). Each stream is checked
to decode back with `compress -dc` once, so a fast wrong encoder cannot pass.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time


def timed(argv):
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.PIPE)
    size = 0
    while True:
        chunk = proc.stdout.read(1 << 20)
        if not chunk:
            break
        size += len(chunk)
    # compress exits with 2 when the output is not smaller than the input.
    if proc.wait() not in (0, 2):
        sys.exit(f"{argv[0]} failed")
    return time.perf_counter() - start, size


def check_round_trip(tool, path, scratch):
    stream = subprocess.run([tool, "encode", "16", path], capture_output=True, check=True).stdout
    z = os.path.join(scratch, "check.Z")
    with open(z, "wb") as f:
        f.write(b"\x1f\x9d" + stream[2:])
    back = subprocess.run(["compress", "-dc", z], capture_output=True, check=True).stdout
    with open(path, "rb") as f:
        if back != f.read():
            sys.exit(f"round trip failed for {path}")


def main():
    tool = sys.argv[1]
    size = int(sys.argv[2]) if len(sys.argv) > 2 else 50
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 7
    with tempfile.TemporaryDirectory() as scratch:
        for kind in ("random", "text"):
            path = os.path.join(scratch, kind)
            subprocess.run([tool, "make", kind, str(size << 20), path], check=True)
            check_round_trip(tool, path, scratch)
            ours, theirs = [], []
            for _ in range(rounds):
                t, our_size = timed([tool, "encode", "16", path])
                ours.append(t)
                t, their_size = timed(["compress", "-b16", "-c", path])
                theirs.append(t)
            o, c = statistics.median(ours), statistics.median(theirs)
            print(f"{kind:6} {size} MB: ours {size / o:6.1f} MB/s ({our_size} bytes), "
                  f"compress -b16 {size / c:6.1f} MB/s ({their_size} bytes), "
                  f"time ratio ours/compress {o / c:.2f}")


if __name__ == "__main__":
    main()
