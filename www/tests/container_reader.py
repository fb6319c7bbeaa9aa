#!/usr/bin/env python3
"""An independent reader of the viewer container (docs/container.md).

read_container(data) takes the reply body of a retrieve (a full container) or of a
get-segment request (a segment reply) and returns a dict; every length, count and
offset is checked against the bytes, and a container that breaks a rule raises
ContainerError. Pieces are decoded by their compression letter: 'N' and 'D' stored, 'O'
zlib, 'L' '3' '4' '5' 'Z' the own LZW stream (read by `gzip -dc` after its magic F1 D9 is
swapped for the 1F 9D of Unix compress).

    container_reader.py FILE                   prints the dict as JSON
    container_reader.py --letter O FILE        a segment reply whose document letter is O
"""
import json
import struct
import subprocess
import sys
import zlib

LEAD_SIZE = 12
HEADER_END = 40
LINE_DATA_BLOCK = 37
STORED = b"ND"
LZW = b"L345Z"


class ContainerError(ValueError):
    pass


def expand(letter, data):
    """The bytes of a piece with its compression letter (an int or a one-byte value)."""
    letter = bytes([letter]) if isinstance(letter, int) else letter
    if letter in (b"N", b"D"):
        return bytes(data)
    if letter == b"O":
        try:
            return zlib.decompress(bytes(data))
        except zlib.error as error:
            raise ContainerError("zlib piece does not expand: %s" % error)
    if len(letter) == 1 and letter in LZW:
        if len(data) == 0:
            return b""
        if data[:2] != b"\xf1\xd9":
            raise ContainerError("LZW piece without its magic")
        result = subprocess.run(["gzip", "-dc"], input=b"\x1f\x9d" + bytes(data[2:]), capture_output=True)
        if result.returncode != 0:
            raise ContainerError("LZW piece does not expand: %s" % result.stderr.decode(errors="replace"))
        return result.stdout
    raise ContainerError("unknown compression letter %r" % letter)


class Cursor:
    def __init__(self, data, what):
        self.data = data
        self.at = 0
        self.what = what

    def take(self, size):
        if size < 0 or self.at + size > len(self.data):
            raise ContainerError("%s: %d bytes wanted at %d of %d" % (self.what, size, self.at, len(self.data)))
        piece = self.data[self.at:self.at + size]
        self.at += size
        return piece

    def word(self):
        return struct.unpack(">I", self.take(4))[0]

    def byte(self):
        return self.take(1)[0]

    def text(self):
        end = self.data.find(b"\0", self.at)
        if end < 0:
            raise ContainerError("%s: text without its zero byte at %d" % (self.what, self.at))
        value = self.data[self.at:end]
        self.at = end + 1
        return value.decode("latin-1")

    def sized_text(self, length):
        if length == 0:
            return None
        value = self.take(length)
        if value[-1:] != b"\0" or b"\0" in value[:-1]:
            raise ContainerError("%s: text length %d does not end at its zero byte" % (self.what, length))
        return value[:-1].decode("latin-1")


def read_info_block(block):
    """The information block: counts, segment URL, page names and index groups."""
    c = Cursor(block, "information block")
    info = {
        "total_pages": c.word(),
        "page_names_flag": c.byte(),
        "group_count": c.word(),
        "segments": c.word(),
        "pages_in_segment": c.word(),
        "pages_in_last_segment": c.word(),
    }
    url_length, form_length = c.word(), c.word()
    if info["page_names_flag"] not in (0, 1):
        raise ContainerError("page-name flag %d" % info["page_names_flag"])
    if (info["segments"] - 1) * info["pages_in_segment"] + info["pages_in_last_segment"] != info["total_pages"]:
        raise ContainerError("page counts do not add up")
    info["segment_url"] = c.sized_text(url_length)
    info["form_data"] = c.sized_text(form_length)
    names = []
    if info["page_names_flag"]:
        if info["total_pages"] > len(block) - c.at:
            raise ContainerError("more page names than bytes")
        names = [c.text() for _ in range(info["total_pages"])]
    info["page_names"] = names
    groups = []
    for _ in range(info["group_count"]):
        name = c.text()
        count = c.word()
        if count * 9 > len(block) - c.at:
            raise ContainerError("value count %d beyond the block" % count)
        values = []
        for _ in range(count):
            kind, page = c.word(), c.word()
            if kind > 25:
                raise ContainerError("value kind %d above 25" % kind)
            values.append({"kind": kind, "page": page, "text": c.text()})
        groups.append({"name": name, "values": values})
    info["groups"] = groups
    if c.at != len(block):
        raise ContainerError("%d bytes after the last group" % (len(block) - c.at))
    return info


def read_line_data(block):
    c = Cursor(block, "line-data block")
    run = {
        "shift_kind": chr(c.byte()),
        "record_format": chr(c.byte()),
        "record_length": c.word(),
        "carriage_control": chr(c.byte()),
        "trc": c.byte(),
        "code_page": c.word(),
        "page_header_rows": c.word(),
        "field_header_rows": c.word(),
    }
    delimiter = c.take(17)
    if b"\0" not in delimiter:
        raise ContainerError("record delimiter without its zero byte")
    run["record_delimiter"] = delimiter[:delimiter.index(b"\0")].decode("latin-1")
    return run


def letter_text(value):
    return chr(value) if value else ""


def read_container(data, document_letter=None):
    """A full container, or a segment reply (whose document letter the caller kept from
    the full container; without it the segment is left compressed)."""
    data = bytes(data)
    c = Cursor(data, "container")
    magic = c.take(4)
    if magic != b"VOD#":
        raise ContainerError("magic %r" % magic)
    version = c.word()
    segment = struct.unpack(">i", c.take(4))[0]
    out = {"version": version, "segment": segment}
    if segment not in (-1, 0):
        out["kind"] = "segment"
        out["segment_data"] = data[LEAD_SIZE:]
        if document_letter:
            out["segment_expanded"] = expand(document_letter.encode() if isinstance(document_letter, str)
                                             else document_letter, out["segment_data"])
        return out
    out["kind"] = "full"
    info_letter, resource_letter, document_letter = c.byte(), c.byte(), c.byte()
    info_length, resource_length = c.word(), c.word()
    out.update({
        "info_letter": letter_text(info_letter),
        "resource_letter": letter_text(resource_letter),
        "document_letter": letter_text(document_letter),
        "info_length": info_length,
        "resource_length": resource_length,
        "document_type": letter_text(c.byte()),
        "orientation": letter_text(c.byte()),
        "number": c.word(),
        "page_width": struct.unpack(">f", c.take(4))[0],
        "page_length": struct.unpack(">f", c.take(4))[0],
        "attributes": [letter_text(c.byte()) for _ in range(3)],
    })
    if c.at != HEADER_END:
        raise ContainerError("header ends at %d" % c.at)
    if out["document_type"] == "L":
        length = c.word()
        if length < LINE_DATA_BLOCK:
            raise ContainerError("line-data block of %d bytes" % length)
        out["line_data"] = read_line_data(c.take(length))
    out["info_offset"] = c.at
    if segment == -1 and (info_length != 0 or info_letter != 0):
        raise ContainerError("a container without information has an information piece")
    if info_length == 0 and info_letter != 0:
        raise ContainerError("information letter without a piece")
    info = c.take(info_length)
    resources = c.take(resource_length)
    out["document_offset"] = c.at
    document = data[c.at:]
    out["info_piece"] = info
    out["resources"] = resources
    out["document"] = document
    out["info"] = read_info_block(expand(info_letter, info)) if info_length else None
    out["resources_expanded"] = expand(resource_letter, resources) if resource_length else b""
    out["document_expanded"] = expand(document_letter, document) if document else b""
    return out


def as_json(value):
    if isinstance(value, (bytes, bytearray)):
        return {"hex": bytes(value).hex(), "length": len(value)}
    if isinstance(value, dict):
        return {k: as_json(v) for k, v in value.items()}
    if isinstance(value, list):
        return [as_json(v) for v in value]
    return value


def main(argv):
    letter = None
    if len(argv) >= 3 and argv[1] == "--letter":
        letter = argv[2]
        argv = [argv[0]] + argv[3:]
    if len(argv) != 2:
        print("usage: container_reader.py [--letter X] FILE", file=sys.stderr)
        return 2
    with open(argv[1], "rb") as f:
        data = f.read()
    try:
        result = read_container(data, letter)
    except ContainerError as error:
        print(json.dumps({"error": str(error)}))
        return 1
    print(json.dumps(as_json(result), sort_keys=True))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
