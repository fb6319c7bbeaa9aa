"""Folder Documents for the document tests: the documents archive the build made (or one
built here from a changed description), what its description says each document holds,
and the hit list's links to them.

The test runner passes, besides gateway_site's variables:
  QELWWW_DOCUMENTS_ARCHIVE  the built documents archive
  QELWWW_DOCUMENTS_SOURCE   the description it was built from (demo.json and data/)
  QELWWW_ARCHIVE_BUILDER    qelarcbuild, for archives made by a test
"""
import json
import os
import re
import subprocess
import sys
import urllib.parse

from gateway_site import Browser, GatewaySite, required_env

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import container_reader  # noqa: E402  (the independent reader of the viewer container)

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..")
GENERATOR = os.path.join(SOURCE, "tools", "demo_archive.py")

PLUGIN_VIEWS = "[default browser]\nLineViewing=plugin\nAfpViewing=plugin\n"
NATIVE_VIEWS = "[default browser]\nLineViewing=native\nAfpViewing=native\n"
FOLDER = "Documents"
LEDGER = "Annual ledger"
PAGED_AFP = "Paged invoice run"


def file_bytes(source, entry):
    """The bytes a description entry (document, segment or resource) names."""
    with open(os.path.join(source, entry["file"]), "rb") as f:
        data = f.read()
    offset = entry.get("offset", 0)
    length = entry.get("length", len(data) - offset)
    return data[offset:offset + length]


class StoredDocument:
    """What the description stores for one document: its segments' bytes (one for an
    unpaged document) and its resource group's bytes (empty when it names none)."""

    def __init__(self, source, description, document):
        self.title = document["values"]["TITLE"]
        self.kind = document["values"]["KIND"]
        self.segments = [file_bytes(source, document)] + [file_bytes(source, s) for s in document.get("segments", [])]
        self.resources = b""
        if "resource" in document:
            group = next(g for g in description["application_groups"] if g["name"] == document["group"])
            resource = next(r for r in group["resources"] if r["id"] == document["resource"])
            self.resources = file_bytes(source, resource)
        self.page_names = document.get("page_names", [])

    @property
    def whole(self):
        return b"".join(self.segments)


def stored_documents(source):
    """Title -> StoredDocument for every document of a description folder."""
    with open(os.path.join(source, "demo.json"), encoding="utf-8") as f:
        description = json.load(f)
    return {d["values"]["TITLE"]: StoredDocument(source, description, d) for d in description["documents"]}


def generate(work, change=None):
    """The documents-only description in work/source, edited by change(description, data
    folder); built into work/archive. Returns (archive folder, source folder)."""
    source = os.path.join(work, "source")
    subprocess.run([sys.executable, GENERATOR, "--out", source, "--documents-only"], check=True,
                   stdout=subprocess.DEVNULL, timeout=300)
    path = os.path.join(source, "demo.json")
    if change is not None:
        with open(path, encoding="utf-8") as f:
            description = json.load(f)
        change(description, os.path.join(source, "data"))
        with open(path, "w", encoding="utf-8") as f:
            json.dump(description, f)
    archive = os.path.join(work, "archive")
    done = subprocess.run([required_env("QELWWW_ARCHIVE_BUILDER"), path, archive], capture_output=True, timeout=300)
    if done.returncode != 0:
        raise RuntimeError("qelarcbuild failed: " + done.stderr.decode("utf-8", "replace"))
    return archive, source


def documents_site(views=PLUGIN_VIEWS, configuration="", archive=None, trace=False):
    return GatewaySite(archive=archive or required_env("QELWWW_DOCUMENTS_ARCHIVE"),
                       configuration="Codepage=1208\n" + configuration, extra_ini=views, trace=trace)


def logged_on(site, user="ALICE", password="wonder1"):
    browser = Browser(site)
    reply = browser.post({"_function": "logon", "_server": "DEMO", "_user": user, "_password": password,
                          "_nohtml": "1"})
    if not reply.body.startswith(b"[BEGIN]"):
        raise AssertionError(reply.body)
    return browser


def hit_links(browser, folder=FOLDER):
    """Title -> (type letter, query of the retrieve link) from the plain-text hit list of
    every document whose title is like '%'."""
    reply = browser.get(urllib.parse.urlencode({"_a": "d", "_f": folder, "_nohtml": "1", "_df": "Title",
                                                "TitleOP": "256", "Title": "%"}))
    links = {}
    for title, link, letter in re.findall(rb"^DOC=\[(.*)\^(/cgi-bin/qelwww(?:/\.\w+)?\?[^^]*)\^(\w)\]$", reply.body, re.M):
        path, _, query = link.decode("ascii").partition("?")
        links[title.decode("utf-8")] = (letter.decode(), query)
    if not links:
        raise AssertionError(reply.body)
    return links


def docid_of(query):
    """The document id of a retrieve link, as the request parser decodes it."""
    return urllib.parse.parse_qs(query, keep_blank_values=True, encoding="latin-1")["_d"][0]


def url_encoded(text):
    """Percent-encoding as the gateway writes it: digits, letters and '.' stay."""
    return "".join(chr(b) if (chr(b).isascii() and chr(b).isalnum()) or b == 0x2E else "%%%02X" % b
                   for b in text.encode("latin-1"))


def read_container(body, letter=None):
    return container_reader.read_container(body, letter)
