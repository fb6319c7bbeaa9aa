#!/usr/bin/env python3
"""Checks WHERE clauses against predicates built from the criteria they came from.

Reads one case file (argument 1):
    ROW <id> <name hex> <a> <amt>
    CASE <number> <match any 0|1> <clause hex>
    COND <field> <operator> <wildcard letter or -> <value hex> [<value hex>]
    END
Loads the rows into an in-memory SQLite table t(NAME TEXT, A INTEGER, AMT REAL) with
case-sensitive LIKE, runs `SELECT rowid FROM t <clause>` for each case and compares the
row ids with those that the criteria select when evaluated in Python. Prints one line
per case: "<number> ok", "<number> mismatch sql=... python=..." or "<number> error ...".
"""
import re
import sqlite3
import sys


def text(hex_text):
    return bytes.fromhex(hex_text).decode("utf-8")


def convert(field, value):
    if field == "A":
        return int(value)
    if field == "AMT":
        return float(value)
    return value


def like_pattern(value, wildcard):
    if wildcard in ("P", "B") and not value.startswith("%"):
        value = "%" + value
    if wildcard in ("A", "B") and not value.endswith("%"):
        value = value + "%"
    return value


def like_matches(pattern, value):
    expression = "".join(
        ".*" if c == "%" else "." if c == "_" else re.escape(c) for c in pattern)
    return re.fullmatch(expression, value, re.DOTALL) is not None


def holds(condition, row):
    field, operator, wildcard, values = condition
    have = row[field]
    if operator in ("IN", "NOTIN"):
        words = [convert(field, w) for w in values[0].split(" ") if w]
        found = have in words
        return found if operator == "IN" else not found
    if operator in ("LIKE", "NOTLIKE"):
        found = like_matches(like_pattern(values[0], wildcard), have)
        return found if operator == "LIKE" else not found
    first = convert(field, values[0])
    if operator in ("BETWEEN", "NOTBETWEEN"):
        inside = first <= have <= convert(field, values[1])
        return inside if operator == "BETWEEN" else not inside
    return {
        "EQ": have == first,
        "NE": have != first,
        "LT": have < first,
        "LE": have <= first,
        "GT": have > first,
        "GE": have >= first,
    }[operator]


def run_case(connection, rows, number, match_any, clause, conditions):
    try:
        selected = sorted(r[0] for r in connection.execute("SELECT rowid FROM t " + clause))
    except sqlite3.Error as error:
        return "%d error %s" % (number, error)
    join = any if match_any else all
    expected = sorted(
        rid for rid, row in rows.items() if join(holds(c, row) for c in conditions))
    if selected == expected:
        return "%d ok" % number
    return "%d mismatch sql=%s python=%s" % (number, selected, expected)


def main():
    connection = sqlite3.connect(":memory:")
    connection.execute("PRAGMA case_sensitive_like = ON")
    connection.execute("CREATE TABLE t (NAME TEXT, A INTEGER, AMT REAL)")
    rows = {}
    case = None
    with open(sys.argv[1], encoding="ascii") as cases:
        for line in cases:
            words = line.split()
            if words[0] == "ROW":
                rid, name, a, amt = int(words[1]), text(words[2]), int(words[3]), float(words[4])
                connection.execute("INSERT INTO t (rowid, NAME, A, AMT) VALUES (?, ?, ?, ?)",
                                   (rid, name, a, amt))
                rows[rid] = {"NAME": name, "A": a, "AMT": amt}
            elif words[0] == "CASE":
                case = (int(words[1]), words[2] == "1", text(words[3]) if len(words) > 3 else "", [])
            elif words[0] == "COND":
                case[3].append((words[1], words[2], words[3], [text(w) for w in words[4:]]))
            elif words[0] == "END":
                print(run_case(connection, rows, *case))


if __name__ == "__main__":
    main()
