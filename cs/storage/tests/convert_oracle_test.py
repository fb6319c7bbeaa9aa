#!/usr/bin/env python3
"""The CONVERT filter running `iconv -f IBM037 -t UTF-8` against Python's cp037 codec.

Leading owed bytes pass unchanged; the rest is decoded. Inputs: every byte value, empty,
sizes around the 512-byte read pieces, a large random object.
usage: convert_oracle_test.py <sm_convert_probe>
"""
import codecs
import os
import random
import subprocess
import sys
import tempfile

SEED = 20261210


def main():
    probe = sys.argv[1]
    rng = random.Random(SEED)
    inputs = [bytes(range(256)), b"", b"\xc1", bytes(range(256)) * 2]
    inputs += [bytes(rng.randrange(256) for _ in range(n)) for n in (511, 512, 513, 1024, 5000)]
    inputs.append(bytes(rng.randrange(256) for _ in range(200_000)))
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        env = dict(os.environ, QEL_TMP=tmp)
        for data in inputs:
            for owed in (0, 3, 1000):
                run = subprocess.run([probe, str(owed), "iconv", "-f IBM037 -t UTF-8"], input=data,
                                     capture_output=True, env=env, timeout=120)
                expected = data[:owed] + codecs.decode(data[owed:], "cp037").encode("utf-8")
                if run.returncode != 0 or run.stdout != expected:
                    failures += 1
                    print(f"size {len(data)} owed {owed}: rc {run.returncode}, "
                          f"{len(run.stdout)} bytes, expected {len(expected)}; {run.stderr[:200]!r}")
                if os.listdir(tmp):
                    failures += 1
                    print(f"size {len(data)} owed {owed}: temporary files left: {os.listdir(tmp)}")
    print(f"{len(inputs) * 3} runs, {failures} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
