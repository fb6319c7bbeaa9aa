"""Retrieve of one large line-data document through lighttpd and qelwww, beside lighttpd
serving the same reply bytes as a static file, in the same run; and the CGI program's peak
memory for that request.

The document (20 MB of ANSI line data by default, stored uncompressed) lies in a folder of its
own in the generated demo archive. The reply is the viewer container (plug-in mode), measured
with the document cache off and on:
  cache off   every request reads the document from the archive
  cache on    the document, its resources and its document object come from the cache

Usage: retrieve_bench.py --qelwww PATH --builder PATH --lighttpd PATH
                         [--megabytes N] [--seconds N] [--rounds N] [--json]
--json writes one line per measurement: {"what", "ours", "peer", "ratio", "unit", "rounds"}
for the times (ms per request, medians) and {"what", "peak_kb", "document_kb", "ratio"} for
the memory.
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
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "www", "tests", "e2e"))
os.environ.setdefault("PYTHONDONTWRITEBYTECODE", "1")
import cgi_bench  # noqa: E402
import demo_rows  # noqa: E402
from gateway_site import GatewaySite, split_cgi_output  # noqa: E402
import qelwww_site  # noqa: E402  (on the path through gateway_site)

FOLDER = "Large documents"
TITLE = "Annual ledger"


def ledger(megabytes):
    """ANSI line data: a '1' opens each page of 60 lines, ' ' every other line."""
    line = 0
    out = []
    size = 0
    target = megabytes * 1024 * 1024
    while size < target:
        control = "1" if line % 60 == 0 else " "
        text = f"{control}LEDGER ENTRY {line:09d}  ACCOUNT {line % 9973:05d}  AMOUNT {(line * 37) % 100000:>9}.{line % 100:02d}\n"
        out.append(text)
        size += len(text)
        line += 1
    return "".join(out).encode("ascii")


def add_ledger(work, megabytes):
    def change(description):
        path = os.path.join(work, "ledger.txt")
        with open(path, "wb") as f:
            f.write(ledger(megabytes))
        description["application_groups"].append({
            "agid": 900, "name": "LEDGERS", "storage_id": "LEDGAG",
            "fields": [{"name": "TITLE", "type": "S", "length": 40},
                       {"name": "LDATE", "type": "I", "mask": 4}],
            "applications": [{"appid": 900, "name": "LEDGAPP", "doc_type": 1}],
            "permissions": [{"who": "STAFF", "documents": 1, "annotations": 7}],
            "objects": [{"name": "1FAA", "compression": "N"}]})
        description["folders"].append({
            "fid": 90, "name": FOLDER, "application_groups": ["LEDGERS"],
            "fields": [{"name": "Title", "type": "S", "maps": {"LEDGERS": "TITLE"},
                        "users": {"*": {"QUERY_ORDER": 1, "DSPL_ORDER": 1, "OPS": 1, "DEF_OP": 1}}}],
            "permissions": [{"who": "STAFF", "permissions": 1, "hits": 100}]})
        description["documents"].append({"group": "LEDGERS", "object": "1FAA", "file": path,
                                         "values": {"TITLE": TITLE, "LDATE": "2024-12-31"}})
    return change


def logged_on(port):
    """The Cookie header of ALICE's logon and the retrieve URL of the ledger."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=120)
    try:
        body = "_function=logon&_server=DEMO&_user=ALICE&_password=wonder1&_nohtml=1".encode()
        connection.request("POST", cgi_bench.PATHS["qelwww"], body=body, headers=cgi_bench.FORM)
        reply = connection.getresponse()
        if not reply.read().startswith(b"[BEGIN]"):
            raise RuntimeError("the logon failed")
        cookie = cgi_bench.cookies_of(reply)
        query = urllib.parse.urlencode({"_a": "d", "_f": FOLDER, "Title": TITLE, "_nohtml": "1"})
        connection.request("GET", f"{cgi_bench.PATHS['qelwww']}?{query}", headers={"Cookie": cookie})
        reply = connection.getresponse()
        text = reply.read().decode("utf-8")
        found = re.search(r"^DOC=\[.*?\^(/cgi-bin/qelwww[^\^]*)\^L", text, re.M)
        if found is None:
            raise RuntimeError(f"no ledger in the hit list: {text[:300]!r}")
        return cookie, found.group(1)
    finally:
        connection.close()


def fetch(port, url, headers):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=120)
    try:
        connection.request("GET", url, headers=headers)
        reply = connection.getresponse()
        body = reply.read()
        if reply.status != 200:
            raise RuntimeError(f"{url}: HTTP {reply.status}")
        return body
    finally:
        connection.close()


def timed(port, url, headers, seconds, expected_length):
    """Milliseconds per request over about `seconds`, one request after the other."""
    count = 0
    start = time.monotonic()
    stop = start + seconds
    while count == 0 or time.monotonic() < stop:
        if len(fetch(port, url, headers)) != expected_length:
            raise RuntimeError(f"{url}: a reply of another length")
        count += 1
    return 1000.0 * (time.monotonic() - start) / count


MEASURE = """
import os, sys
pid = os.fork()
if pid == 0:
    os.execv(sys.argv[1], sys.argv[1:])
_, status, usage = os.wait4(pid, 0)
print(usage.ru_maxrss, file=sys.stderr)
sys.exit(os.waitstatus_to_exitcode(status))
"""


def peak_memory(site, cookie, url):
    """Peak resident kilobytes of one run of the CGI program for the request."""
    path, _, query = url.partition("?")
    env = site.base_env()
    env.update({"GATEWAY_INTERFACE": "CGI/1.1", "REQUEST_METHOD": "GET", "QUERY_STRING": query,
                "SCRIPT_NAME": path, "SERVER_PROTOCOL": "HTTP/1.1", "HTTP_COOKIE": cookie,
                "HTTP_HOST": f"127.0.0.1:{site.port}"})
    # A fresh small process starts the program and reports its peak: the kernel counts in a
    # child's peak the memory of the process it was started from, and this one holds the
    # document several times.
    with tempfile.TemporaryFile() as out:
        done = subprocess.run([sys.executable, "-c", MEASURE, site.cgi_path], env=env, stdin=subprocess.DEVNULL,
                              stdout=out, stderr=subprocess.PIPE, timeout=300)
        returncode = done.returncode
        peak_kb = int(done.stderr.decode().strip().splitlines()[-1])
        out.seek(0)
        headers, body = split_cgi_output(out.read())
    if returncode != 0 or not body:
        raise RuntimeError(f"the CGI program failed ({returncode})")
    return peak_kb, len(body)


def run(site, megabytes, seconds, rounds, as_json):
    if not as_json:
        print(f"{'cache':>6} {'qelwww ms':>10} {'static ms':>10} {'ratio':>7}")
    for cache in ("off", "on"):
        site.write_ini(f"Codepage=1208\nCacheDocs={1 if cache == 'on' else 0}\nCacheSize=200",
                       qelwww_site.server_section(qelwww_site.DEMO_SERVER, site.archive_dir) +
                       "[default browser]\nLineViewing=plugin\n")
        for name in os.listdir(site.cache_dir):
            os.remove(os.path.join(site.cache_dir, name))
        cookie, url = logged_on(site.port)
        headers = {"Cookie": cookie}
        body = fetch(site.port, url, headers)  # with the cache on, this one fills it
        if not body.startswith(b"VOD#"):
            raise RuntimeError(f"the reply is no container: {body[:200]!r}")
        with open(os.path.join(site.root, "htdocs", "ledger.bin"), "wb") as f:
            f.write(body)
        ours, peer = [], []
        for _ in range(rounds):
            ours.append(timed(site.port, url, headers, seconds / rounds, len(body)))
            peer.append(timed(site.port, "/ledger.bin", {}, seconds / rounds, len(body)))
        ratio = statistics.median(o / p for o, p in zip(ours, peer))
        if as_json:
            print(json.dumps({"what": f"retrieve_{megabytes}mb_cache_{cache}", "ours": statistics.median(ours),
                              "peer": statistics.median(peer), "ratio": ratio, "unit": "ms/request",
                              "rounds": rounds}), flush=True)
        else:
            print(f"{cache:>6} {statistics.median(ours):>10.1f} {statistics.median(peer):>10.1f} {ratio:>6.2f}x",
                  flush=True)
        peak, length = peak_memory(site, cookie, url)
        document_kb = megabytes * 1024
        if as_json:
            print(json.dumps({"what": f"retrieve_{megabytes}mb_cache_{cache}_memory", "peak_kb": peak,
                              "document_kb": document_kb, "ratio": peak / document_kb}), flush=True)
        else:
            print(f"{cache:>6} peak memory {peak / 1024:.1f} MB for a {megabytes} MB document "
                  f"({peak / document_kb:.2f}x; reply {length} bytes)", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--qelwww", required=True)
    parser.add_argument("--builder", required=True, help="qelarcbuild")
    parser.add_argument("--lighttpd", required=True)
    parser.add_argument("--megabytes", type=int, default=20)
    parser.add_argument("--seconds", type=float, default=6.0, help="time of each side and cache setting")
    parser.add_argument("--rounds", type=int, default=6)
    parser.add_argument("--json", action="store_true")
    args = parser.parse_args()
    os.environ["QELWWW_PROGRAM"] = os.path.abspath(args.qelwww)
    os.environ["LIGHTTPD"] = args.lighttpd
    with tempfile.TemporaryDirectory(prefix="qelwww-retrieve-") as work:
        archive, _ = demo_rows.build_archive(args.builder, work, 100, add_ledger(work, args.megabytes))
        with GatewaySite(archive=archive) as site:
            site.start()
            run(site, args.megabytes, args.seconds, max(1, args.rounds), args.json)


if __name__ == "__main__":
    main()
