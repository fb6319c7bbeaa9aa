#!/usr/bin/env python3
"""The documents archive: generated with --documents-only, built, and read back from the
archive's own layout (objects, resources, note files) without the builder's code. Each
document must be the generated one, and valid for its kind: the PDF's cross-reference
offsets point at their objects, the TIFF's IFD chain holds together, the AFP structured
fields chain to the end, the paged line-data document's tables name its segments.

    documents_archive_test.py <qelarcbuild>
"""

import datetime
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib
from archive_files import profile_sections, zlib_streams

HERE = os.path.dirname(os.path.abspath(__file__))
GENERATOR = os.path.join(os.path.dirname(HERE), "demo_archive.py")
BUILDER = None


# ---------------------------------------------------------------- checks by kind


def read_page_tables(data):
    """The page tables at the start of data (big-endian words, length-prefixed texts):
    flags, code page, counts, object entries, group count, page names and the stream's
    length up to and including its end word."""
    def word(at):
        return struct.unpack_from(">I", data, at)[0]
    tables = {"flags": word(0)}
    at = 4
    tables["code_page"] = 850
    if tables["flags"] & 0x08:
        tables["code_page"] = word(at)
        at += 4
    tables["total"], tables["per_object"] = word(at), word(at + 4)
    at += 8
    tables["entries"] = []
    for k in range(-(-tables["total"] // tables["per_object"]) - 1):
        offset = None
        if k == 0 or not tables["flags"] & 0x02:
            offset = word(at)
            at += 4
        length, size = word(at), data[at + 4]
        tables["entries"].append((offset, length, data[at + 5:at + 5 + size].decode("cp850")))
        at += 5 + size
    tables["groups"] = data[at]
    at += 1
    for _ in range(tables["groups"]):
        at += 1 + data[at]
    tables["names"] = {}
    while word(at) != 0:
        page = word(at)
        at += 4
        if tables["flags"] & 0x04:
            size = data[at]
            tables["names"][page] = data[at + 1:at + 1 + size].decode("latin-1")
            at += 1 + size
        values = data[at]
        at += 1
        for _ in range(values):
            at += 5
            at += 1 + data[at]
    tables["length"] = at + 4
    return tables



def check_pdf(test, data, pages):
    test.assertTrue(data.startswith(b"%PDF-1."))
    test.assertTrue(data.rstrip().endswith(b"%%EOF"))
    tail = data[data.rindex(b"startxref"):].split()
    xref = int(tail[1])
    test.assertEqual(data[xref:xref + 4], b"xref")
    lines = data[xref:].split(b"\n")
    first, count = (int(n) for n in lines[1].split())
    test.assertEqual(first, 0)
    entries = lines[2:2 + count]
    test.assertTrue(all(len(e) == 19 for e in entries), "entries of 20 bytes with their line end")
    test.assertTrue(entries[0].endswith(b"65535 f "))
    for number, entry in enumerate(entries[1:], start=1):
        offset, generation, kind = entry.split()
        test.assertEqual(kind, b"n")
        at = int(offset)
        test.assertEqual(data[at:at + len(b"%d 0 obj" % number)], b"%d 0 obj" % number, f"object {number}")
    trailer = data[data.index(b"trailer", xref):]
    test.assertIn(b"/Size %d" % count, trailer)
    root = int(trailer.split(b"/Root ")[1].split()[0])
    root_at = int(entries[root].split()[0])
    test.assertIn(b"/Type /Catalog", data[root_at:data.index(b"endobj", root_at)])
    test.assertEqual(data.count(b"/Type /Page "), pages)
    test.assertIn(b"/Count %d" % pages, data)
    # Stream lengths agree with their bytes.
    at = 0
    while (at := data.find(b"/Length ", at)) >= 0:
        length = int(data[at + 8:].split()[0])
        start = data.index(b"stream\n", at) + 7
        test.assertEqual(data[start + length:start + length + 10], b"\nendstream")
        at = start + length


def unpack_bits(data):
    out, i = bytearray(), 0
    while i < len(data):
        n = data[i]
        i += 1
        if n < 128:
            out += data[i:i + n + 1]
            i += n + 1
        elif n > 128:
            out += bytes([data[i]]) * (257 - n)
            i += 1
    return bytes(out)


def check_tiff(test, data, pages):
    test.assertEqual(data[:4], b"II*\x00")
    offset = struct.unpack_from("<I", data, 4)[0]
    seen = []
    while offset:
        test.assertNotIn(offset, seen, "an IFD chain without loops")
        test.assertEqual(offset % 2, 0, "IFDs on word boundaries")
        seen.append(offset)
        count = struct.unpack_from("<H", data, offset)[0]
        test.assertLessEqual(offset + 2 + 12 * count + 4, len(data))
        tags = {}
        for n in range(count):
            tag, kind, values, value = struct.unpack_from("<HHII", data, offset + 2 + 12 * n)
            if kind == 3:
                value &= 0xFFFF
            tags[tag] = value
        test.assertEqual(list(tags), sorted(tags), "tags in ascending order")
        for required in (256, 257, 259, 262, 273, 278, 279, 282, 283):
            test.assertIn(required, tags)
        width, height, bits = tags[256], tags[257], tags.get(258, 1)
        strip = data[tags[273]:tags[273] + tags[279]]
        test.assertEqual(len(strip), tags[279], "the strip lies inside the file")
        plain = unpack_bits(strip) if tags[259] == 32773 else strip
        test.assertIn(tags[259], (1, 32773))
        test.assertEqual(len(plain), height * ((width * bits + 7) // 8))
        for rational in (282, 283):
            test.assertLessEqual(tags[rational] + 8, len(data))
        offset = struct.unpack_from("<I", data, offset + 2 + 12 * count)[0]
    test.assertEqual(len(seen), pages)


def structured_fields(test, data):
    """[(identifier, data)] of a MO:DCA stream whose lengths must chain to its end."""
    fields, at = [], 0
    while at < len(data):
        test.assertEqual(data[at], 0x5A, f"structured field at {at}")
        length = struct.unpack_from(">H", data, at + 1)[0]
        test.assertGreaterEqual(length, 8)
        test.assertLessEqual(at + 1 + length, len(data), "a field past the end")
        fields.append((data[at + 3:at + 6].hex().upper(), data[at + 9:at + 1 + length]))
        at += 1 + length
    test.assertEqual(at, len(data))
    return fields


def ptx_texts(test, data):
    """The TRN texts of presentation text (cp500), following the control-sequence chain."""
    test.assertEqual(data[:2], b"\x2b\xd3")
    texts, at, chained = [], 2, True
    while at < len(data):
        test.assertTrue(chained, "a sequence after an unchained one needs its escape")
        length, kind = data[at], data[at + 1]
        test.assertGreaterEqual(length, 2)
        if kind & 0xFE == 0xDA:
            texts.append(data[at + 2:at + length].decode("cp500"))
        chained = bool(kind & 1)
        at += length
    test.assertEqual(at, len(data))
    test.assertFalse(chained, "the last sequence is unchained")
    return texts


def check_afp(test, data):
    fields = structured_fields(test, data)
    names = [f for f, _ in fields]
    test.assertEqual((names[0], names[-1]), ("D3A8A8", "D3A9A8"), "BDT ... EDT")
    test.assertEqual(names.count("D3A8AF"), names.count("D3A9AF"), "pages begin and end")
    test.assertEqual(names.count("D3A6AF"), names.count("D3A8AF"), "a page descriptor a page")
    texts = []
    for name, body in fields:
        if name == "D3EE9B":
            texts += ptx_texts(test, body)
    return names, texts


# ---------------------------------------------------------------- the archive


class DocumentsArchive(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="qel-documents-archive-")
        cls.source, cls.archive = os.path.join(cls.root, "source"), os.path.join(cls.root, "archive")
        subprocess.run([sys.executable, GENERATOR, "--documents-only", "--out", cls.source], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run([BUILDER, os.path.join(cls.source, "demo.json"), cls.archive], check=True,
                       stdout=subprocess.DEVNULL)
        with open(os.path.join(cls.source, "demo.json"), encoding="utf-8") as f:
            cls.description = json.load(f)
        cls.groups = {g["name"]: g for g in cls.description["application_groups"]}
        cls.stored = cls.read_back()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, True)

    @classmethod
    def source_bytes(cls, item):
        with open(os.path.join(cls.source, item["file"]), "rb") as f:
            data = f.read()
        offset = item.get("offset", 0)
        return data[offset:offset + item["length"]] if "length" in item else data[offset:]

    @classmethod
    def read_back(cls):
        """Per document (description order): its note row and its bytes as stored, split
        from its object by the description's order of documents."""
        out = [None] * len(cls.description["documents"])
        by_object = {}
        for n, doc in enumerate(cls.description["documents"]):
            by_object.setdefault((doc["group"], doc["object"]), []).append(n)
        for (group_name, object_name), members in by_object.items():
            group = cls.groups[group_name]
            letter = next(o["compression"] for o in group["objects"] if o["name"] == object_name)
            with open(os.path.join(cls.archive, "data", group["storage_id"], "DOC", object_name), "rb") as f:
                stored = f.read()
            doc = cls.description["documents"][members[0]]
            if "segments" in doc:
                # Read whole by its name with '$'; the stored offset word carries the tables' length.
                data = zlib.decompress(stored) if letter == "O" else stored
                tables = read_page_tables(data)
                row = f"{group['agid']}|{object_name}$|{tables['length']}|{len(stored)}|0|0"
                out[members[0]] = {"row": row, "data": data, "tables": tables, "letter": letter}
                continue
            if letter == "O":
                blocks = zlib_streams(stored)
            else:
                blocks, at = [], 0
                for n in members:
                    length = len(cls.source_bytes(cls.description["documents"][n]))
                    blocks.append((length, stored[at:at + length]))
                    at += length
                assert at == len(stored), "the object holds its documents and nothing else"
            at = 0
            for n, (length, data) in zip(members, blocks):
                row = f"{group['agid']}|{object_name}|{at}|{length}|0|{len(data)}"
                out[n] = {"row": row, "data": data}
                at += length
        return out

    def documents(self, kind):
        return [(n, d) for n, d in enumerate(self.description["documents"]) if d["values"]["KIND"] == kind]

    def test_every_kind_is_there_with_its_data_type(self):
        kinds = {d["values"]["KIND"] for d in self.description["documents"]}
        self.assertEqual(kinds, {"LINE", "AFP", "PDF", "TIFF"})
        apps = profile_sections(os.path.join(self.archive, "table", "app.tbl"))
        # DOC_TYPE numbers of the letters L, A, R, T.
        self.assertEqual({a["NAME"]: a["DOC_TYPE"] for a in apps.values()},
                         {"LINEAPP": "1", "AFPAPP": "2", "PDFAPP": "3", "TIFFAPP": "4"})
        folders = profile_sections(os.path.join(self.archive, "table", "fol.tbl"))
        self.assertEqual(folders["4"]["NAME"], "Documents")

    def test_plain_documents_are_the_generated_bytes(self):
        for n, doc in enumerate(self.description["documents"]):
            if "segments" not in doc:
                self.assertEqual(self.stored[n]["data"], self.source_bytes(doc), doc["values"]["TITLE"])

    def test_line_data_pages(self):
        for n, doc in self.documents("LINE"):
            got = self.stored[n]
            data = got["data"][got["tables"]["length"]:] if "tables" in got else got["data"]
            lines = data.decode("ascii").splitlines()
            self.assertEqual(lines[0][0], "1", "a page starts the document")
            self.assertTrue(all(line[0] in "1 " for line in lines))

    def test_paged_document_tables_and_segments(self):
        paged = [(n, d) for n, d in enumerate(self.description["documents"]) if "segments" in d]
        self.assertEqual(sorted(d["values"]["KIND"] for _, d in paged), ["AFP", "LINE"])
        for n, doc in paged:
            with self.subTest(doc["values"]["TITLE"]):
                self.check_paged(doc, self.stored[n])

    def check_paged(self, doc, got):
        data, letter, tables = got["data"], got["letter"], got["tables"]
        self.assertEqual(tables["flags"] & 0x02, 0, "every offset given")
        self.assertEqual(tables["code_page"], 819)
        total, per_object = tables["total"], tables["per_object"]
        self.assertEqual((total, per_object), (doc["pages"], doc["segment_pages"]))
        count = len(tables["entries"]) + 1
        self.assertGreaterEqual(count, 3)
        self.assertEqual(count, len(doc["segments"]) + 1)
        self.assertEqual(tables["groups"], 0)
        self.assertEqual(tables["names"], {p + 1: t for p, t in enumerate(doc.get("page_names", [])) if t})
        group = self.groups[doc["group"]]
        folder = os.path.join(self.archive, "data", group["storage_id"], "DOC")
        segments = [data[tables["length"]:]]
        for offset, length, name in tables["entries"]:
            self.assertEqual(len(name), 2)
            # The client's object name: the first object's first three characters and the two letters.
            with open(os.path.join(folder, doc["object"][:3] + name), "rb") as f:
                stored = f.read()
            self.assertEqual((offset, length), (0, len(stored)))
            segments.append(zlib.decompress(stored) if letter == "O" else stored)
        for k, segment in enumerate(segments):
            part = doc if k == 0 else doc["segments"][k - 1]
            self.assertEqual(segment, self.source_bytes(part), f"segment {k + 1}")
            expected = per_object if k < count - 1 else total - (count - 1) * per_object
            if doc["values"]["KIND"] == "LINE":
                lines = segment.decode("ascii").splitlines()
                self.assertEqual(sum(1 for line in lines if line.startswith("1")), expected)
                self.assertEqual(len(lines), expected * 60, "pages of 60 lines")
            else:
                # Cut at page boundaries: the pages of the segment, whole.
                names = [f for f, _ in structured_fields(self, segment)]
                self.assertEqual((names.count("D3A8AF"), names.count("D3A9AF")), (expected, expected))
        if doc["values"]["KIND"] == "AFP":
            check_afp(self, b"".join(segments))

    def test_pdf(self):
        (n, doc), = self.documents("PDF")
        check_pdf(self, self.stored[n]["data"], pages=2)

    def test_tiff(self):
        (n, doc), = self.documents("TIFF")
        check_tiff(self, self.stored[n]["data"], pages=3)

    def test_afp_documents_and_resource_group(self):
        letter, form, paged = self.documents("AFP")
        names, texts = check_afp(self, self.stored[letter[0]]["data"])
        self.assertIn("your order 4711 has been shipped.", texts)
        self.assertEqual(names.count("D3A8AF"), 2)
        names, texts = check_afp(self, self.stored[form[0]]["data"])
        self.assertIn("D3AFD8", names, "the form includes its overlay")
        self.assertIn("INVOICE 4711", texts)

        # The form and the paged run name resource 1: a storage-node row and a zlib resource object.
        self.assertEqual((form[1]["resource"], paged[1]["resource"]), (1, 1))
        group = self.groups["DOCAFP"]
        nodes = profile_sections(os.path.join(self.archive, "table", "res.tbl"))
        self.assertEqual(nodes[f"{group['agid']}|1"], {"PRI_NID": "1", "SEC_NID": "0", "RID": "1", "COMP_TYPE": "O"})
        with open(os.path.join(self.archive, "data", group["storage_id"], "RES", "1"), "rb") as f:
            resource = zlib.decompress(f.read())
        self.assertEqual(resource, self.source_bytes(group["resources"][0]))
        fields = structured_fields(self, resource)
        self.assertEqual((fields[0][0], fields[-1][0]), ("D3A8C6", "D3A9C6"), "BRG ... ERG")
        self.assertIn(("D3A8DF", "O1INVFRM".encode("cp500")), fields, "the overlay the form includes")

    def test_notes_as_the_server_keeps_them(self):
        folder = os.path.join(self.archive, "note")
        table = profile_sections(os.path.join(folder, "note.tbl"))
        annotated = [n for n, d in enumerate(self.description["documents"]) if d.get("notes")]
        self.assertEqual(len(annotated), len(self.description["documents"]), "every document has notes")
        self.assertEqual(int(table["NOTES"]["NOTE"]), len(annotated))
        users = {u["name"]: u["uid"] for u in self.description["users"]}
        for n in annotated:
            doc = self.description["documents"][n]
            row = table[self.stored[n]["row"]]
            self.assertEqual(int(row["NOTE"]), len(doc["notes"]))
            with open(os.path.join(folder, row["FILE"]), "rb") as f:
                data = f.read()
            records, at = [], 0
            while at < len(data):
                length, uid = struct.unpack_from("<II", data, at)
                name = data[at + 8:at + 29].split(b"\0")[0].decode("latin-1")
                flags, created = struct.unpack_from("<Iq", data, at + 29)
                page = struct.unpack_from("<i", data, at + 41)[0]
                colour = data[at + 53]
                text_length = struct.unpack_from("<I", data, at + 85)[0]
                self.assertEqual(length, 91 + text_length, "no attached data")
                text = data[at + 89:at + 89 + text_length]
                self.assertEqual(text[-1:], b"\0")
                self.assertEqual(data[at + 89 + text_length:at + 91 + text_length], b"\0\0")
                records.append({"user": name, "uid": uid, "text": text[:-1].decode("latin-1"),
                                "public": flags == 6, "private": flags == 5, "created": created,
                                "page": page, "colour": colour})
                at += length
            self.assertEqual(at, len(data), "lengths agree with the bytes")
            for note, record in zip(doc["notes"], records, strict=True):
                self.assertEqual((record["user"], record["uid"], record["text"], record["page"], record["colour"]),
                                 (note["user"], users[note["user"]], note["text"], note["page"], note["colour"]))
                self.assertTrue(record["public"] if note["public"] else record["private"])
                when = datetime.datetime.strptime(note["created"], "%Y-%m-%d %H:%M:%S")
                self.assertEqual(record["created"], int(when.replace(tzinfo=datetime.timezone.utc).timestamp()))


if __name__ == "__main__":
    BUILDER = sys.argv.pop(1)
    unittest.main()
