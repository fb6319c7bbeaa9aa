#!/usr/bin/env python3
"""Reads an open-folder blob as docs/state.md lays it out, independently of the
library's reader, and prints what it found, one fact a line (the test states the same
facts from the records in memory), or with --counts the payload offsets of every count. Exits non-zero when the frame or the payload does
not follow the layout."""
import struct
import sys
import zlib


class Payload:
    def __init__(self, data):
        self.data = data
        self.at = 0
        self.counts = []  # payload offsets of the counts

    def count(self):
        self.counts.append(self.at)
        return self.u32()

    def take(self, n):
        if self.at + n > len(self.data):
            raise ValueError("payload ends early at %d" % self.at)
        piece = self.data[self.at:self.at + n]
        self.at += n
        return piece

    def u8(self):
        return self.take(1)[0]

    def u16(self):
        return struct.unpack("<H", self.take(2))[0]

    def u32(self):
        return struct.unpack("<I", self.take(4))[0]

    def i32(self):
        return struct.unpack("<i", self.take(4))[0]

    def i64(self):
        return struct.unpack("<q", self.take(8))[0]

    def real(self):
        return struct.unpack("<d", self.take(8))[0]

    def text(self):
        return self.take(self.u32()).decode("latin-1")

    def optional(self):
        flag = self.u8()
        if flag > 1:
            raise ValueError("presence byte %d" % flag)
        return self.text() if flag else None

    def letter(self):
        value = self.u8()
        return chr(value) if value else ""


def value(p):
    letter = p.letter()
    if letter == "B":
        held = p.i64()
    elif letter == "D":
        held = p.real()
    elif letter == "I":
        held = p.i32()
    elif letter == "N":
        held = struct.unpack("<h", p.take(2))[0]
    elif letter in ("S", "T"):
        held = p.optional()
    else:
        held = None
    return [letter, held]


def folder_field(p):
    field = {"name": p.text(), "description": p.text(), "type": p.letter(), "dateKind": p.letter(),
             "number": p.u16(), "orders": [p.u16() for _ in range(3)], "flags": p.u8(),
             "display": [p.u16() for _ in range(3)], "defaults": [value(p), value(p)]}
    field["user"] = {"minimum": p.i64(), "maximum": p.i64(), "minimumReal": p.real(),
                     "maximumReal": p.real(), "precision": struct.unpack("<h", p.take(2))[0],
                     "dateFormat": p.text(), "displayFormat": p.text(), "wildcard": p.letter(),
                     "unit": p.letter(), "ascending": p.letter(), "limitsSet": p.u8(),
                     "mapCount": p.u8()}
    return field


def group_field(p):
    field = {"name": p.text(), "type": p.letter(), "flags": p.u8(), "textLength": p.u16(),
             "textCase": p.letter(), "number": p.u16()}
    field["stored"] = [p.optional() for _ in range(p.count())]
    field["shown"] = [p.optional() for _ in range(p.count())]
    field["sets"] = [p.text() for _ in range(3)]
    field["dateKind"] = p.letter()
    return field


def application(p):
    return {"name": p.text(), "description": p.text(), "value": p.optional(),
            "flags": list(p.take(4)), "number": p.u32(), "options": p.u32(),
            "texts": [p.optional() for _ in range(3)], "parameters": p.optional()}


def group(p):
    g = {"number": p.u32(), "name": p.text(), "description": p.text(), "prefix": p.text(),
         "notePermissions": p.u16(), "segmentKind": p.letter(), "rowsPerSegment": p.u32(),
         "logging": p.u8(), "storageSet": p.u32(), "permissions": p.u8(),
         "words": [p.u32() for _ in range(7)], "flags": p.u32()}
    g["fields"] = [group_field(p) for _ in range(p.count())]
    g["applications"] = [application(p) for _ in range(p.count())]
    g["textSearch"] = [p.u16() for _ in range(3)] + [p.text()]
    g["restriction"] = p.optional()
    return g


def criterion(p):
    c = {"kind": p.letter(), "operatorCount": p.i32(), "operatorMask": p.u32(),
         "defaultOperator": p.u32(), "copied": p.u8(), "fixedLength": p.u8(),
         "inputWidth": p.i32(), "displayWidth": p.i32(), "isDate": p.u8(), "isDecimal": p.u8()}
    c["choices"] = [p.text() for _ in range(p.count())]
    c["segments"] = [p.u32() for _ in range(p.count())]
    c.update({"op": p.u32(), "value1": p.text(), "value2": p.text(), "segmentChoice": p.i32(),
              "columnStart": p.i32(), "valuePosition": p.i32()})
    return c


def read(blob):
    if len(blob) < 20 or blob[:4] != b"QFLD":
        raise ValueError("not an open-folder blob")
    version, _, length, crc = struct.unpack("<IIII", blob[4:20])
    if version != 2 or length != len(blob) - 20:
        raise ValueError("version or length")
    if zlib.crc32(blob[:16] + blob[20:]) != crc:
        raise ValueError("CRC")
    p = Payload(blob[20:])
    out = {"server": p.text(), "user": p.text(), "folder": p.text()}
    d = {"number": p.u32(), "name": p.text(), "description": p.text(), "type": p.u8(),
         "fieldTotal": p.u16(), "flags": p.u32(), "hitLimit": p.i32()}
    d["fields"] = [folder_field(p) for _ in range(p.count())]
    d["groups"] = [group(p) for _ in range(p.count())]
    d["maps"] = [[p.u16() for _ in range(p.count())] for _ in d["groups"]] if p.u8() else None
    out["definition"] = d
    out["segmentRows"] = [{"group": p.u32(), "dateLetter": p.letter(), "number": p.u16(),
                           "status": p.u16(), "name": p.text(), "start": p.i64(), "stop": p.i64(),
                           "rows": p.i64()} for _ in range(p.count())]
    field_count = p.i32()
    criteria_count = p.count()
    if criteria_count != field_count:
        raise ValueError("criteria count")
    out["fieldCount"] = field_count
    out["criteria"] = [criterion(p) for _ in range(criteria_count)]
    out["criteriaOrder"] = [p.i32() for _ in range(p.count())]
    out["displayOrder"] = [p.i32() for _ in range(p.count())]
    out["sortList"] = [[p.i32(), p.u8()] for _ in range(p.count())]
    out["hitLimit"] = p.i32()
    out["namedQueries"] = [[p.u32(), p.text(), p.text(), p.u32()] for _ in range(p.count())]
    out["queryCounts"] = [p.i32(), p.i32()]
    if p.at != len(p.data):
        raise ValueError("%d bytes after the last field" % (len(p.data) - p.at))
    out["counts"] = p.counts
    return out


def shown(text):
    return "-" if text is None or text == "" else text


def shown_value(v):
    letter, held = v
    if letter == "D":
        held = "%.17g" % held
    return "%s:%s" % (letter or "-", shown(held if held is None else str(held)))


def joined(items):
    return ",".join(str(i) for i in items)


def facts(out):
    d = out["definition"]
    yield "folder %s on %s for %s: %d %s %d" % (out["folder"], out["server"], out["user"], d["number"],
                                                 d["name"], d["hitLimit"])
    for i, f in enumerate(d["fields"]):
        u = f["user"]
        yield "field %d %s %s%s %s %s %s %s %s %.17g" % (
            i, f["name"], f["type"], f["dateKind"] or "-", shown_value(f["defaults"][0]),
            shown_value(f["defaults"][1]), shown(u["dateFormat"]), shown(u["displayFormat"]),
            u["wildcard"] or "-", u["maximumReal"])
    for g, group_ in enumerate(d["groups"]):
        yield "group %d %s %s" % (g, group_["name"], shown(group_["restriction"]))
        for i, f in enumerate(group_["fields"]):
            yield "gfield %d %d %s %s%s %s %s %s" % (
                g, i, f["name"], f["type"], f["dateKind"] or "-", joined(shown(t) for t in f["stored"]),
                joined(shown(t) for t in f["shown"]), joined(shown(t) for t in f["sets"]))
        for i, a in enumerate(group_["applications"]):
            yield "appl %d %d %s %d %s %s" % (g, i, a["name"], a["number"], shown(a["parameters"]),
                                              joined(shown(t) for t in a["texts"]))
        if d["maps"] is not None:
            yield "map %d %s" % (g, joined(d["maps"][g]))
    rows = out["segmentRows"]
    for i, c in enumerate(out["criteria"]):
        names = joined(rows[k]["name"] if k != 0xFFFFFFFF else "-" for k in c["segments"])
        yield "criterion %d %s %d %s %s %s choice=%d of %d" % (
            i, c["kind"], c["op"], shown(c["value1"]), shown(c["value2"]), shown(names),
            c["segmentChoice"], len(c["choices"]))
    yield "orders %s / %s" % (joined(out["criteriaOrder"]), joined(out["displayOrder"]))
    yield "sort %s" % joined("%d%s" % (k, "+" if a else "-") for k, a in out["sortList"])
    yield "limit %d" % out["hitLimit"]
    for number, name, text, flags in out["namedQueries"]:
        yield "query %d %s %s %d" % (number, name, shown(text), flags)
    yield "counts %d %d" % tuple(out["queryCounts"])


def main():
    with open(sys.argv[1], "rb") as f:
        blob = f.read()
    try:
        out = read(blob)
        if len(sys.argv) > 2 and sys.argv[2] == "--counts":
            print(" ".join(str(at) for at in out["counts"]))
            return 0
        for fact in facts(out):
            print(fact)
    except (ValueError, UnicodeDecodeError) as error:
        print("bad blob: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
