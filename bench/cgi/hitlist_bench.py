"""Hit-list requests per second through lighttpd and qelwww on the 10,000-statement demo
archive, beside the trivial C CGI program under the same lighttpd, at concurrency 1 and 8 in
the same run. The search (Customer LIKE 'COASTAL TIMBER%') has 100 hits; every client thread
has logged on as a user of its own and sends only its cookies, as a browser does:
  page   the hit list as an HTML page
  text   the same hit list in plain text (_nohtml=1)

Usage: hitlist_bench.py --qelwww PATH --trivial PATH --builder PATH --lighttpd PATH
                        [--statements N] [--seconds N] [--rounds N] [--json]
The programs take turns in rounds (see cgi_bench.py); --json writes one line per reply kind
and concurrency: {"what", "ours", "peer" (ms per request, medians), "ratio", "rounds"}.
"""
import argparse
import http.client
import json
import os
import re
import statistics
import sys
import tempfile
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "www", "tests", "e2e"))
os.environ.setdefault("PYTHONDONTWRITEBYTECODE", "1")
import cgi_bench  # noqa: E402
import demo_rows  # noqa: E402
from gateway_site import GatewaySite  # noqa: E402

USERS = [f"H{n:02d}" for n in range(1, max(cgi_bench.CONCURRENCY) + 1)]
PASSWORD = "bench4"
PATTERN = "COASTAL TIMBER%"
HITS = 100


def add_bench_users(description):
    """Users of group STAFF (they see Invoices and Statements), one per client thread."""
    for number, name in enumerate(USERS, start=50):
        description["users"].append({"name": name, "uid": number, "password": PASSWORD, "groups": ["STAFF"]})


class HitListRequest:
    """What one client thread sends again and again (the shape cgi_bench.measure reads)."""

    def __init__(self, port, user, kind):
        self.method, self.body = "GET", None
        fields = {"_a": "d", "_f": "Statements", "Customer": PATTERN}
        if kind == "text":
            fields["_nohtml"] = "1"
        self.query = urllib.parse.urlencode(fields)
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
        try:
            body = f"_function=logon&_server=DEMO&_user={user}&_password={PASSWORD}&_nohtml=1".encode()
            connection.request("POST", cgi_bench.PATHS["qelwww"], body=body, headers=cgi_bench.FORM)
            reply = connection.getresponse()
            if not reply.read().startswith(b"[BEGIN]\nACTION="):
                raise RuntimeError(f"logon of {user} failed")
            self.headers = {"Cookie": cgi_bench.cookies_of(reply)}
            # The first reply is the one every later request must give again.
            connection.request("GET", self.url(cgi_bench.PATHS["qelwww"]), headers=self.headers)
            reply = connection.getresponse()
            self.expected = reply.read()
        finally:
            connection.close()
        hits = self.expected.count(b"onClick=\"view_doc(") if kind == "page" else \
            len(re.findall(rb"^DOC=", self.expected, re.M))
        if reply.status != 200 or hits != HITS:
            raise RuntimeError(f"the hit list of {user} has {hits} hits: {self.expected[:300]!r}")

    def url(self, path):
        return f"{path}?{self.query}"


def run(site, kinds, seconds, rounds, as_json):
    if not as_json:
        print(f"{'hit list':>8} {'concurrency':>11} {'qelwww req/s':>13} {'trivial req/s':>14} {'ratio':>7}")
    for kind in kinds:
        requests = [HitListRequest(site.port, user, kind) for user in USERS]
        for name in cgi_bench.PATHS:  # warm the page cache
            cgi_bench.measure(site.port, name, requests[:1], 0.3)
        for concurrency in cgi_bench.CONCURRENCY:
            times = {name: [] for name in cgi_bench.PATHS}
            for _ in range(rounds):
                for name in cgi_bench.PATHS:
                    count, elapsed = cgi_bench.measure(site.port, name, requests[:concurrency], seconds / rounds)
                    times[name].append(1000.0 * elapsed / max(count, 1))
            ours, peer = statistics.median(times["qelwww"]), statistics.median(times["trivial"])
            ratio = statistics.median(o / p for o, p in zip(times["qelwww"], times["trivial"]))
            if as_json:
                print(json.dumps({"what": f"hitlist_{kind}_c{concurrency}", "ours": ours, "peer": peer,
                                  "ratio": ratio, "unit": "ms/request", "rounds": rounds}), flush=True)
            else:
                print(f"{kind:>8} {concurrency:>11} {1000 / ours:>13.0f} {1000 / peer:>14.0f} {ratio:>6.2f}x",
                      flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--qelwww", required=True)
    parser.add_argument("--trivial", required=True)
    parser.add_argument("--builder", required=True, help="qelarcbuild")
    parser.add_argument("--lighttpd", required=True)
    parser.add_argument("--statements", type=int, default=10000)
    parser.add_argument("--seconds", type=float, default=6.0, help="time of each program and concurrency")
    parser.add_argument("--rounds", type=int, default=6)
    parser.add_argument("--requests", default="page,text")
    parser.add_argument("--json", action="store_true")
    args = parser.parse_args()
    kinds = [k for k in args.requests.split(",") if k]
    for kind in kinds:
        if kind not in ("page", "text"):
            parser.error(f"unknown request {kind}")
    os.environ["QELWWW_PROGRAM"] = os.path.abspath(args.qelwww)
    os.environ["LIGHTTPD"] = args.lighttpd
    with tempfile.TemporaryDirectory(prefix="qelwww-hitlist-") as work:
        archive, _ = demo_rows.build_archive(args.builder, work, args.statements, add_bench_users)
        with GatewaySite(archive=archive) as site:
            os.symlink(os.path.abspath(args.trivial), os.path.join(site.cgi_dir, "trivial"))
            site.start()
            run(site, kinds, args.seconds, max(1, args.rounds), args.json)


if __name__ == "__main__":
    main()
