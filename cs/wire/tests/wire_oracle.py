"""Outside oracle for the wire tests: Python's xdrlib, struct and zlib.

  pack FILE               each line of FILE is Python code that packs into `p`; prints
                          the packed bytes as hex, one line per input line
  frames FILE             parses the frames in FILE; prints one line per frame
                          ("P number length" / "C number length letter flags") and, per
                          message, "M number hex" with the payload (inflated when 'O')
  split NUMBER SEED MAX FILE
                          deflates FILE with zlib and cuts the stream into compressed
                          frames of 1..MAX payload bytes (random, from SEED); prints hex
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


def frames(path):
    data = open(path, "rb").read()
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


def split(number, seed, largest, path):
    stream = zlib.compress(open(path, "rb").read())
    rng = random.Random(seed)
    out = b""
    pos = 0
    flags = 0
    while True:
        n = rng.randint(1, largest)
        piece = stream[pos:pos + n]
        pos += len(piece)
        last = pos >= len(stream)
        out += struct.pack(">IIIII", 0xFFFFFFFF, 20 + len(piece), number, ord("O"),
                           flags | (2 if last else 0)) + piece
        flags = 1
        if last:
            break
    print(out.hex())


if __name__ == "__main__":
    command = sys.argv[1]
    if command == "pack":
        pack(sys.argv[2])
    elif command == "frames":
        frames(sys.argv[2])
    elif command == "split":
        split(int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.argv[5])
