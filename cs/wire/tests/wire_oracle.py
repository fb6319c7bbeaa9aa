"""Outside oracle for the wire tests: Python's xdrlib, struct and zlib.

  pack FILE               each line of FILE is Python code that packs into `p`; prints
                          the packed bytes as hex, one line per input line
  frames FILE             parses the frames in FILE; prints one line per frame
                          ("P number length" / "C number length letter flags") and, per
                          message, "M number hex" with the payload (inflated when 'O')
  frames-each FILE        each line of FILE is a stream in hex, parsed as by "frames";
                          its lines are preceded by "STREAM n" (n counts from 0)
  split NUMBER SEED MAX FILE [SEED MAX]...
                          deflates FILE with zlib and cuts the stream into compressed
                          frames of 1..MAX payload bytes (random, from SEED); prints hex,
                          one line per SEED MAX pair
"""
import random
import struct
import sys
import xdrlib
import zlib


def s(p, text):
    """A wire text: UCS-2 big-endian with its terminator, as counted opaque."""
    p.pack_opaque(text.encode("utf-16-be") + b"\0\0")


def hidden(p, text):
    """A hidden wire text: big-endian UCS-2 with every byte inverted, terminator plain."""
    p.pack_opaque(bytes(b ^ 0xFF for b in text.encode("utf-16-be")) + b"\0\0")


def byte(p, value):
    p.pack_fopaque(4, bytes([value, 0, 0, 0]))


def pack(path):
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line:
                continue
            p = xdrlib.Packer()
            exec(line, {"p": p, "s": lambda t: s(p, t), "hidden": lambda t: hidden(p, t),
                        "byte": lambda v: byte(p, v), "struct": struct})
            print(p.get_buffer().hex())


def frames(data):
    pos = 0
    messages = []  # (number, compressed, payload)
    while pos < len(data):
        first, length = struct.unpack_from(">II", data, pos)
        if first == 0xFFFFFFFF:
            number, letter, flags = struct.unpack_from(">III", data, pos + 8)
            payload = data[pos + 20:pos + length]
            print("C %d %d %s %d" % (number, length, chr(letter & 0xFF), flags))
            if not flags & 1:
                messages.append([number, True, b""])
            messages[-1][2] += payload
        else:
            print("P %d %d" % (first, length))
            payload = data[pos + 8:pos + length]
            if not messages or messages[-1][0] != first or messages[-1][1]:
                messages.append([first, False, b""])
            messages[-1][2] += payload
        pos += length
    for number, compressed, payload in messages:
        print("M %d %s" % (number, (zlib.decompress(payload) if compressed else payload).hex()))


def frames_each(path):
    with open(path, encoding="ascii") as f:
        for n, line in enumerate(f):
            print("STREAM %d" % n)
            frames(bytes.fromhex(line.strip()))


def split(number, seed, largest, stream):
    rng = random.Random(seed)
    out = []  # joined once: adding to bytes copies the whole each time
    pos = 0
    flags = 0
    while True:
        n = rng.randint(1, largest)
        piece = stream[pos:pos + n]
        pos += len(piece)
        last = pos >= len(stream)
        out.append(struct.pack(">IIIII", 0xFFFFFFFF, 20 + len(piece), number, ord("O"),
                               flags | (2 if last else 0)) + piece)
        flags = 1
        if last:
            break
    print(b"".join(out).hex())


if __name__ == "__main__":
    command = sys.argv[1]
    if command == "pack":
        pack(sys.argv[2])
    elif command == "frames":
        frames(open(sys.argv[2], "rb").read())
    elif command == "frames-each":
        frames_each(sys.argv[2])
    elif command == "split":
        stream = zlib.compress(open(sys.argv[5], "rb").read())
        pairs = [sys.argv[3:5]] + [sys.argv[i:i + 2] for i in range(6, len(sys.argv), 2)]
        for seed, largest in pairs:
            split(int(sys.argv[2]), int(seed), int(largest), stream)
