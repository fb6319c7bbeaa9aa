"""Requests per second through lighttpd and qelwww, beside a trivial C CGI program under the
same lighttpd, at concurrency 1 and 8 in the same run, for three requests:
  bogus    `_function=bogus`, the cheapest request (an error reply, no logon)
  logon    a logon to the local archive with the folder list as the reply
  folders  the folder list from the cookies of an earlier logon (every request after logon)
The trivial program gets the same requests and gives its one reply to all of them.

Usage: cgi_bench.py --qelwww PATH --trivial PATH (--lighttpd PATH [--seconds N] [--rounds N]
                    [--requests bogus,logon,folders] [--json] | --callgrind)
Each client thread keeps one HTTP/1.1 connection open; every request starts one CGI process.
The two programs take turns in rounds, so a change in the machine's load during the run falls
on both alike. With --json one line per request and concurrency goes to standard output:
{"what", "ours", "peer" (milliseconds per request, medians of the rounds), "ratio" (median of
the rounds' ours/peer), "rounds"}.

With --callgrind (needs valgrind) the script instead counts the instructions of one run of
each program with the same CGI environment (the bogus request), without the web server: a
figure that stays the same from run to run on a shared machine.
"""
import argparse
import http.client
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "www", "tests", "e2e"))
os.environ.setdefault("PYTHONDONTWRITEBYTECODE", "1")
from gateway_site import GatewaySite, add_users, split_cgi_output  # noqa: E402

QUERY = "_nohtml=1&_function=bogus&_server=archive&_user=alice&_password=secret"
EXPECTED = b"[ERROR]\nID=2175\nMSG=The function 'bogus' was not found\n"
PATHS = {"qelwww": "/cgi-bin/qelwww", "trivial": "/cgi-bin/trivial"}
CONCURRENCY = (1, 8)
USERS = [f"B{n:02d}" for n in range(1, max(CONCURRENCY) + 1)]
ONE_FOLDER = b"[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n[END]\n"
FORM = {"Content-Type": "application/x-www-form-urlencoded"}


def logon_body(user):
    return f"_function=logon&_server=DEMO&_user={user}&_password=wonder1&_nohtml=1".encode()


def cookies_of(reply):
    """The Cookie header a browser sends back after this reply."""
    return "; ".join(value.split(";", 1)[0] for name, value in reply.getheaders() if name.lower() == "set-cookie")


class Request:
    """What one client thread sends again and again: (method, path, body, headers), and the
    reply it expects from the gateway (the trivial program always gives EXPECTED)."""

    def __init__(self, kind, port, user):
        self.kind = kind
        self.headers = {}
        if kind == "bogus":
            self.method, self.query, self.body, self.expected = "GET", QUERY, None, EXPECTED
        elif kind == "logon":
            self.method, self.query, self.body, self.expected = "POST", "", logon_body(user), ONE_FOLDER
            self.headers = dict(FORM)
        elif kind == "folders":
            self.method, self.query, self.body, self.expected = "GET", "_a=l&_nohtml=1", None, ONE_FOLDER
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
            try:
                connection.request("POST", PATHS["qelwww"], body=logon_body(user), headers=FORM)
                reply = connection.getresponse()
                if reply.read() != ONE_FOLDER:
                    raise RuntimeError(f"logon of {user} failed")
                self.headers = {"Cookie": cookies_of(reply)}
            finally:
                connection.close()
        else:
            raise ValueError(kind)

    def url(self, path):
        return f"{path}?{self.query}" if self.query else path


def measure(port, name, requests, seconds):
    """(requests done, elapsed seconds) of one client per entry of `requests` asking `name`."""
    path = PATHS[name]
    concurrency = len(requests)
    counts = [0] * concurrency
    errors = []
    stop = time.monotonic() + seconds

    def client(index):
        request = requests[index]
        expected = request.expected if name == "qelwww" else EXPECTED
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        try:
            while time.monotonic() < stop:
                connection.request(request.method, request.url(path), body=request.body, headers=request.headers)
                reply = connection.getresponse()
                body = reply.read()
                if reply.status != 200 or body != expected:
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
        raise RuntimeError(f"{path} ({requests[0].kind}): unexpected reply {errors[0]}")
    return sum(counts), elapsed


def compare(site, kind, concurrency, rounds, seconds):
    """Milliseconds per request of each program in alternating rounds: {name: [ms, ...]}."""
    requests = [Request(kind, site.port, USERS[i]) for i in range(concurrency)]
    times = {name: [] for name in PATHS}
    for _ in range(rounds):
        for name in PATHS:
            count, elapsed = measure(site.port, name, requests, seconds / rounds)
            times[name].append(1000.0 * elapsed / max(count, 1))
    return times


def requests_per_second(site, kinds, seconds, rounds, as_json):
    for kind in kinds:  # warm the page cache
        for name in PATHS:
            measure(site.port, name, [Request(kind, site.port, USERS[0])], 0.3)
    if not as_json:
        print(f"{'request':>8} {'concurrency':>11} {'qelwww req/s':>13} {'trivial req/s':>14} {'ratio':>7}")
    for kind in kinds:
        for concurrency in CONCURRENCY:
            times = compare(site, kind, concurrency, rounds, seconds)
            ours, peer = statistics.median(times["qelwww"]), statistics.median(times["trivial"])
            ratio = statistics.median(o / p for o, p in zip(times["qelwww"], times["trivial"]))
            if as_json:
                print(json.dumps({"what": f"cgi_{kind}_c{concurrency}", "ours": ours, "peer": peer,
                                  "ratio": ratio, "unit": "ms/request", "rounds": rounds}), flush=True)
            else:
                print(f"{kind:>8} {concurrency:>11} {1000 / ours:>13.0f} {1000 / peer:>14.0f} {ratio:>6.2f}x")


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
    parser.add_argument("--seconds", type=float, default=6.0, help="time of each program and concurrency")
    parser.add_argument("--rounds", type=int, default=6)
    parser.add_argument("--requests", default="bogus,logon,folders")
    parser.add_argument("--json", action="store_true")
    parser.add_argument("--callgrind", action="store_true")
    args = parser.parse_args()
    if not args.callgrind and not args.lighttpd:
        parser.error("--lighttpd is needed to measure requests per second")
    os.environ["QELWWW_PROGRAM"] = os.path.abspath(args.qelwww)
    os.environ["LIGHTTPD"] = args.lighttpd or ""
    kinds = [k for k in args.requests.split(",") if k]
    for kind in kinds:
        if kind not in ("bogus", "logon", "folders"):
            parser.error(f"unknown request {kind}")
    with GatewaySite(archive=True) as site:
        add_users(site.archive_dir, USERS)
        os.symlink(os.path.abspath(args.trivial), os.path.join(site.cgi_dir, "trivial"))
        if args.callgrind:
            counts = {name: instructions(site, name) for name in PATHS}
            print(f"{'program':>8} {'instructions':>13}")
            for name, count in counts.items():
                print(f"{name:>8} {count:>13}")
            print(f"{'ratio':>8} {counts['qelwww'] / counts['trivial']:>12.2f}x")
            return
        site.start()
        requests_per_second(site, kinds, args.seconds, max(1, args.rounds), args.json)


if __name__ == "__main__":
    main()
