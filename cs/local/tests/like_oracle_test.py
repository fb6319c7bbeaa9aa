#!/usr/bin/env python3
"""The LIKE matcher against Python's re on random short patterns and texts.

"%" and "*" become ".*", a run of n "_"/"?" becomes ".{0,n}", every other byte
is escaped, and the whole text must match.
usage: like_oracle_test.py <qel_where_probe>
"""
import random
import re
import subprocess
import sys

CASES = 300_000
SEED = 20240611


def to_regex(pattern: bytes) -> bytes:
    out = []
    i = 0
    while i < len(pattern):
        c = pattern[i:i + 1]
        if c in (b"%", b"*"):
            out.append(b".*")
            i += 1
        elif c in (b"_", b"?"):
            j = i
            while j < len(pattern) and pattern[j:j + 1] in (b"_", b"?"):
                j += 1
            out.append(b".{0,%d}" % (j - i))
            i = j
        else:
            out.append(re.escape(c))
            i += 1
    return b"".join(out)


def random_bytes(rng, alphabet, longest):
    return bytes(rng.choice(alphabet) for _ in range(rng.randint(0, longest)))


def main():
    probe = sys.argv[1]
    rng = random.Random(SEED)
    plain = b"abc"
    wild = b"abc%_*?"
    odd = bytes(range(1, 256))  # any byte but NUL, now and then
    cases = []
    for n in range(CASES):
        if n % 50 == 0:
            pattern = random_bytes(rng, wild + odd[:40], 10)
            text = random_bytes(rng, plain + odd[:40], 12)
        else:
            pattern = random_bytes(rng, wild, 8)
            text = random_bytes(rng, plain, 10)
        cases.append((pattern, text))
    # Longer ones, with few wildcards: re itself backtracks without bound on more.
    for _ in range(500):
        text = random_bytes(rng, plain, 200)
        pattern = bytearray(text[rng.randint(0, len(text)):][:40])
        for _ in range(rng.randint(0, 3)):
            at = rng.randint(0, len(pattern))
            pattern[at:at + rng.randint(0, 3)] = bytes([rng.choice(b"%_*?")])
        if rng.random() < 0.5:
            pattern = b"%" + pattern + rng.choice([b"", b"%", b"_" * rng.randint(1, 3)])
        cases.append((bytes(pattern), text))

    feed = "".join(f"{p.hex()} {t.hex()}\n" for p, t in cases)
    result = subprocess.run([probe, "like"], input=feed.encode(), capture_output=True, check=True)
    answers = result.stdout.decode().split()
    if len(answers) != len(cases):
        print(f"probe gave {len(answers)} answers for {len(cases)} cases")
        return 1

    cache = {}
    failures = 0
    for (pattern, text), answer in zip(cases, answers):
        regex = cache.get(pattern)
        if regex is None:
            regex = cache[pattern] = re.compile(to_regex(pattern), re.DOTALL)
        expected = "1" if regex.fullmatch(text) else "0"
        if answer != expected:
            failures += 1
            if failures <= 20:
                print(f"pattern {pattern!r} text {text!r}: matcher {answer}, re {expected}")
    matches = answers.count("1")
    print(f"{len(cases)} cases ({matches} matches), {failures} disagreements")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
