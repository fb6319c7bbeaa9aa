#!/usr/bin/env python3
"""Parsed WHERE clauses against SQLite.

Writes random clauses in the form the client library's search writes (text in
quotes with doubled quotes, blanks around "(" and ")", IN lists, BETWEEN, NOT,
"<>", the reserved slot after WHERE), then checks that
  - the parser reads back the field, operator, negation, connector and values
    that were written, and
  - evaluating the parsed conditions selects exactly the rows that SQLite's
    WHERE selects on the same table.
Then it writes random clauses with AND, OR, NOT and parentheses, nested, glued to
their words or spaced, behind the writer's slot or as a user types them, and
checks that reading each clause whole gives the tree that was written (nested
ANDs and ORs merged, conditions in order) and that evaluating the tree selects
exactly SQLite's rows. The first clauses are read whole as well.
LIKE patterns hold no "_" there, since SQL's "_" is exactly one character.
usage: where_sqlite_test.py <qel_where_probe>
"""
import random
import sqlite3
import subprocess
import sys

SEED = 7031
ROWS = 48
CLAUSES = 6000
TREES = 5000

TEXT, DOUBLE, LONG, SHORT = 0, 1, 2, 3
FIELDS = [("NAME", TEXT), ("CITY", TEXT), ("AMOUNT", DOUBLE), ("CNT", LONG),
          ("SMALL", SHORT), ("LO", LONG), ("HI", LONG)]
INDEX = {name: i for i, (name, _) in enumerate(FIELDS)}

# Words that a careless reader would take for syntax inside a quoted value.
TOKENS = ["a", "b", "A", "O", "'", " ", ")", "(", "AND", "OR", "%", "x y", ",", "''", "New York"]

OPS = {"=": (2, 0), "<>": (2, 1), "<": (7, 0), "<=": (8, 0), ">": (9, 0), ">=": (10, 0)}


def quote(text):
    return "'" + text.replace("'", "''") + "'"


class Gen:
    def __init__(self, rng):
        self.rng = rng
        self.rows = [self.row() for _ in range(ROWS)]

    def text(self):
        return "".join(self.rng.choice(TOKENS) for _ in range(self.rng.randint(0, 3)))

    def number(self, kind):
        r = self.rng
        if kind == DOUBLE:
            return round(r.uniform(-50, 50), 2)
        if kind == SHORT:
            return r.randint(-5, 5)
        return r.randint(-20, 20)

    def row(self):
        values = []
        for name, kind in FIELDS:
            values.append(self.text() if kind == TEXT else self.number(kind))
        return values

    def some_value(self, field):
        """A value of the field, usually one that a row holds."""
        kind = FIELDS[field][1]
        if self.rng.random() < 0.6:
            return self.rng.choice(self.rows)[field]
        return self.text() if kind == TEXT else self.number(kind)

    @staticmethod
    def literal(kind, value):
        if kind == TEXT:
            return quote(value)
        if kind == DOUBLE:
            return "%.2f" % value
        return "%d" % value

    def pattern(self, field):
        r = self.rng
        if r.random() < 0.1:
            return "%"
        base = list(self.some_value(field))
        out = []
        for c in base:
            roll = r.random()
            if roll < 0.2:
                out.append("%")
            elif roll < 0.3:
                out.append(c + "%")
            else:
                out.append(c)
        if r.random() < 0.3:
            out.insert(0, "%")
        if r.random() < 0.3:
            out.append("%")
        return "".join(out)

    def condition(self, field=None):
        """(text, expected) with expected = [field, op, negated, value1, value2]."""
        r = self.rng
        if field is None:
            field = r.choice([INDEX[n] for n in ("NAME", "CITY", "AMOUNT", "CNT", "SMALL")])
        name, kind = FIELDS[field]
        written = name if r.random() < 0.7 else name.lower()
        vkind = "t" if kind == TEXT else ("d" if kind == DOUBLE else "l")
        form = r.choice(["cmp", "cmp", "cmp", "between", "in", "like"] if kind == TEXT
                        else ["cmp", "cmp", "between", "in"])
        neg = r.random() < 0.4
        if form == "cmp":
            op = r.choice(list(OPS))
            v = self.some_value(field)
            code, negated = OPS[op]
            return f"{written} {op} {self.literal(kind, v)}", [field, code, negated, (vkind, v), None]
        if form == "between":
            a, b = sorted([self.some_value(field), self.some_value(field)])
            op = " NOT BETWEEN " if neg else " BETWEEN "
            text = f"{written}{op}{self.literal(kind, a)} AND {self.literal(kind, b)}"
            return text, [field, 6, int(neg), (vkind, a), (vkind, b)]
        if form == "in":
            items = [self.literal(kind, self.some_value(field)) for _ in range(r.randint(1, 4))]
            listed = " , ".join(items)
            op = " NOT IN " if neg else " IN "
            return f"{written}{op} ( {listed} ) ", [field, 11, int(neg), ("t", listed), None]
        p = self.pattern(field)
        op = " NOT LIKE " if neg else " LIKE "
        code = 12 if p == "%" else 5
        return f"{written}{op}{quote(p)}", [field, code, int(neg), ("t", p), None]

    def pair(self):
        """A value between a begin and an end field, as the writer puts it."""
        v = self.number(LONG)
        text = f" ( LO <= {v} AND HI >= {v} ) "
        return text, [[INDEX["LO"], 8, 0, ("l", v), None], [INDEX["HI"], 10, 0, ("l", v), None]]

    def items(self, count, pairs):
        texts, expected = [], []
        for _ in range(count):
            if pairs and self.rng.random() < 0.15:
                t, e = self.pair()
                texts.append(t)
                expected.append(e)
            else:
                t, e = self.condition()
                texts.append(t)
                expected.append([e])
        return texts, expected

    def clause(self):
        """(clause text, expected conditions each with its connector)."""
        r = self.rng
        shape = r.choice(["main", "main", "slot+main", "slot", "main+joined", "joined"])
        conds = []  # (expected, connector)

        def group(texts, expected, join):
            code = 0 if join == " AND " else 1
            flat = [e for es in expected for e in es]
            # A pair is joined inside by AND whatever joins the group.
            connectors = []
            for es in expected:
                connectors += [0] * (len(es) - 1) + [code]
            return " ( " + join.join(texts) + " ) ", list(zip(flat, connectors))

        slot = None
        if shape.startswith("slot"):
            field = r.choice([INDEX["CNT"], INDEX["AMOUNT"]])
            kind = FIELDS[field][1]
            a, b = sorted([self.number(kind), self.number(kind)])
            text = f"{FIELDS[field][0]} BETWEEN {self.literal(kind, a)} AND {self.literal(kind, b)}"
            vkind = "d" if kind == DOUBLE else "l"
            slot = (text, [field, 6, 0, (vkind, a), (vkind, b)])
        if shape == "slot":
            return "WHERE " + slot[0].ljust(75)[:75], [(slot[1], -1)]

        head = "WHERE " + (slot[0].ljust(75) + " AND " if slot else " " * 80)
        if slot:
            conds.append((slot[1], 0))
        join = " OR " if shape == "main" and r.random() < 0.5 else " AND "
        texts, expected = self.items(r.randint(1, 5), pairs=True)
        body, flat = group(texts, expected, join)
        conds += flat
        if shape == "main+joined":
            conds[-1] = (conds[-1][0], 0)
            texts, expected = self.items(r.randint(1, 3), pairs=False)
            more, flat = group(texts, expected, " AND ")
            body += " AND " + more
            conds += flat
        conds[-1] = (conds[-1][0], -1)
        return head + body, conds


class TreeGen:
    """Random expression trees: ("C", expected), ("AND", [..]), ("OR", [..]), ("NOT", child)."""

    def __init__(self, gen):
        self.gen = gen
        self.rng = gen.rng

    def tree(self, depth):
        r = self.rng
        roll = r.random()
        if depth == 0 or roll < 0.35:
            return ("C", self.gen.condition())
        if roll < 0.5:
            return ("NOT", self.tree(depth - 1))
        kind = "AND" if roll < 0.75 else "OR"
        return (kind, [self.tree(depth - 1) for _ in range(r.randint(2, 4))])

    def blank(self):
        return self.rng.choice([" ", " ", " ", "  ", "\t", "\n"])

    def group(self, text):
        if self.rng.random() < 0.3:
            return "(" + text + ")"
        return "(" + self.blank() + text + self.blank() + ")"

    def render(self, node, parent):
        """The tree as SQL text; parentheses where precedence needs them, and at times where not."""
        r = self.rng
        kind = node[0]
        if kind == "C":
            text = node[1][0]
        elif kind == "NOT":
            inner = self.render(node[1], "NOT")
            text = "NOT" + (inner if inner.startswith("(") and r.random() < 0.5 else self.blank() + inner)
        else:
            joint = self.blank() + kind + self.blank()
            text = joint.join(self.render(child, kind) for child in node[1])
        needed = (kind == "OR" and parent in ("AND", "NOT")) or (kind == "AND" and parent == "NOT")
        if needed or (parent is not None and r.random() < 0.2):
            return self.group(text)
        return text

    def clause(self):
        """(clause text, SQL for SQLite, expected tree)."""
        r = self.rng
        tree = self.tree(r.randint(1, 4))
        shape = r.choice(["user", "user", "bare", "blank slot", "range slot", "range slot+joined"])
        if shape == "bare":
            text = self.render(tree, None)
            return text, "WHERE " + text, tree
        if shape == "user":
            text = r.choice(["WHERE ", "where ", "WHERE\n"]) + self.render(tree, None)
            return text, text, tree
        if shape == "blank slot":
            text = "WHERE " + " " * 80 + " ( " + self.render(tree, None) + " ) "
            return text, text, tree
        field = r.choice([INDEX["CNT"], INDEX["AMOUNT"]])
        kind = FIELDS[field][1]
        a, b = sorted([self.gen.number(kind), self.gen.number(kind)])
        slot = f"{FIELDS[field][0]} BETWEEN {Gen.literal(kind, a)} AND {Gen.literal(kind, b)}"
        vkind = "d" if kind == DOUBLE else "l"
        parts = [("C", [slot, [field, 6, 0, (vkind, a), (vkind, b)]]), tree]
        text = "WHERE " + slot.ljust(75) + " AND " + " ( " + self.render(tree, None) + " ) "
        if shape.endswith("joined"):
            more = self.tree(r.randint(0, 2))
            parts.append(more)
            text += " AND  ( " + self.render(more, None) + " ) "
        return text, text, ("AND", parts)


def merged(node):
    """The tree as the reader gives it: an AND in an AND (an OR in an OR) is one node."""
    kind = node[0]
    if kind == "C":
        return node
    if kind == "NOT":
        return ("NOT", merged(node[1]))
    children = []
    for child in map(merged, node[1]):
        children += child[1] if child[0] == kind else [child]
    return (kind, children)


def shape_of(node, conditions):
    """The probe's shape text; conditions collects the expected conditions in order."""
    kind = node[0]
    if kind == "C":
        conditions.append(node[1][1])
        return "C"
    children = [node[1]] if kind == "NOT" else node[1]
    return kind + "(" + ",".join(shape_of(child, conditions) for child in children) + ")"


def tree_mismatch(tree, shape, parsed_text):
    """None when the probe read the tree that was written, else what differs."""
    conditions = []
    wanted = shape_of(merged(tree), conditions)
    parsed = [p.split(",") for p in parsed_text.split(";")] if parsed_text else []
    if shape != wanted or len(parsed) != len(conditions):
        return f"tree {shape}, written {wanted}"
    for got, want in zip(parsed, conditions):
        if list(map(int, got[:3])) != want[:3] or not same_value(parse_value(got[3]), want[3]) or \
                not same_value(parse_value(got[4]), want[4]):
            return f"read {got}, written {want}"
    return None


def parse_value(printed):
    if printed == "-":
        return None
    tag, value = printed.split(":", 1)
    if tag == "t":
        return ("t", bytes.fromhex(value).decode())
    if tag == "d":
        return ("d", float(value))
    return ("l", int(value))


def same_value(got, wanted):
    if wanted is None or got is None:
        return got is None and wanted is None
    if got[0] != wanted[0]:
        return False
    if got[0] == "d":
        return got[1] == float("%.2f" % wanted[1])
    return got[1] == wanted[1]


def main():
    probe = sys.argv[1]
    rng = random.Random(SEED)
    gen = Gen(rng)
    clauses = [gen.clause() for _ in range(CLAUSES)]

    db = sqlite3.connect(":memory:")
    db.execute("PRAGMA case_sensitive_like = ON")
    columns = ", ".join(f"{n} {'TEXT' if k == TEXT else 'REAL' if k == DOUBLE else 'INTEGER'}"
                        for n, k in FIELDS)
    db.execute(f"CREATE TABLE t (id INTEGER PRIMARY KEY, {columns})")
    for i, row in enumerate(gen.rows):
        db.execute(f"INSERT INTO t VALUES (?{', ?' * len(FIELDS)})", [i] + row)

    lines = [f"FIELD {n} {k}" for n, k in FIELDS]
    for row in gen.rows:
        items = ["x" + v.encode().hex() if k == TEXT else repr(v) for v, (_, k) in zip(row, FIELDS)]
        lines.append("ROW " + " ".join(items))
    lines += [f"CLAUSE {text.encode().hex()}" for text, _ in clauses]
    result = subprocess.run([probe, "where"], input=("\n".join(lines) + "\n").encode(),
                            capture_output=True, check=True)
    answers = result.stdout.decode().split("\n")[:-1]
    if len(answers) != len(clauses):
        print(f"probe gave {len(answers)} answers for {len(clauses)} clauses")
        return 1

    failures = 0
    partial = 0  # clauses that select some rows but not all

    def fail(text, why):
        nonlocal failures
        failures += 1
        if failures <= 20:
            print(f"{why}\n  clause: {text!r}")

    for (text, conds), answer in zip(clauses, answers):
        if not answer.startswith("OK "):
            fail(text, f"not parsed: {answer}")
            continue
        parsed_text, rows_text = answer[3:].split("|")
        parsed = [p.split(",") for p in parsed_text.split(";")] if parsed_text else []
        if len(parsed) != len(conds):
            fail(text, f"{len(parsed)} conditions read, {len(conds)} written")
            continue
        for got, (want, connector) in zip(parsed, conds):
            field, op, negated, conn = map(int, got[:4])
            if [field, op, negated, conn] != want[:3] + [connector] or \
                    not same_value(parse_value(got[4]), want[3]) or \
                    not same_value(parse_value(got[5]), want[4]):
                fail(text, f"read {got}, written {want} connector {connector}")
                break
        else:
            expected = [r[0] for r in db.execute(f"SELECT id FROM t {text} ORDER BY id")]
            ours = [int(x) for x in rows_text.split()] if rows_text.strip() else []
            if "ERR" in rows_text or ours != expected:
                fail(text, f"rows {rows_text!r}, SQLite {expected}")
            partial += 0 < len(expected) < ROWS
    print(f"{len(clauses)} clauses over {ROWS} rows ({partial} select some rows but not all), "
          f"{failures} disagreements")

    # Whole clauses: the trees, then the first clauses once more.
    trees = TreeGen(gen)
    written = [trees.clause() for _ in range(TREES)]
    cases = written + [(text, text, None) for text, _ in clauses]
    lines = lines[:len(FIELDS) + ROWS] + [f"CLAUSE {text.encode().hex()}" for text, _, _ in cases]
    result = subprocess.run([probe, "clause"], input=("\n".join(lines) + "\n").encode(),
                            capture_output=True, check=True)
    answers = result.stdout.decode().split("\n")[:-1]
    if len(answers) != len(cases):
        print(f"probe gave {len(answers)} answers for {len(cases)} whole clauses")
        return 1
    before = failures
    partial = 0
    for (text, sql, tree), answer in zip(cases, answers):
        if not answer.startswith("OK "):
            fail(text, f"not read whole: {answer}")
            continue
        shape, parsed_text, rows_text = answer[3:].split("|")
        if tree is not None:
            wrong = tree_mismatch(tree, shape, parsed_text)
            if wrong:
                fail(text, wrong)
                continue
        expected = [r[0] for r in db.execute(f"SELECT id FROM t {sql} ORDER BY id")]
        ours = [int(x) for x in rows_text.split()] if rows_text.strip() else []
        if "ERR" in rows_text or ours != expected:
            fail(text, f"tree rows {rows_text!r}, SQLite {expected}")
        partial += 0 < len(expected) < ROWS
    print(f"{len(cases)} whole clauses over {ROWS} rows ({partial} select some rows but not all), "
          f"{failures - before} disagreements")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
