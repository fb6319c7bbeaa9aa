"""Requests per second of `_function=bogus` through lighttpd and qelwww, beside a trivial C
CGI program under the same lighttpd, at concurrency 1 and 8 in the same run.

Usage: cgi_bench.py --qelwww PATH --trivial PATH (--lighttpd PATH [--seconds N] | --callgrind)
Each client thread keeps one HTTP/1.1 connection open; every request starts one CGI process.
The two programs take turns in rounds of about a second, so a change in the machine's load
during the run falls on both alike.

With --callgrind (needs valgrind) the script instead counts the instructions of one run of
each program with the same CGI environment, without the web server: a figure that stays the
same from run to run on a shared machine.
"""
import argparse
import http.client
import os
import re
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "www", "tests", "e2e"))
os.environ.setdefault("PYTHONDONTWRITEBYTECODE", "1")
from gateway_site import GatewaySite, split_cgi_output  # noqa: E402

QUERY = "_nohtml=1&_function=bogus&_server=archive&_user=alice&_password=secret"
EXPECTED = b"[ERROR]\nID=2175\nMSG=The function 'bogus' was not found\n"
PATHS = {"qelwww": "/cgi-bin/qelwww", "trivial": "/cgi-bin/trivial"}
ROUND_SECONDS = 1.0


def measure(port, path, concurrency, seconds):
    """(requests, elapsed seconds) of `concurrency` clients asking for `path`."""
    counts = [0] * concurrency
    errors = []
    stop = time.monotonic() + seconds

    def client(index):
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        try:
            while time.monotonic() < stop:
                connection.request("GET", f"{path}?{QUERY}")
                reply = connection.getresponse()
                body = reply.read()
                if reply.status != 200 or body != EXPECTED:
                    errors.append((reply.status, body[:200]))
                    return
                counts[index] += 1
        finally:
            connection.close()

    threads = [threading.Thread(target=client, args=(i,)) for i in range(concurrency)]
    started = time.monotonic()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    elapsed = time.monotonic() - started
    if errors:
        raise RuntimeError(f"{path}: unexpected reply {errors[0]}")
    return sum(counts), elapsed


def requests_per_second(site, seconds):
    for path in PATHS.values():  # warm the page cache
        measure(site.port, path, 1, 0.5)
    print(f"{'concurrency':>11} {'qelwww req/s':>13} {'trivial req/s':>14} {'ratio':>7}")
    rounds = max(1, round(seconds / ROUND_SECONDS))
    for concurrency in (1, 8):
        totals = {name: [0, 0.0] for name in PATHS}
        for _ in range(rounds):
            for name, path in PATHS.items():
                count, elapsed = measure(site.port, path, concurrency, seconds / rounds)
                totals[name][0] += count
                totals[name][1] += elapsed
        gateway = totals["qelwww"][0] / totals["qelwww"][1]
        trivial = totals["trivial"][0] / totals["trivial"][1]
        print(f"{concurrency:>11} {gateway:>13.0f} {trivial:>14.0f} {trivial / gateway:>6.2f}x")


def instructions(site, program):
    """Instructions of one run of `program` (a name in the site's cgi-bin) under callgrind."""
    env = site.base_env()
    env.update({"GATEWAY_INTERFACE": "CGI/1.1", "REQUEST_METHOD": "GET", "QUERY_STRING": QUERY,
                "SCRIPT_NAME": PATHS[program], "SERVER_PROTOCOL": "HTTP/1.1"})
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "callgrind.out")
        done = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}",
                               os.path.join(site.cgi_dir, program)],
                              env=env, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        _, body = split_cgi_output(done.stdout)
        if done.returncode != 0 or body != EXPECTED:
            raise RuntimeError(f"{program}: exit {done.returncode}, reply {done.stdout[:200]!r}")
        with open(out, encoding="latin-1") as profile:
            found = re.search(r"^summary:\s+(\d+)", profile.read(), re.MULTILINE)
    if not found:
        raise RuntimeError(f"{program}: no instruction count in the callgrind output")
    return int(found.group(1))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--qelwww", required=True)
    parser.add_argument("--trivial", required=True)
    parser.add_argument("--lighttpd")
    parser.add_argument("--seconds", type=float, default=6.0)
    parser.add_argument("--callgrind", action="store_true")
    args = parser.parse_args()
    if not args.callgrind and not args.lighttpd:
        parser.error("--lighttpd is needed to measure requests per second")
    os.environ["QELWWW_PROGRAM"] = os.path.abspath(args.qelwww)
    os.environ["LIGHTTPD"] = args.lighttpd or ""
    with GatewaySite() as site:
        os.symlink(os.path.abspath(args.trivial), os.path.join(site.cgi_dir, "trivial"))
        if args.callgrind:
            counts = {name: instructions(site, name) for name in PATHS}
            print(f"{'program':>8} {'instructions':>13}")
            for name, count in counts.items():
                print(f"{name:>8} {count:>13}")
            print(f"{'ratio':>8} {counts['qelwww'] / counts['trivial']:>12.2f}x")
            return
        site.start()
        requests_per_second(site, args.seconds)


if __name__ == "__main__":
    main()
