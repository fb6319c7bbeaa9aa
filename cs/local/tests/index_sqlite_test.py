#!/usr/bin/env python3
"""Document queries on the segment index against SQLite.

Adds an application group with a field of every stored type (I, S, N, B, D) to a
copy of the sample archive, loads random rows into two of its segments in several
loads, and runs random WHERE texts through the document query (qel_idx_probe).
SQLite runs the same WHERE on the same rows (PRAGMA case_sensitive_like=ON); the
sets of rows must be the same. LIKE patterns holding "_", "?" or "*" mean something
else to SQL, so SQLite answers those through a function that matches as Python's
re oracle of like_oracle_test.py does. A query with a group restriction must give
the rows of both; a hostile WHERE text must give no row outside the restriction,
or an error.
usage: index_sqlite_test.py <qel_idx_probe> <testdata folder>
"""
import os
import random
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile

SEED = 90210
ROWS = 2400
LOADS = 7
QUERIES = 2500
CS_FAILED = 6

AGID = 103
SEGMENTS = ["SEG1", "SEG2"]
# (name, type letter, string length, mask); DAY is the segment date field (mask 4),
# which the search tests row by row instead of walking its keys. MEMO (T) is not
# stored: the fields behind it keep their own keys all the same.
FIELDS = [("ID", "I", 0, 32), ("NAME", "S", 12, 0), ("TAG", "S", 3, 0), ("MEMO", "T", 0, 0), ("CNT", "I", 0, 0),
          ("SMALL", "N", 0, 0), ("DAY", "B", 0, 4), ("STAMP", "B", 0, 0), ("AMOUNT", "D", 0, 0)]
INDEX = {f[0]: i for i, f in enumerate(FIELDS)}
TEXT_FIELDS = ["NAME", "TAG"]
NUMBER_FIELDS = ["CNT", "SMALL", "DAY", "STAMP", "AMOUNT"]

CMP = ["=", "<>", "<", "<=", ">", ">="]


# ---------------------------------------------------------------- the archive

def add_group(archive):
    """Appends group 103 "ORACLE" with FIELDS and segments SEG1, SEG2 to the tables."""
    table = os.path.join(archive, "table")
    with open(os.path.join(table, "ag.tbl")) as f:
        ag = f.read()
    ag = re.sub(r"^APPLICATION_GROUPS=(.*)$", lambda m: f"APPLICATION_GROUPS={m.group(1)},{AGID}", ag,
                count=1, flags=re.M)
    ag += (f"\n[{AGID}]\nNAME=ORACLE\nDESCRIPTION=\"Rows of every type\"\nAGID_NAME=ORAAG\n"
           f"SM_CACHE_DOC=-1\nMGRT_CACHE_DATE=-1\nSID=1\nFLDS_NUM={len(FIELDS)}\n")
    with open(os.path.join(table, "ag.tbl"), "w") as f:
        f.write(ag)
    with open(os.path.join(table, "agfld.tbl"), "a") as f:
        for n, (name, kind, length, mask) in enumerate(FIELDS):
            f.write(f"\n[{AGID}|{n}]\nNAME={name}\nTYPE={kind}\nMASK={mask}\n")
            if kind == "S":
                f.write(f"STRING_TYPE=F\nSTRING_LEN={length}\n")
    with open(os.path.join(table, "seg.tbl"), "a") as f:
        f.write(f"\n[{AGID}]\nSEGMENTS={','.join(SEGMENTS)}\nAGID_NAME=ORAAG\n")
    profile = [f"[{AGID}]", f"FLDS_NUM={len(FIELDS)}", "AGID_NAME=ORAAG"]
    for n, (name, *_) in enumerate(FIELDS):
        profile += ["", f"[{AGID}|{n}]", f"NAME={name}"]
    for s in SEGMENTS:
        profile += ["", f"[{s}]", "START_DATE=1", "STOP_DATE=0", "TOTAL_ROWS=0"]
    with open(os.path.join(archive, "index", "ORACLE.seg"), "w") as f:
        f.write("\n".join(profile) + "\n")


# ---------------------------------------------------------------- rows

def zipf_choice(rng, items):
    weights = [1.0 / (k + 1) for k in range(len(items))]
    return rng.choices(items, weights)[0]


class Rows:
    def __init__(self, rng):
        self.rng = rng
        alphabet = "ABCDEFabcdef0123 '%_*?-.,()"
        self.names = [""] + ["".join(rng.choice(alphabet) for _ in range(rng.randint(1, 12))).rstrip()
                             for _ in range(80)]
        self.names += ["O'Brien", "ABC", "ABCDEFGHIJKL", "AB", "A B", "' OR ''='", "x%y", "a_b"]
        rng.shuffle(self.names)
        self.tags = ["", "A", "B", "AB", "A'", "ABC", "Z", "a", "b c", "%", "_"]

    def row(self, i):
        r = self.rng
        cnt = r.choice([r.randint(-50, 50)] * 20 + [-2147483648, 2147483647, 0])
        small = r.choice([r.randint(-300, 300)] * 20 + [-32768, 32767])
        day = 20200101 + 100 * r.randint(0, 11) + r.randint(0, 27)
        stamp = r.choice([r.randint(-10 ** 6, 10 ** 6), r.randint(1_600_000_000, 1_700_000_000), 0, 5, 6])
        amount = r.choice([round(r.uniform(-100, 100), 2), round(r.uniform(-2, 2), 1), -0.0, 0.0, 5.5, 5.0,
                           round(r.uniform(-100, 100), 2), 1e15, -2e-07, 1.5e20])
        return [i, zipf_choice(r, self.names), zipf_choice(r, self.tags), "", cnt, small, day, stamp, amount]


def row_command(segment, row):
    words = []
    for (name, kind, *_), value in zip(FIELDS, row):
        if kind in "ST":
            words.append("x" + value.encode().hex())
        elif kind == "D":
            words.append(repr(float(value)))
        else:
            words.append(str(value))
    return f"ROW {segment} " + " ".join(words)


# ---------------------------------------------------------------- LIKE outside SQL

def like_regex(pattern):
    """Our LIKE as a regex: % and * any run, a run of n _/? 0..n characters."""
    out, i = [], 0
    while i < len(pattern):
        c = pattern[i]
        if c in "%*":
            out.append(".*")
            i += 1
        elif c in "_?":
            j = i
            while j < len(pattern) and pattern[j] in "_?":
                j += 1
            out.append(".{0,%d}" % (j - i))
            i = j
        else:
            out.append(re.escape(c))
            i += 1
    return re.compile("".join(out), re.DOTALL)


_regex_cache = {}


def qlike(pattern, text):
    regex = _regex_cache.get(pattern)
    if regex is None:
        regex = _regex_cache[pattern] = like_regex(pattern)
    return 1 if regex.fullmatch(str(text)) else 0


# ---------------------------------------------------------------- WHERE texts

def quote(text):
    return "'" + text.replace("'", "''") + "'"


class Clauses:
    """Random WHERE texts, each as (our text, the same for SQLite)."""

    def __init__(self, rng, rows):
        self.rng = rng
        self.rows = rows

    def existing(self, field):
        return self.rng.choice(self.rows)[INDEX[field]]

    def value(self, field):
        r = self.rng
        kind = FIELDS[INDEX[field]][1]
        if kind == "S":
            length = FIELDS[INDEX[field]][2]
            roll = r.random()
            if roll < 0.6:
                return self.existing(field)
            if roll < 0.8:  # longer than the field: above every text it starts with
                return (self.existing(field) + "".join(r.choice("ABC ab'") for _ in range(length))).rstrip() + "Q"
            return "".join(r.choice("ABCab '") for _ in range(r.randint(0, length))).rstrip()
        if r.random() < 0.6:
            v = self.existing(field)
        elif kind == "D":
            v = round(r.uniform(-110, 110), 2)
        elif kind == "N":
            v = r.choice([r.randint(-400, 400), -32768, 32767, 40000, -40000])
        elif kind == "I":
            v = r.choice([r.randint(-60, 60), -2147483648, 2147483647])
        elif field == "DAY":
            v = 20200101 + 100 * r.randint(-1, 12) + r.randint(0, 30)
        else:
            v = r.choice([r.randint(-10 ** 6, 10 ** 6), 5, 6, 1_650_000_000])
        if kind == "B" and r.random() < 0.25:
            v = v + r.choice([0.5, -0.5, 0.25])  # a fraction against an integer field
        return v

    @staticmethod
    def literal(field, v):
        kind = FIELDS[INDEX[field]][1]
        if kind == "S":
            return quote(v)
        if kind == "D":
            return "%.2f" % v
        if isinstance(v, float):
            return repr(v)
        return str(v)

    def pattern(self, field):
        r = self.rng
        kind = FIELDS[INDEX[field]][1]
        base = str(self.existing(field)) if kind != "D" else "%.2f" % self.existing(field)
        if kind == "S" and r.random() < 0.2:
            base = self.value(field)
        out = []
        for c in base:
            roll = r.random()
            if roll < 0.15:
                out.append("%")
            elif roll < 0.22:
                out.append(c + "%")
            elif roll < 0.27 and kind == "S":
                out.append(r.choice(["_", "?", "__", "*"]))
            elif c not in "%_*?" or kind != "S":
                out.append(c)
        if r.random() < 0.4:
            out.insert(0, "%")
        if r.random() < 0.4:
            out.append("%")
        if r.random() < 0.05:
            return "%"
        return "".join(out)

    def condition(self):
        r = self.rng
        field = r.choice(TEXT_FIELDS + NUMBER_FIELDS + ["NAME", "CNT"])
        written = field if r.random() < 0.8 else field.lower()
        form = r.choice(["cmp", "cmp", "cmp", "between", "in", "like"])
        neg = r.random() < 0.4
        if form == "cmp":
            op = r.choice(CMP)
            text = f"{written} {op} {self.literal(field, self.value(field))}"
            return text, text
        if form == "between":
            a, b = self.value(field), self.value(field)
            if r.random() < 0.85:
                a, b = min(a, b), max(a, b)
            op = " NOT BETWEEN " if neg else " BETWEEN "
            text = f"{written}{op}{self.literal(field, a)} AND {self.literal(field, b)}"
            return text, text
        if form == "in":
            values = [self.value(field) for _ in range(r.randint(0 if r.random() < 0.03 else 1, 4))]
            if FIELDS[INDEX[field]][1] == "B":
                values = [v for v in values if not isinstance(v, float)]
            items = " , ".join(self.literal(field, v) for v in values)
            op = " NOT IN " if neg else " IN "
            text = f"{written}{op}( {items} ) "
            return text, text
        p = self.pattern(field)
        op = " NOT LIKE " if neg else " LIKE "
        ours = f"{written}{op}{quote(p)}"
        if any(c in p for c in "_?*"):
            return ours, f"{'NOT ' if neg else ''}qlike({quote(p)}, {field})"
        return ours, ours

    def expression(self, depth=0):
        r = self.rng
        if depth >= 3 or r.random() < 0.45:
            ours, theirs = self.condition()
        else:
            parts = [self.expression(depth + 1) for _ in range(r.randint(2, 4))]
            ours, theirs = parts[0]
            for o, t in parts[1:]:
                join = r.choice([" AND ", " OR "])
                ours, theirs = ours + join + o, theirs + join + t
            ours, theirs = f" ( {ours} ) ", f" ( {theirs} ) "
        if r.random() < 0.15:
            ours, theirs = "NOT " + ours, "NOT " + theirs
        return ours, theirs

    def clause(self):
        """(our WHERE text, the SQLite WHERE body or "" for every row)."""
        r = self.rng
        roll = r.random()
        if roll < 0.02:
            return r.choice(["", "   ", "WHERE", "WHERE " + " " * 80]), ""
        body, sql = self.expression()
        if roll < 0.5:  # the client writer's form: the slot left blank, the conditions in parentheses
            return "WHERE " + " " * 80 + f" ( {body} ) ", f"( {sql} )"
        if roll < 0.7:  # the slot holding a date range
            a, b = sorted([self.value("DAY"), self.value("DAY")])
            slot = f"DAY BETWEEN {a} AND {b}"
            return "WHERE " + slot.ljust(75) + f" AND  ( {body} ) ", f"{slot} AND ( {sql} )"
        return "WHERE " + body, sql


# ---------------------------------------------------------------- running

def hexed(text):
    return "x" + text.encode().hex()


def main():
    probe, testdata = sys.argv[1], sys.argv[2]
    rng = random.Random(SEED)
    gen = Rows(rng)
    rows = [gen.row(i) for i in range(ROWS)]
    clauses = Clauses(rng, rows)

    db = sqlite3.connect(":memory:")
    db.execute("PRAGMA case_sensitive_like = ON")
    db.create_function("qlike", 2, qlike, deterministic=True)
    types = {"S": "TEXT", "D": "REAL", "I": "INTEGER", "N": "INTEGER", "B": "INTEGER"}
    stored = [i for i, (_, k, *_) in enumerate(FIELDS) if k in types]
    db.execute("CREATE TABLE t (" + ", ".join(f"{FIELDS[i][0]} {types[FIELDS[i][1]]}" for i in stored) + ")")

    work = tempfile.mkdtemp(prefix="qel_index_sqlite_")
    failures = 0

    def fail(why):
        nonlocal failures
        failures += 1
        if failures <= 25:
            print(why)

    try:
        archive = os.path.join(work, "archive")
        shutil.copytree(os.path.join(testdata, "archive"), archive)
        add_group(archive)
        os.makedirs(os.path.join(work, "registry"))
        env = dict(os.environ, QEL_REGISTRY_DIR=os.path.join(work, "registry"),
                   QEL_EVENTLOG_FILE=os.path.join(work, "events.log"))

        # Loads of uneven sizes, alternating between the segments; queries run after
        # the third load and after the last, so the second batch finds the rows loaded
        # after the first through the same cached index objects.
        order = list(range(ROWS))
        rng.shuffle(order)
        cuts = sorted(rng.sample(range(1, ROWS), LOADS - 1))
        loads = [order[a:b] for a, b in zip([0] + cuts, cuts + [ROWS])]
        commands, checks = [], []  # checks: (kind, our where, restriction, sqlite body, loaded rows)
        loaded = []
        for n, load in enumerate(loads):
            segment = SEGMENTS[n % 2]
            commands += [row_command(segment, rows[i]) for i in load]
            commands.append("FLUSH")
            checks.append(("load", segment, len(load)))
            loaded += load
            if n == 2 or n == LOADS - 1:
                count = QUERIES // 5 if n == 2 else QUERIES
                for _ in range(count):
                    ours, sql = clauses.clause()
                    commands.append(f"QUERY {hexed(ours)} x")
                    checks.append(("query", ours, "", sql, len(loaded)))
        # Clauses that the parser refuses: a fraction against an I or N field.
        for text in ["WHERE CNT > 5.5", "WHERE SMALL = 5.5", "WHERE CNT IN ( 1.5 ) ", "WHERE NOSUCH = 1",
                     "WHERE MEMO = 'x'", "WHERE CNT = 1 OR MEMO LIKE '%'", "WHERE CNT = 99999 AND MEMO <> ''"]:
            commands.append(f"QUERY {hexed(text)} x")
            checks.append(("error", text))
        # A group restriction ANDed with the caller's text.
        restrictions = [("CNT >= 0", "CNT >= 0"), ("TAG = 'A' OR TAG = 'B'", "TAG = 'A' OR TAG = 'B'"),
                        ("WHERE ( NAME LIKE 'A%' OR SMALL < 0 )", "( NAME LIKE 'A%' OR SMALL < 0 )"),
                        ("NOT AMOUNT BETWEEN -5 AND 5", "NOT AMOUNT BETWEEN -5 AND 5")]
        for restriction, rsql in restrictions:
            for _ in range(40):
                ours, sql = clauses.clause()
                commands.append(f"QUERY {hexed(ours)} {hexed(restriction)}")
                checks.append(("restricted", ours, restriction, rsql, sql))
            hostile = ["WHERE NAME = 'abc", "WHERE CNT = 1 ) OR 1=1 OR ( CNT = 1", "WHERE ) OR 1=1 OR (",
                       "WHERE CNT = 1 OR ( 1=1", "WHERE NAME = '' OR ''=''", "WHERE NAME = ''' OR ''='''",
                       "' OR ''='", "WHERE NAME = '' OR ''='' OR NAME = ''", "OR CNT < 0", ") OR ( CNT < 0",
                       "WHERE CNT < 0 ) OR ( CNT > 0", "WHERE NOT ( CNT = 1", "WHERE CNT = 1 OR NOT",
                       "WHERE CNT = 1 ) ) OR ( ( CNT <> 1", "WHERE " + "CNT > 0 OR " * 3636 + "CNT < 0",
                       "WHERE " + "(" * 200 + "CNT < 0" + ")" * 200, "WHERE CNT < 0 OR ",
                       "WHERE CNT < 0 --", "WHERE CNT < 0; DELETE", "WHERE CNT < 0 OR CNT >= 0"]
            for text in hostile:
                commands.append(f"QUERY {hexed(text)} {hexed(restriction)}")
                checks.append(("hostile", text, restriction, rsql))

        done = subprocess.run([probe, archive, str(AGID), ",".join(SEGMENTS)],
                              input=("\n".join(commands) + "\n").encode(), capture_output=True, env=env,
                              timeout=1200)
        if done.returncode != 0:
            print(f"probe exit {done.returncode}: {done.stderr.decode()[-2000:]}")
            return 1
        answers = done.stdout.decode().split("\n")[:-1]
        if len(answers) != len(checks):
            print(f"probe gave {len(answers)} answers for {len(checks)} commands")
            return 1

        inserted = 0
        ids = {}  # restriction -> its rows
        stats = {"query": 0, "partial": 0, "errors": 0, "restricted": 0, "hostile_refused": 0}
        for check, answer in zip(checks, answers):
            kind = check[0]
            if kind == "load":
                _, segment, size = check
                if answer != f"LOADED {segment} 0 {size}":
                    fail(f"load of {size} rows into {segment}: {answer}")
                continue
            if kind == "query":
                _, ours, _, sql, count = check
                while inserted < count:
                    db.execute(f"INSERT INTO t VALUES ({', '.join('?' * len(stored))})",
                               [rows[loaded[inserted]][i] for i in stored])
                    inserted += 1
            if kind == "error":
                if answer != f"ERR {CS_FAILED}":
                    fail(f"{check[1]!r}: {answer[:200]}, expected ERR {CS_FAILED}")
                continue
            got = answer[3:].split() if answer.startswith("OK") else None
            if got is not None and len(set(got)) != len(got):
                fail(f"{check[1]!r}: a row came twice")
            got = None if got is None else {int(x) for x in got}
            if kind == "query":
                stats["query"] += 1
                where = f"WHERE {sql}" if sql else ""
                expected = {x for (x,) in db.execute(f"SELECT ID FROM t {where}")}
                stats["partial"] += 0 < len(expected) < count
                if got != expected:
                    fail(f"clause {ours!r}\n  ours {answer[:200]}\n  SQLite {sorted(expected)[:40]} "
                         f"({len(expected)} rows); missing {sorted(expected - (got or set()))[:10]}, "
                         f"extra {sorted((got or set()) - expected)[:10]}")
            elif kind == "restricted":
                _, ours, restriction, rsql, sql = check
                stats["restricted"] += 1
                where = f"({rsql}) AND ({sql})" if sql else rsql
                expected = {x for (x,) in db.execute(f"SELECT ID FROM t WHERE {where}")}
                if got != expected:
                    fail(f"restriction {restriction!r} clause {ours!r}\n  ours {answer[:200]}\n"
                         f"  SQLite {sorted(expected)[:40]} ({len(expected)} rows)")
            elif kind == "hostile":
                _, text, restriction, rsql = check
                if rsql not in ids:
                    ids[rsql] = {x for (x,) in db.execute(f"SELECT ID FROM t WHERE {rsql}")}
                if got is None:
                    stats["hostile_refused"] += 1
                elif not got <= ids[rsql]:
                    fail(f"restriction {restriction!r} widened by {text[:80]!r}: "
                         f"{sorted(got - ids[rsql])[:10]} outside it")
        print(f"{stats['query']} clauses over {ROWS} rows in {LOADS} loads ({stats['partial']} select some "
              f"rows but not all), {stats['restricted']} under a restriction, "
              f"{sum(1 for c in checks if c[0] == 'hostile')} hostile texts ({stats['hostile_refused']} refused): {failures} disagreements")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
