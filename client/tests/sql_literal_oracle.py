#!/usr/bin/env python3
"""Reads each argument back through SQLite as `SELECT <argument>`.

Prints one line per argument: the value's SQLite type, a tab, and the value (text as
the hex of its UTF-8 bytes, numbers as Python writes them), or "error" when the
argument is not exactly one literal value.
"""
import sqlite3
import sys


def read_back(connection, literal):
    try:
        rows = connection.execute("SELECT " + literal).fetchall()
    except sqlite3.Error:
        return "error"
    if len(rows) != 1 or len(rows[0]) != 1:
        return "error"
    value = rows[0][0]
    if isinstance(value, str):
        return "text\t" + value.encode("utf-8").hex()
    if isinstance(value, int):
        return "integer\t%d" % value
    if isinstance(value, float):
        return "real\t%r" % value
    return "error"


def main():
    connection = sqlite3.connect(":memory:")
    for literal in sys.argv[1:]:
        print(read_back(connection, literal))


if __name__ == "__main__":
    main()
