#!/usr/bin/env python3
"""The text a line-data document reads as, written without the project's reader: for every
document of a description (demo.json and data/) whose application stores line data ('L'),
the text of all its segments from the application's parameter text.

Usage: line_text_oracle.py SOURCE OUT

Writes OUT/<n>.txt (the document's whole text, UTF-8), OUT/<n>-<s>.txt (segment s alone),
OUT/<n>-<s>.dat (segment s's stored bytes),
OUT/<n>.opt (the options as read here: recordFormat, carriageControl, dataCodePage and
recordDelimiter as key=value lines) and OUT/cases: one line per document,
"<n>\t<segments>\t<title>".

The reading: delimited records (RECFM=D; RECDELIM as hex pairs, LF without it, CR LF
when empty), ANSI
carriage control in the first byte ('1' new page before, ' ' one line, '0' one blank line
before, '-' two, '+' a line of its own; any other byte one line), zero bytes as blanks,
the bytes as ISO 8859-1. Every line ends in a line feed, every page in a form feed. A
parameter this reading does not know stops it, so that it never guesses.
"""
import json
import os
import sys

KNOWN = {"CC", "RECFM", "CDPG", "RECDELIM", "PAGEID"}
CODECS = {"819": "latin-1", "850": "cp850", "1252": "cp1252"}
BLANKS_BEFORE = {ord("0"): 1, ord("-"): 2}
MAX_RECORD = 991


def parameters(lines):
    """KEY -> value of the application's parameter lines (section lines skipped)."""
    keys = {}
    for line in lines:
        line = line.strip()
        if not line or line.startswith("["):
            continue
        key, _, value = line.partition("=")
        key = key.strip().upper()
        if key not in KNOWN:
            raise SystemExit("line_text_oracle: parameter not read here: " + line)
        keys[key] = value.strip()
    return keys


def records(data, delimiter):
    """Delimited records: up to the delimiter, at most 991 bytes each."""
    out = []
    start = 0
    while start < len(data):
        end = data.find(delimiter, start, start + MAX_RECORD + len(delimiter))
        if end != -1 and end - start <= MAX_RECORD:
            out.append(data[start:end])
            start = end + len(delimiter)
        else:
            out.append(data[start:start + MAX_RECORD])
            start += MAX_RECORD
    return out


def delimiter_of(keys):
    """LF without RECDELIM, CR LF when it is empty, else its hex pairs."""
    if "RECDELIM" not in keys:
        return b"\n"
    return bytes.fromhex(keys["RECDELIM"]) if keys["RECDELIM"] else b"\r\n"


def text_of(data, keys):
    if keys.get("RECFM", "D").upper() != "D":
        raise SystemExit("line_text_oracle: only delimited records are read here")
    cc = keys.get("CC", "").upper()
    if cc not in ("", "ANSI"):
        raise SystemExit("line_text_oracle: only ANSI carriage control is read here")
    codec = CODECS.get(keys.get("CDPG", "819"))
    if codec is None:
        raise SystemExit("line_text_oracle: code page not read here: " + keys["CDPG"])
    delimiter = delimiter_of(keys)
    pages = []
    for record in records(data, delimiter):
        control = record[0] if cc and record else None
        body = record[1:] if cc else record
        if not pages or control == ord("1"):
            pages.append([])
        pages[-1].extend([""] * BLANKS_BEFORE.get(control, 0))
        pages[-1].append(body.replace(b"\0", b" ").decode(codec))
    return "".join("".join(line + "\n" for line in page) + "\f" for page in pages if page)


def main():
    source, out = sys.argv[1], sys.argv[2]
    with open(os.path.join(source, "demo.json"), encoding="utf-8") as f:
        description = json.load(f)
    line_groups = {}
    for group in description["application_groups"]:
        application = group["applications"][0]
        if application["data_type"] == "L":
            line_groups[group["name"]] = parameters(application.get("parameters", []))
    os.makedirs(out, exist_ok=True)
    cases = []
    for document in description["documents"]:
        keys = line_groups.get(document["group"])
        if keys is None:
            continue
        entries = [document] + document.get("segments", [])
        n = len(cases)
        texts = []
        for s, entry in enumerate(entries):
            with open(os.path.join(source, entry["file"]), "rb") as f:
                data = f.read()
            offset = entry.get("offset", 0)
            data = data[offset:offset + entry.get("length", len(data) - offset)]
            with open(os.path.join(out, "%d-%d.dat" % (n, s)), "wb") as f:
                f.write(data)
            texts.append(text_of(data, keys))
            with open(os.path.join(out, "%d-%d.txt" % (n, s)), "wb") as f:
                f.write(texts[-1].encode("utf-8"))
        with open(os.path.join(out, "%d.opt" % n), "w", encoding="ascii") as f:
            f.write("recordFormat=S\ncarriageControl=%s\ndataCodePage=%s\nrecordDelimiter=%s\n" % (
                "A" if keys.get("CC", "").upper() == "ANSI" else "N", keys.get("CDPG", "819"),
                delimiter_of(keys).hex().upper()))
        with open(os.path.join(out, "%d.txt" % n), "wb") as f:
            f.write("".join(texts).encode("utf-8"))
        cases.append("%d\t%d\t%s" % (n, len(entries), document["values"]["TITLE"]))
    with open(os.path.join(out, "cases"), "w", encoding="utf-8") as f:
        f.write("".join(c + "\n" for c in cases))


if __name__ == "__main__":
    main()
