#!/usr/bin/env python3
"""Runs every side-by-side comparison of ours against a named peer and prints one table:
what | ours | peer | ratio | aim | met?

usage: compare_all.py [BUILD_DIR] [--quick] [--rounds N] [--only WORD]
BUILD_DIR (default build/) is a build configured with -DQEL_BENCH=ON; this script builds
nothing and names the targets it misses. Each comparison runs ours and the peer in turn,
round after round (the order swapped every round), so a change in the machine's load falls
on both; the ratio is the median of the rounds' ours/peer times (below 1: ours is faster).
--quick runs one short round of each (the 1e6-row index comparisons left out): a smoke test
that every comparison still runs, not a measurement. A peer that cannot run here (no
lighttpd, no compress program) gives a "skipped" row. Exit status: 0 when every comparison
ran or was skipped, 1 otherwise (a missing target, a wrong reply, a failed run); the aims
met or not do not change it.
"""
import argparse
import json
import os
import re
import shutil
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# (key, what, aim, "<=" or "<"). Keys of the CGI rows are those cgi_bench.py prints.
CGI_ROWS = [
    ("cgi_logon_c1", "CGI logon + folder list, concurrency 1", 3.0, "<="),
    ("cgi_logon_c8", "CGI logon + folder list, concurrency 8", 3.0, "<="),
    ("cgi_folders_c1", "CGI folder list after logon, concurrency 1", 1.5, "<="),
    ("cgi_folders_c8", "CGI folder list after logon, concurrency 8", 1.5, "<="),
    ("cgi_bogus_c1", "CGI _function=bogus, concurrency 1", 1.2, "<="),
    ("cgi_bogus_c8", "CGI _function=bogus, concurrency 8", 1.2, "<="),
]
PEER_ROWS = [
    ("utf8_to_37", "UTF-8 (1208) -> CCSID 37 vs iconv IBM037", 1.0, "<"),
    ("like_prefix", "LIKE 'ab%', 1e6 rows vs sqlite3_strglob", 1.0, "<"),
    ("like_suffix", "LIKE '%yz', 1e6 rows vs sqlite3_strglob", 1.0, "<"),
    ("like_contains", "LIKE '%abc%', 1e6 rows vs sqlite3_strglob", 1.0, "<"),
    ("like_pair", "LIKE '%ka%', 1e6 rows vs sqlite3_strglob", 1.0, "<"),
    ("like_vowels", "LIKE '%a%e%i%', 1e6 rows vs sqlite3_strglob", 1.0, "<"),
    ("like_spread", "LIKE 'a%b%c%', 1e6 rows vs sqlite3_strglob", 1.0, "<"),
    ("like_single", "LIKE '%a_c%', 1e6 rows vs sqlite3_strglob", 1.0, "<"),
    ("like_exact", "LIKE 'hello world', 1e6 rows vs sqlite3_strglob", 1.0, "<"),
    ("like_any", "LIKE '%', 1e6 rows vs sqlite3_strglob", 1.0, "<"),
    ("like_hostile", "LIKE '%a%a%a%a%a%b' on 'a' x 10,000 vs strglob", 2.0, "<"),
    ("image_bilevel_page", "image LZW encode, 1-bit page vs libtiff", 1.0, "<"),
    ("image_gray_page", "image LZW encode, 8-bit page vs libtiff", 1.0, "<"),
    ("image_photo", "image LZW encode, photo-like vs libtiff", 1.0, "<"),
    ("stream_random", "LZW stream encode, random bytes vs compress -b16", 1.0, "<"),
    ("stream_text", "LZW stream encode, text vs compress -b16", 1.0, "<"),
]

# The line-data reader formatting V records against iconv on the same file (bench/client):
# wall time of each whole run in a child process of its own; peak memory goes to stderr.
LDR_ROWS = [("ldr_v_records", "line-data reader, 100 MB of V records vs iconv IBM037", 1.5, "<=")]

# The segment index's document query against SQLite with one index per column, on the same
# rows (bench/index): time to the first hit and to the last hit row read, 1e5 and 1e6 rows.
INDEX_QUERIES = [
    ("eq100", "I1 = v (about 100 hits)", True),
    ("eq10pct", "I2 = v (N/10 hits)", True),
    ("range1pct", "AMT BETWEEN (1% of rows)", True),
    ("date_eq", "DAY BETWEEN one month AND I2 = v", True),
    ("like_prefix", "TXT LIKE 'ABC%'", True),
    ("like_suffix", "TXT LIKE '%XYZ'", False),
    ("not_in", "I2 NOT IN (3 values)", False),
    ("all", "empty WHERE (every row)", False),
    ("and5", "five conditions ANDed", True),
    ("or2", "two conditions ORed", True),
]
INDEX_ROWS = [("index_build", "index build, 1e5 rows into an empty segment vs SQLite inserts", 2.0, "<=")]
for _size in ("1e5", "1e6"):
    for _name, _what, _keyed in INDEX_QUERIES:
        for _phase in ("first", "last"):
            INDEX_ROWS.append((f"index_{_name}_{_phase}_{_size}",
                               f"index {_what}, {_size} rows, {_phase} hit{'' if _keyed else ' (scan)'}",
                               2.0, "<="))
# Left out of --quick runs, which stay short.
FULL_ONLY = {key for key, *_ in INDEX_ROWS if key.endswith("_1e6")}

# Where each comparison can be found: (program under BUILD_DIR, target, our benchmark,
# the peer's benchmark), tried in order; the first program that is built and lists both
# names is used. A per-area program that gains the same comparison goes before the
# bench/peers one.
PEER_PROGRAM = ("bench/peer_compare_bench", "peer_compare_bench")
SOURCES = {key: [PEER_PROGRAM + (f"{key}/ours", f"{key}/peer")] for key, *_ in PEER_ROWS}
SOURCES.update({key: [("bench/index_bench", "index_bench", f"{key}/ours", f"{key}/peer")]
                for key, *_ in INDEX_ROWS})

# Comparisons whose two sides count matches by different rules (glob's "?" is exactly one
# character, our "_" 0 or 1); in every other one both sides must find the same rows.
OWN_MEANING = {"like_single"}


class Missing(Exception):
    pass


def run_benchmark(program, name, min_time):
    """(real time in ms, its "matches" counter or None) of one Google Benchmark by exact
    name, or a string telling why it did not run."""
    done = subprocess.run([program, f"--benchmark_filter=^{re.escape(name)}(/real_time)?$", "--benchmark_format=json",
                           f"--benchmark_min_time={min_time}"], capture_output=True, text=True, timeout=900)
    if done.returncode != 0:
        raise RuntimeError(f"{os.path.basename(program)} {name}: exit {done.returncode}\n{done.stderr[-2000:]}")
    runs = [b for b in json.loads(done.stdout)["benchmarks"] if b.get("run_type") != "aggregate"
            or b.get("aggregate_name") == "median"]
    if not runs:
        raise RuntimeError(f"{os.path.basename(program)}: no benchmark {name}")
    run = runs[-1]
    if run.get("error_occurred"):
        return run.get("error_message", "error")
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1000.0}[run.get("time_unit", "ns")]
    return run["real_time"] * scale, run.get("matches")


def listed(program):
    done = subprocess.run([program, "--benchmark_list_tests=true"], capture_output=True, text=True, timeout=120)
    # A benchmark timed by the wall clock is listed with "/real_time" after its name.
    return {n.removesuffix("/real_time") for n in done.stdout.split()} if done.returncode == 0 else set()


def find_source(build, key, cache):
    wanted = []
    for relative, target, ours, peer in SOURCES[key]:
        program = os.path.join(build, relative)
        wanted.append(target)
        if not os.access(program, os.X_OK):
            continue
        if program not in cache:
            cache[program] = listed(program)
        if ours in cache[program] and peer in cache[program]:
            return program, ours, peer
    raise Missing("build target " + " or ".join(sorted(set(wanted))))


def peer_rows(build, rounds, min_time, only, quick):
    results, cache = {}, {}
    for key, *_ in PEER_ROWS + INDEX_ROWS:
        if (only and only not in key) or (quick and key in FULL_ONLY):
            continue
        try:
            program, ours, peer = find_source(build, key, cache)
        except Missing as missing:
            results[key] = ("missing", str(missing))
            continue
        times = {"ours": [], "peer": []}
        matches = {}
        skipped = None
        for round_number in range(rounds):
            order = [("ours", ours), ("peer", peer)]
            if round_number % 2:
                order.reverse()
            for side, name in order:
                value = run_benchmark(program, name, min_time)
                if isinstance(value, str):
                    if side == "ours":
                        raise RuntimeError(f"{key}: ours failed: {value}")
                    skipped = value
                    break
                times[side].append(value[0])
                matches[side] = value[1]
            if skipped:
                break
        if (not skipped and key not in OWN_MEANING and matches["ours"] is not None
                and matches["ours"] != matches["peer"]):
            raise RuntimeError(f"{key}: ours found {matches['ours']:.0f} rows, the peer {matches['peer']:.0f}")
        print(f"  {key}: done", file=sys.stderr, flush=True)
        if skipped:
            results[key] = ("skipped", skipped)
        else:
            results[key] = ("ran", times["ours"], times["peer"], "ms")
    return results


def cgi_rows(build, quick, rounds, only):
    keys = [key for key, *_ in CGI_ROWS if not only or only in key]
    if not keys:
        return {}
    qelwww = os.path.join(build, "bin", "qelwww")
    trivial = os.path.join(build, "bin", "cgi_bench_trivial")
    lacking = [target for target, path in (("qelwww", qelwww), ("cgi_bench_trivial", trivial))
               if not os.access(path, os.X_OK)]
    if lacking:
        return {key: ("missing", "build target " + " and ".join(lacking)) for key in keys}
    lighttpd = shutil.which("lighttpd") or next(
        (p for p in ("/usr/sbin/lighttpd", "/usr/local/sbin/lighttpd") if os.access(p, os.X_OK)), None)
    if not lighttpd:
        return {key: ("skipped", "no lighttpd") for key in keys}
    kinds = sorted({key.split("_")[1] for key in keys})
    seconds = 0.3 if quick else 1.5 * rounds
    done = subprocess.run([sys.executable, os.path.join(HERE, "cgi", "cgi_bench.py"), "--qelwww", qelwww,
                           "--trivial", trivial, "--lighttpd", lighttpd, "--json", "--seconds", str(seconds),
                           "--rounds", str(rounds), "--requests", ",".join(kinds)],
                          capture_output=True, text=True, timeout=1800)
    if done.returncode != 0:
        raise RuntimeError(f"cgi_bench.py: exit {done.returncode}\n{done.stderr[-3000:]}")
    results = {}
    for line in done.stdout.splitlines():
        row = json.loads(line)
        if row["what"] in keys:
            results[row["what"]] = ("cgi", row["ours"], row["peer"], row["ratio"], row["unit"])
    print("  cgi: done", file=sys.stderr, flush=True)
    return results


def ldr_rows(build, quick, rounds, only):
    keys = [key for key, *_ in LDR_ROWS if not only or only in key]
    if not keys:
        return {}
    program = os.path.join(build, "bench", "client_ldr_bench")
    if not os.access(program, os.X_OK):
        return {key: ("missing", "build target client_ldr_bench") for key in keys}
    if not shutil.which("iconv"):
        return {key: ("skipped", "no iconv program") for key in keys}
    megabytes = 10 if quick else 100
    done = subprocess.run([program, "--json", str(megabytes), str(rounds)], capture_output=True, text=True,
                          timeout=1800)
    if done.returncode != 0:
        raise RuntimeError(f"client_ldr_bench: exit {done.returncode}\n{done.stderr[-3000:]}")
    row = json.loads(done.stdout.splitlines()[-1])
    print(f"  ldr: done; peak RSS reader {max(row['ours_rss_kb']) / 1024:.1f} MB, "
          f"iconv {max(row['peer_rss_kb']) / 1024:.1f} MB ({megabytes} MB document)", file=sys.stderr, flush=True)
    return {key: ("ran", row["ours_ms"], row["peer_ms"], "ms") for key in keys}


def fmt_time(ms, unit):
    if unit == "ms/request":
        return f"{ms:.2f} ms/req"
    return f"{ms * 1000:.1f} us" if ms < 1 else f"{ms:.1f} ms"


def table(rows, results):
    lines = [("what", "ours", "peer", "ratio", "aim", "met?")]
    for key, what, aim, op in rows:
        if key not in results:
            continue
        aim_text = f"{op} {aim:g}"
        result = results[key]
        if result[0] in ("missing", "skipped"):
            lines.append((what, "-", "-", "-", aim_text, f"{result[0]}: {result[1]}"))
            continue
        if result[0] == "cgi":
            _, ours, peer, ratio, unit = result
        else:
            _, ours_list, peer_list, unit = result
            ours, peer = statistics.median(ours_list), statistics.median(peer_list)
            ratio = statistics.median(o / p for o, p in zip(ours_list, peer_list))
        met = ratio <= aim if op == "<=" else ratio < aim
        lines.append((what, fmt_time(ours, unit), fmt_time(peer, unit), f"{ratio:.2f}", aim_text,
                      "yes" if met else "NO"))
    widths = [max(len(line[i]) for line in lines) for i in range(6)]
    out = []
    for n, line in enumerate(lines):
        out.append("| " + " | ".join(cell.ljust(widths[i]) for i, cell in enumerate(line)) + " |")
        if n == 0:
            out.append("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build", nargs="?", default="build", help="the build directory (default build/)")
    parser.add_argument("--quick", action="store_true", help="one short round: proves the comparisons run")
    parser.add_argument("--rounds", type=int, help="rounds of each comparison (default 5, 1 with --quick)")
    parser.add_argument("--only", help="only the comparisons whose key contains this word (e.g. like, cgi)")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    if not os.path.isdir(build):
        print(f"no build directory {build}: configure one with -DQEL_BENCH=ON and build it", file=sys.stderr)
        return 1
    rounds = max(1, args.rounds or (1 if args.quick else 5))
    min_time = 0.01 if args.quick else 0.3
    mode = "quick: one short round, a smoke test, not a measurement" if args.quick else f"{rounds} rounds"
    print(f"ours against the peers ({mode}); build {build}", file=sys.stderr, flush=True)
    try:
        results = cgi_rows(build, args.quick, rounds, args.only)
        results.update(peer_rows(build, rounds, min_time, args.only, args.quick))
        results.update(ldr_rows(build, args.quick, rounds, args.only))
    except (RuntimeError, subprocess.TimeoutExpired) as error:
        print(f"compare_all: {error}", file=sys.stderr)
        return 1
    print(table(CGI_ROWS + PEER_ROWS + LDR_ROWS + INDEX_ROWS, results))
    missing = [r[1] for r in results.values() if r[0] == "missing"]
    if missing:
        print("missing (build them first): " + ", ".join(sorted(set(missing))), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
