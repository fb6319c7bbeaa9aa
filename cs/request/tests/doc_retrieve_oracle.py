"""Outside oracle of the retrieval tests: objects of zlib blocks made and cut by Python's zlib.

  make PATH SEED            writes an object of 40000 leading bytes and two zlib blocks (a
                            short text, then a large, barely compressible document); prints
                            "offset length size" of each block, one block a line
  cut PATH OFFSET LENGTH FROM COUNT OUT
                            inflates the block at OFFSET (LENGTH 0: to the end of the
                            object) and writes the COUNT bytes (0: to the end) from FROM
                            of it to OUT
"""
import random
import sys
import zlib


def make(path, seed):
    rng = random.Random(seed)
    small = b"".join(b"short document line %04d\n" % n for n in range(200))
    # Random words of random letters: zlib barely shrinks them, so the stored block
    # spans several 32767-byte pieces of the store.
    words = []
    while sum(len(x) for x in words) < 160000:
        words.append(bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz0123456789") for _ in range(rng.randint(1, 12))))
    large = b" ".join(words)
    lead = bytes(rng.randrange(256) for _ in range(40000))
    blocks = [zlib.compress(small), zlib.compress(large)]
    with open(path, "wb") as f:
        f.write(lead)
        at = len(lead)
        for block, plain in zip(blocks, (small, large)):
            f.write(block)
            print(at, len(block), len(plain))
            at += len(block)


def cut(path, offset, length, start, count, out):
    with open(path, "rb") as f:
        data = f.read()
    stored = data[offset:offset + length] if length else data[offset:]
    plain = zlib.decompressobj().decompress(stored)
    with open(out, "wb") as f:
        f.write(plain[start:start + count] if count else plain[start:])


if sys.argv[1] == "make":
    make(sys.argv[2], int(sys.argv[3]))
else:
    cut(sys.argv[2], *(int(v) for v in sys.argv[3:7]), sys.argv[7])
