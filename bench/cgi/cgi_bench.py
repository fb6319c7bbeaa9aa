"""Requests per second of gateway requests through lighttpd and qelwww, beside a trivial C
CGI program under the same lighttpd, at concurrency 1 and 8 in the same run.

Usage: cgi_bench.py --qelwww PATH --trivial PATH (--lighttpd PATH [--seconds N] | --callgrind)
                    [--requests bogus,logon,list]
Each client thread keeps one HTTP/1.1 connection open; every request starts one CGI process.
The two programs take turns in rounds of about a second, so a change in the machine's load
during the run falls on both alike.

The requests (the site has the sample archive as DEMO and CacheUserIDs=ALICE):
  bogus  `_function=bogus`: start-up and an error reply, no archive
  logon  a logon of BOB (not in CacheUserIDs) with his password: the archive checks it,
         the state is saved
  list   the folder list from the state cookie of an earlier logon (`_a=l`): the saved
         state is checked and saved again, no archive logon

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

TRIVIAL_BODY = b"[ERROR]\nID=2175\nMSG=The function 'bogus' was not found\n"
ALICE_LIST = (b"[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n"
              b"FOLDER=[Payroll^Payroll statements]\n[END]\n")
BOB_LIST = b"[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n[END]\n"
LOGON = "_nohtml=1&_function=logon&_server=DEMO&_user=ALICE&_password=wonder1"
# name: (query, cookies needed, the gateway's reply)
REQUESTS = {
    "bogus": ("_nohtml=1&_function=bogus&_server=archive&_user=alice&_password=secret", False, TRIVIAL_BODY),
    "logon": ("_nohtml=1&_function=logon&_server=DEMO&_user=BOB&_password=builder2", False, BOB_LIST),
    "list": ("_a=l&_nohtml=1", True, ALICE_LIST),
}
PATHS = {"qelwww": "/cgi-bin/qelwww", "trivial": "/cgi-bin/trivial"}
ROUND_SECONDS = 1.0


def expected(name, request):
    return REQUESTS[request][2] if name == "qelwww" else TRIVIAL_BODY


def state_cookie(port):
    """The Cookie header a logon of ALICE leaves in a browser."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    try:
        connection.request("GET", f"{PATHS['qelwww']}?{LOGON}")
        reply = connection.getresponse()
        body = reply.read()
        if reply.status != 200 or body != ALICE_LIST:
            raise RuntimeError(f"logon: unexpected reply {reply.status} {body[:200]!r}")
        return "; ".join(value.split(";")[0] for key, value in reply.getheaders() if key.lower() == "set-cookie")
    finally:
        connection.close()


def measure(port, name, request, concurrency, seconds, cookie):
    """(requests, elapsed seconds) of `concurrency` clients sending `request` to `name`."""
    query, needs_cookie, _ = REQUESTS[request]
    headers = {"Cookie": cookie} if needs_cookie else {}
    want = expected(name, request)
    counts = [0] * concurrency
    errors = []
    stop = time.monotonic() + seconds

    def client(index):
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        try:
            while time.monotonic() < stop:
                connection.request("GET", f"{PATHS[name]}?{query}", headers=headers)
                reply = connection.getresponse()
                body = reply.read()
                if reply.status != 200 or body != want:
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
        raise RuntimeError(f"{name} {request}: unexpected reply {errors[0]}")
    return sum(counts), elapsed


def requests_per_second(site, seconds, requests):
    cookie = state_cookie(site.port)
    print(f"{'request':>8} {'concurrency':>11} {'qelwww req/s':>13} {'trivial req/s':>14} {'ratio':>7}")
    rounds = max(1, round(seconds / ROUND_SECONDS))
    for request in requests:
        for name in PATHS:  # warm the page cache
            measure(site.port, name, request, 1, 0.5, cookie)
        for concurrency in (1, 8):
            totals = {name: [0, 0.0] for name in PATHS}
            for _ in range(rounds):
                for name in PATHS:
                    count, elapsed = measure(site.port, name, request, concurrency, seconds / rounds, cookie)
                    totals[name][0] += count
                    totals[name][1] += elapsed
            gateway = totals["qelwww"][0] / totals["qelwww"][1]
            trivial = totals["trivial"][0] / totals["trivial"][1]
            print(f"{request:>8} {concurrency:>11} {gateway:>13.0f} {trivial:>14.0f} {trivial / gateway:>6.2f}x",
                  flush=True)


def cgi_env(site, program, request, cookie):
    query, needs_cookie, _ = REQUESTS[request]
    env = site.base_env()
    env.update({"GATEWAY_INTERFACE": "CGI/1.1", "REQUEST_METHOD": "GET", "QUERY_STRING": query,
                "SCRIPT_NAME": PATHS[program], "SERVER_PROTOCOL": "HTTP/1.1"})
    if needs_cookie:
        env["HTTP_COOKIE"] = cookie
    return env


def run_once(site, program, request, cookie, prefix=()):
    """(exit code, reply body) of one run of `program` (a name in the site's cgi-bin)."""
    done = subprocess.run([*prefix, os.path.join(site.cgi_dir, program)], env=cgi_env(site, program, request, cookie),
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    _, body = split_cgi_output(done.stdout)
    if done.returncode != 0 or body != expected(program, request):
        raise RuntimeError(f"{program} {request}: exit {done.returncode}, reply {done.stdout[:200]!r}")
    return body


def instructions(site, program, request, cookie):
    """Instructions of one run of `program` under callgrind."""
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "callgrind.out")
        run_once(site, program, request, cookie, ("valgrind", "--tool=callgrind", f"--callgrind-out-file={out}"))
        with open(out, encoding="latin-1") as profile:
            found = re.search(r"^summary:\s+(\d+)", profile.read(), re.MULTILINE)
    if not found:
        raise RuntimeError(f"{program}: no instruction count in the callgrind output")
    return int(found.group(1))


def logon_cookie(site):
    """The Cookie header of a logon of ALICE run without the web server."""
    env = cgi_env(site, "qelwww", "bogus", "")
    env["QUERY_STRING"] = LOGON
    done = subprocess.run([site.cgi_path], env=env, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    headers, body = split_cgi_output(done.stdout)
    if body != ALICE_LIST:
        raise RuntimeError(f"logon: unexpected reply {done.stdout[:200]!r}")
    return "; ".join(value.split(";")[0] for key, value in headers if key.lower() == "set-cookie")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--qelwww", required=True)
    parser.add_argument("--trivial", required=True)
    parser.add_argument("--lighttpd")
    parser.add_argument("--seconds", type=float, default=6.0)
    parser.add_argument("--callgrind", action="store_true")
    parser.add_argument("--requests", default=",".join(REQUESTS))
    args = parser.parse_args()
    if not args.callgrind and not args.lighttpd:
        parser.error("--lighttpd is needed to measure requests per second")
    requests = [name for name in args.requests.split(",") if name]
    for name in requests:
        if name not in REQUESTS:
            parser.error(f"unknown request {name!r}; known: {', '.join(REQUESTS)}")
    os.environ["QELWWW_PROGRAM"] = os.path.abspath(args.qelwww)
    os.environ["LIGHTTPD"] = args.lighttpd or ""
    with GatewaySite(archive=True, configuration="CacheUserIDs=ALICE") as site:
        os.symlink(os.path.abspath(args.trivial), os.path.join(site.cgi_dir, "trivial"))
        if args.callgrind:
            cookie = logon_cookie(site)
            print(f"{'request':>8} {'qelwww':>13} {'trivial':>13} {'ratio':>7}")
            for request in requests:
                counts = {name: instructions(site, name, request, cookie) for name in PATHS}
                print(f"{request:>8} {counts['qelwww']:>13} {counts['trivial']:>13} "
                      f"{counts['qelwww'] / counts['trivial']:>6.2f}x", flush=True)
            return
        site.start()
        requests_per_second(site, args.seconds, requests)


if __name__ == "__main__":
    main()
