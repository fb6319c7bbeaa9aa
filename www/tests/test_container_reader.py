"""The container reader against containers made here field by field: what it gives back,
and the broken containers it must refuse."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import container_reader as reader  # noqa: E402


def info_block(url=b"/q?_seg=", names=(b"One", b"", b"Three"), groups=((b"Acct", ((1, 1, b"A"), (2, 3, b"B"))),),
               segments=(2, 2, 1)):
    count, per, last = segments
    total = (count - 1) * per + last
    out = struct.pack(">IBIIIIII", total, 1 if names else 0, len(groups), count, per, last,
                      len(url) + 1 if url is not None else 0, 0)
    if url is not None:
        out += url + b"\0"
    for name in names:
        out += name + b"\0"
    for name, values in groups:
        out += name + b"\0" + struct.pack(">I", len(values))
        for kind, page, text in values:
            out += struct.pack(">II", kind, page) + text + b"\0"
    return out


def container(segment=0, info=b"", info_letter=b"N", resources=b"", resource_letter=b"N", document=b"",
              document_letter=b"N", doc_type=b"A", line_run=None):
    out = b"VOD#" + struct.pack(">Ii", 2000, segment)
    out += (info_letter if info else b"\0") + resource_letter + document_letter
    out += struct.pack(">II", len(info), len(resources))
    out += doc_type + b"9" + struct.pack(">Iff", 150, 8.5, 11.0) + b"MBW"
    if doc_type == b"L":
        out += line_run if line_run is not None else struct.pack(">I", 37) + b"1V" + struct.pack(
            ">I", 133) + b"A\x01" + struct.pack(">III", 500, 2, 3) + b"0D0A".ljust(17, b"\0")
    return out + info + resources + document


class ReadsContainers(unittest.TestCase):
    def test_full_container_with_information(self):
        info = info_block()
        got = reader.read_container(container(info=info, resources=b"RES", document=b"DOC"))
        self.assertEqual(got["kind"], "full")
        self.assertEqual((got["number"], got["orientation"], got["page_width"]), (150, "9", 8.5))
        self.assertEqual(got["attributes"], ["M", "B", "W"])
        self.assertEqual(got["info_offset"], 40)
        self.assertEqual(got["document_offset"], 40 + len(info) + 3)
        self.assertEqual(got["info"]["page_names"], ["One", "", "Three"])
        self.assertEqual(got["info"]["groups"][0]["values"][1], {"kind": 2, "page": 3, "text": "B"})
        self.assertEqual(got["info"]["segment_url"], "/q?_seg=")
        self.assertIsNone(got["info"]["form_data"])
        self.assertEqual((got["resources_expanded"], got["document_expanded"]), (b"RES", b"DOC"))

    def test_line_data_run_moves_the_pieces_to_81(self):
        got = reader.read_container(container(doc_type=b"L", info=info_block(names=()), document=b"x"))
        self.assertEqual(got["info_offset"], 81)
        self.assertEqual(got["line_data"]["record_delimiter"], "0D0A")
        self.assertEqual(got["line_data"]["code_page"], 500)
        self.assertEqual(got["info"]["page_names"], [])

    def test_longer_line_data_block_is_skipped_by_its_length(self):
        run = struct.pack(">I", 41) + b"NF" + struct.pack(">I", 80) + b"N\0" + struct.pack(
            ">III", 37, 0, 0) + b"0A".ljust(17, b"\0") + b"more"
        got = reader.read_container(container(doc_type=b"L", line_run=run, document=b"d"))
        self.assertEqual(got["info_offset"], 85)
        self.assertEqual(got["document_expanded"], b"d")

    def test_zlib_pieces_expand(self):
        info = info_block()
        got = reader.read_container(container(info=zlib.compress(info), info_letter=b"O",
                                              document=zlib.compress(b"text" * 100), document_letter=b"O"))
        self.assertEqual(got["info"]["total_pages"], 3)
        self.assertEqual(got["document_expanded"], b"text" * 100)

    @unittest.skipUnless(shutil.which("compress") and shutil.which("gzip"), "needs compress and gzip")
    def test_own_lzw_piece_expands_through_gzip(self):
        plain = b"abcabcabcabd" * 200
        unix = subprocess.run(["compress", "-b", "12", "-c"], input=plain, capture_output=True, check=True).stdout
        own = b"\xf1\xd9" + unix[2:]
        got = reader.read_container(container(document=own, document_letter=b"L"))
        self.assertEqual(got["document_expanded"], plain)

    def test_segment_reply(self):
        body = b"VOD#" + struct.pack(">Ii", 2000, 3) + zlib.compress(b"segment")
        got = reader.read_container(body, "O")
        self.assertEqual((got["kind"], got["segment"], got["segment_expanded"]), ("segment", 3, b"segment"))

    def test_cli_prints_json(self):
        with tempfile.NamedTemporaryFile(suffix=".bin", delete=False) as f:
            f.write(container(segment=-1, document=b"D"))
        try:
            out = subprocess.run([sys.executable, reader.__file__, f.name], capture_output=True, check=True).stdout
            self.assertIn(b'"segment": -1', out)
            self.assertIn(b'"document_expanded": {"hex": "44", "length": 1}', out)
        finally:
            os.unlink(f.name)


class RefusesBrokenContainers(unittest.TestCase):
    def refused(self, body, letter=None):
        with self.assertRaises(reader.ContainerError):
            reader.read_container(body, letter)

    def test_broken_leads_and_headers(self):
        good = container(segment=-1, document=b"D")
        self.refused(b"VOX#" + good[4:])
        self.refused(good[:30])
        self.refused(container(segment=-1, info=info_block()))
        self.refused(container(doc_type=b"L", line_run=struct.pack(">I", 36) + b"\0" * 36))
        self.refused(container(doc_type=b"L", line_run=struct.pack(">I", 37) + b"N" * 37))

    def test_piece_lengths_beyond_the_body(self):
        body = bytearray(container(info=info_block(), resources=b"RES"))
        struct.pack_into(">I", body, 19, 4000)
        self.refused(bytes(body))
        body = bytearray(container(info=info_block()))
        struct.pack_into(">I", body, 15, len(body))
        self.refused(bytes(body))

    def test_broken_information_blocks(self):
        block = info_block()
        cases = {
            "counts do not add up": block[:9] + struct.pack(">I", 5) + block[13:],
            "url length past its zero byte": block[:21] + struct.pack(">I", 3) + block[25:],
            "cut inside the groups": block[:-3],
            "bytes after the last group": block + b"x",
            "kind above 25": info_block(groups=((b"G", ((26, 1, b"v"),)),)),
            "value count beyond the block": info_block(groups=((b"G", ()),))[:-4] + struct.pack(">I", 1000),
            "page-name flag 2": block[:4] + b"\x02" + block[5:],
        }
        for name, broken in cases.items():
            with self.subTest(name):
                self.refused(container(info=broken))

    def test_letters_must_match_their_pieces(self):
        self.refused(container(document=b"not zlib", document_letter=b"O"))
        self.refused(container(document=b"no magic", document_letter=b"Z"))
        self.refused(container(document=b"x", document_letter=b"?"))
        body = bytearray(container(segment=0, document=b"d"))
        body[12] = ord("N")  # a letter without a piece
        self.refused(bytes(body))


if __name__ == "__main__":
    unittest.main()
