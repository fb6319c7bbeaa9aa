#!/usr/bin/env python3
"""An independent reader and writer of document-table streams, written from
docs/doc-tables.md, for the request layer's tests.

  doc_tables_oracle.py read [FILE]   input: one stream per line in hex; stdout: its tables
  doc_tables_oracle.py write [FILE]  input: tables; stdout: one stream per line in hex
The input is FILE, else stdin.

Tables as text, one item per line, each set of tables closed by "end":
  flags F / codepage C / total T / perobject P
  object OFFSET LENGTH NAME      (per object entry)
  group NAME                     (per group name)
  page NUMBER NAME               (per page entry; its values follow)
  value GROUP KIND TEXT
Numbers are decimal, texts hex ("-" when empty). A stream the reader refuses reads as
"error".
"""
import struct
import sys

COMPUTED_OFFSETS = 0x02
PAGE_NAMES = 0x04
CODE_PAGE = 0x08


class Malformed(Exception):
    pass


def hx(data):
    return data.hex() if data else "-"


def unhex(text):
    return b"" if text == "-" else bytes.fromhex(text)


class Stream:
    def __init__(self, data):
        self.data = data
        self.at = 0

    def take(self, n):
        if self.at + n > len(self.data):
            raise Malformed("ends early")
        piece = self.data[self.at:self.at + n]
        self.at += n
        return piece

    def word(self):
        return struct.unpack(">I", self.take(4))[0]

    def byte(self):
        return self.take(1)[0]

    def text(self):
        return self.take(self.byte())


def read(data):
    s = Stream(data)
    t = {"flags": s.word(), "objects": [], "groups": [], "pages": []}
    t["codepage"] = s.word() if t["flags"] & CODE_PAGE else 850
    t["total"] = s.word()
    t["perobject"] = s.word()
    if t["perobject"] == 0:
        raise Malformed("per object 0")
    count = -(-t["total"] // t["perobject"])
    previous = None  # (offset, length, name)
    for i in range(max(count - 1, 0)):
        offset = s.word() if i == 0 or not t["flags"] & COMPUTED_OFFSETS else None
        length = s.word()
        name = s.text()
        if len(name) > 3 or b"\0" in name:
            raise Malformed("object name")
        before = previous[2] if previous else b""
        if not name:
            name = before
        if offset is None:
            if before and name != before:
                offset = 0
            else:
                offset = previous[0] + previous[1]
                if offset > 0xFFFFFFFF:
                    raise Malformed("offset beyond 2^32")
        previous = (offset, length, name)
        t["objects"].append(previous)
    groups = s.byte()
    t["groups"] = [s.text() for _ in range(groups)]
    while True:
        page = s.word()
        if page == 0:
            return t
        if len(t["pages"]) >= t["total"]:
            raise Malformed("more page entries than pages")
        name = s.text() if t["flags"] & PAGE_NAMES else b""
        values = []
        for _ in range(s.byte()):
            group = s.byte()
            if group >= groups:
                raise Malformed("group index")
            kind = s.word()
            values.append((group, kind, s.text()))
        t["pages"].append((page, name, values))


def write(t):
    out = bytearray(struct.pack(">I", t["flags"]))
    if t["flags"] & CODE_PAGE:
        out += struct.pack(">I", t["codepage"])
    out += struct.pack(">II", t["total"], t["perobject"])
    before = b""
    for i, (offset, length, name) in enumerate(t["objects"]):
        if i == 0 or not t["flags"] & COMPUTED_OFFSETS:
            out += struct.pack(">I", offset)
        out += struct.pack(">I", length)
        if name == before:
            out.append(0)
        else:
            out += bytes([len(name)]) + name
            before = name
    out.append(len(t["groups"]))
    for name in t["groups"]:
        out += bytes([len(name)]) + name
    for page, name, values in t["pages"]:
        named = bool(t["flags"] & PAGE_NAMES and name)
        if not values and not named:
            continue
        out += struct.pack(">I", page)
        if t["flags"] & PAGE_NAMES:
            out += bytes([len(name)]) + name
        out.append(len(values))
        for group, kind, text in values:
            out += bytes([group]) + struct.pack(">I", kind) + bytes([len(text)]) + text
    out += struct.pack(">I", 0)
    return bytes(out)


def describe(t):
    lines = ["flags %d" % t["flags"], "codepage %d" % t["codepage"], "total %d" % t["total"],
             "perobject %d" % t["perobject"]]
    lines += ["object %d %d %s" % (o, n, hx(name)) for o, n, name in t["objects"]]
    lines += ["group %s" % hx(g) for g in t["groups"]]
    for page, name, values in t["pages"]:
        lines.append("page %d %s" % (page, hx(name)))
        lines += ["value %d %d %s" % (g, k, hx(text)) for g, k, text in values]
    return "\n".join(lines + ["end"])


def parse(lines):
    t = {"flags": 0, "codepage": 850, "total": 0, "perobject": 0, "objects": [], "groups": [], "pages": []}
    for line in lines:
        word = line.split()
        if word[0] in ("flags", "codepage", "total", "perobject"):
            t[word[0]] = int(word[1])
        elif word[0] == "object":
            t["objects"].append((int(word[1]), int(word[2]), unhex(word[3])))
        elif word[0] == "group":
            t["groups"].append(unhex(word[1]))
        elif word[0] == "page":
            t["pages"].append((int(word[1]), unhex(word[2]), []))
        elif word[0] == "value":
            t["pages"][-1][2].append((int(word[1]), int(word[2]), unhex(word[3])))
        else:
            raise ValueError("unknown line: " + line)
    return t


def main():
    if len(sys.argv) not in (2, 3) or sys.argv[1] not in ("read", "write"):
        sys.exit(__doc__)
    source = open(sys.argv[2]) if len(sys.argv) == 3 else sys.stdin
    if sys.argv[1] == "read":
        for line in source:
            try:
                print(describe(read(bytes.fromhex(line.strip()))))
            except Malformed:
                print("error\nend")
        return
    held = []
    for line in source:
        line = line.strip()
        if line == "end":
            print(write(parse(held)).hex())
            held = []
        elif line:
            held.append(line)


if __name__ == "__main__":
    main()
