#!/usr/bin/env python3
"""Reads a document-information block (every number an unsigned 32-bit big-endian word)
and prints what it holds, one item a line. Every count and offset is checked to lie inside
the block; a block that breaks a rule makes the reader exit with status 1."""
import struct
import sys


class Block:
    def __init__(self, data):
        self.data = data
        self.at = 0

    def take(self, size):
        if self.at + size > len(self.data):
            raise ValueError("read past the end at %d" % self.at)
        piece = self.data[self.at:self.at + size]
        self.at += size
        return piece

    def word(self):
        return struct.unpack(">I", self.take(4))[0]

    def byte(self):
        return struct.unpack(">B", self.take(1))[0]

    def text(self):
        end = self.data.find(b"\0", self.at)
        if end < 0:
            raise ValueError("text without its zero byte at %d" % self.at)
        value = self.data[self.at:end]
        self.at = end + 1
        return value

    def sized(self, length):
        # A text of `length` bytes counting its zero byte.
        if length == 0:
            return None
        value = self.take(length)
        if value[-1:] != b"\0" or b"\0" in value[:-1]:
            raise ValueError("text length does not match its zero byte")
        return value[:-1]


def show(value):
    return "-" if value is None else value.hex() if value else "''"


def main():
    data = open(sys.argv[1], "rb").read()
    b = Block(data)
    total = b.word()
    names = b.byte()
    groups = b.word()
    segments, per_segment, last = b.word(), b.word(), b.word()
    url_length, form_length = b.word(), b.word()
    if names not in (0, 1):
        raise ValueError("page-name flag %d" % names)
    if segments == 0 or (segments - 1) * per_segment + last != total:
        raise ValueError("counts do not add up")
    print("total %d names %d groups %d segments %d %d %d" % (total, names, groups, segments, per_segment, last))
    print("url %s" % show(b.sized(url_length)))
    print("form %s" % show(b.sized(form_length)))
    if names:
        for page in range(1, total + 1):
            print("page %d %s" % (page, show(b.text())))
    for _ in range(groups):
        name = b.text()
        count = b.word()
        if count * 9 > len(data) - b.at:
            raise ValueError("value count beyond the block")
        print("group %s %d" % (show(name), count))
        for _ in range(count):
            kind, page = b.word(), b.word()
            if kind > 25:
                raise ValueError("kind %d above 25" % kind)
            print("value %d %d %s" % (kind, page, show(b.text())))
    if b.at != len(data):
        raise ValueError("%d bytes after the last group" % (len(data) - b.at))


if __name__ == "__main__":
    try:
        main()
    except (ValueError, struct.error) as error:
        print("bad block: %s" % error)
        sys.exit(1)
