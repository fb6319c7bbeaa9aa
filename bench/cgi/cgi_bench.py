"""Requests per second of `_function=bogus` through lighttpd and qelwww, beside a trivial C
CGI program under the same lighttpd, at concurrency 1 and 8 in the same run.

Usage: cgi_bench.py --qelwww PATH --trivial PATH --lighttpd PATH [--seconds N]
Each client thread keeps one HTTP/1.1 connection open; every request starts one CGI process.
"""
import argparse
import http.client
import os
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "www", "tests", "e2e"))
os.environ.setdefault("PYTHONDONTWRITEBYTECODE", "1")
from gateway_site import GatewaySite  # noqa: E402

QUERY = "_nohtml=1&_function=bogus&_server=archive&_user=alice&_password=secret"
EXPECTED = b"[ERROR]\nID=2175\nMSG=The function 'bogus' was not found\n"


def measure(port, path, concurrency, seconds):
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
    return sum(counts) / elapsed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--qelwww", required=True)
    parser.add_argument("--trivial", required=True)
    parser.add_argument("--lighttpd", required=True)
    parser.add_argument("--seconds", type=float, default=5.0)
    args = parser.parse_args()
    os.environ["QELWWW_PROGRAM"] = args.qelwww
    os.environ["LIGHTTPD"] = args.lighttpd
    with GatewaySite() as site:
        os.symlink(args.trivial, os.path.join(site.cgi_dir, "trivial"))
        site.start()
        for path in ("/cgi-bin/qelwww", "/cgi-bin/trivial"):  # warm the page cache
            measure(site.port, path, 1, 0.5)
        print(f"{'concurrency':>11} {'qelwww req/s':>13} {'trivial req/s':>14} {'ratio':>7}")
        for concurrency in (1, 8):
            gateway = measure(site.port, "/cgi-bin/qelwww", concurrency, args.seconds)
            trivial = measure(site.port, "/cgi-bin/trivial", concurrency, args.seconds)
            print(f"{concurrency:>11} {gateway:>13.0f} {trivial:>14.0f} {trivial / gateway:>6.2f}x")


if __name__ == "__main__":
    main()
