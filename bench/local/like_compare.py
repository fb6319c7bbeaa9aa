#!/usr/bin/env python3
"""Times QelLikeMatch, Python's re and SQLite's LIKE on the same 1e6 pairs.

usage: like_compare.py <local_like_bench> [--json]
With --json the figures go out as one JSON line (milliseconds and match counts).
The pairs are short random patterns over "abc%_*?" and texts over "abc".
re gets the matcher's meaning ("%"/"*" any run, n "_"/"?" 0 to n characters);
SQLite's LIKE has its own ("_" exactly one, "*" and "?" literal): its figure
is for speed only.
"""
import json
import random
import re
import sqlite3
import subprocess
import sys
import time

PAIRS = 1_000_000


def to_regex(pattern):
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
    return "".join(out)


def text(rng, alphabet, longest):
    return "".join(rng.choice(alphabet) for _ in range(rng.randint(0, longest)))


def main():
    bench = sys.argv[1]
    as_json = "--json" in sys.argv[2:]
    rng = random.Random(99)
    pairs = [(text(rng, "abc%_*?", 8), text(rng, "abc", 10)) for _ in range(PAIRS)]

    feed = "".join(f"{p.encode().hex()} {t.encode().hex()}\n" for p, t in pairs)
    run = subprocess.run([bench, "--pairs=-", "--benchmark_filter=BM_LikeMatch",
                          "--benchmark_format=json"], input=feed.encode(),
                         capture_output=True, check=True)
    report = json.loads(run.stdout)["benchmarks"]
    ours = {b["name"]: b["real_time"] for b in report}
    our_matches = int(next(b["matches"] for b in report if b["name"] == "BM_LikeMatch"))

    start = time.perf_counter()
    cache = {}
    re_matches = 0
    for p, t in pairs:
        rx = cache.get(p)
        if rx is None:
            rx = cache[p] = re.compile(to_regex(p), re.DOTALL)
        re_matches += rx.fullmatch(t) is not None
    re_seconds = time.perf_counter() - start

    db = sqlite3.connect(":memory:")
    db.execute("PRAGMA case_sensitive_like = ON")
    db.execute("CREATE TABLE pairs (p TEXT, t TEXT)")
    db.executemany("INSERT INTO pairs VALUES (?, ?)", pairs)
    start = time.perf_counter()
    (sql_matches,) = db.execute("SELECT count(*) FROM pairs WHERE t LIKE p").fetchone()
    sql_seconds = time.perf_counter() - start

    if as_json:
        print(json.dumps({"what": "like_pairs", "pairs": PAIRS, "patterns": len(cache),
                          "ours": ours["BM_LikeMatch"], "ours_compiled": ours["BM_LikeMatchCompiled"],
                          "python_re": re_seconds * 1000, "sqlite_like": sql_seconds * 1000, "unit": "ms",
                          "matches": {"ours": our_matches, "python_re": re_matches, "sqlite_like": sql_matches}}))
        return 0 if our_matches == re_matches else 1
    print(f"{PAIRS} pairs ({len(cache)} distinct patterns)")
    print(f"  QelLikeMatch           {ours['BM_LikeMatch']:8.1f} ms ({our_matches} matches)")
    print(f"  QelLike_MatchSteps     {ours['BM_LikeMatchCompiled']:8.1f} ms (patterns compiled beforehand)")
    print(f"  Python re              {re_seconds * 1000:8.1f} ms ({re_matches} matches, compiled once per pattern)")
    print(f"  SQLite LIKE            {sql_seconds * 1000:8.1f} ms ({sql_matches} matches, its own meaning)")
    return 0 if our_matches == re_matches else 1


if __name__ == "__main__":
    sys.exit(main())
