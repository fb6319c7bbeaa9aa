"""Small, valid documents of every kind the gateway serves, written byte by byte: ANSI
line data, PDF, TIFF and MO:DCA (AFP) documents and resource groups.

Only the standard library; the same arguments always give the same bytes.
"""

import struct

# ---------------------------------------------------------------- line data


def line_pages(title, pages, lines_per_page=60, first_page=1):
    """ASCII line data, pages of lines_per_page lines: '1' starts a page, ' ' the next line."""
    out = []
    for page in range(first_page, first_page + pages):
        out.append(f"1{title:<50}PAGE {page:>4}")
        out.append(" ")
        for line in range(3, lines_per_page + 1):
            out.append(f" {page:>4}.{line:02d}  {'ITEM ' + str((page * 97 + line * 13) % 1000):<20}"
                       f"{(page * 1000 + line * 37) % 100000 / 100.0:>12.2f}")
    return ("\n".join(out) + "\n").encode("ascii")


# ---------------------------------------------------------------- PDF


def _pdf_text(text):
    return "(" + text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)") + ")"


def pdf_document(pages):
    """A PDF 1.4 file: catalog, page tree, one page per entry of pages (a list of text
    lines) in Helvetica, and a cross-reference table whose offsets point at each object."""
    count = len(pages)
    font = 3 + 2 * count
    kids = " ".join(f"{3 + 2 * i} 0 R" for i in range(count))
    bodies = [b"<< /Type /Catalog /Pages 2 0 R >>",
              f"<< /Type /Pages /Kids [{kids}] /Count {count} >>".encode("ascii")]
    for i, lines in enumerate(pages):
        bodies.append((f"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
                       f"/Resources << /Font << /F1 {font} 0 R >> >> /Contents {4 + 2 * i} 0 R >>").encode("ascii"))
        ops = ["BT", "/F1 14 Tf", "72 720 Td", "18 TL"]
        for line in lines:
            ops.append(f"{_pdf_text(line)} Tj T*")
        ops.append("ET")
        stream = "\n".join(ops).encode("latin-1")
        bodies.append(b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"\nendstream")
    bodies.append(b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>")
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(bodies, start=1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n" % (len(bodies) + 1)
    out += b"0000000000 65535 f \n"
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(bodies) + 1, xref)
    return bytes(out)


# ---------------------------------------------------------------- TIFF


def packbits(data):
    """PackBits: runs of 2 to 128 equal bytes as (1 - n, byte), other bytes as literal
    blocks of at most 128 (n - 1, bytes)."""
    out = bytearray()
    i, n = 0, len(data)
    while i < n:
        j = i + 1
        while j < n and j - i < 128 and data[j] == data[i]:
            j += 1
        if j - i >= 2:
            out += bytes([(257 - (j - i)) & 0xFF, data[i]])
            i = j
            continue
        start = i
        i += 1
        # A literal block ends where a run of two or more begins.
        while i < n and i - start < 128 and not (i + 1 < n and data[i + 1] == data[i]):
            i += 1
        out += bytes([i - start - 1]) + data[start:i]
    return bytes(out)


def tiff_grey_page(width, height):
    """An 8-bit grey page (BlackIsZero): a diagonal gradient with a dark frame."""
    rows = []
    for y in range(height):
        row = bytearray((x * 4 + y * 2) & 0xFF for x in range(width))
        if y in (0, height - 1):
            row = bytearray(width)
        row[0] = row[-1] = 0
        rows.append(bytes(row))
    return {"width": width, "height": height, "bits": 8, "photometric": 1, "compression": 1,
            "strip": b"".join(rows)}


def tiff_bilevel_page(width, height):
    """A bilevel page (WhiteIsZero: 1 is black), PackBits rows: a frame and a cross."""
    data = bytearray()
    row_bytes = (width + 7) // 8
    for y in range(height):
        bits = [1 if x in (0, width - 1) or y in (0, height - 1) or x == y * width // height else 0
                for x in range(width)]
        row = bytearray(row_bytes)
        for x, bit in enumerate(bits):
            if bit:
                row[x // 8] |= 0x80 >> (x % 8)
        data += packbits(bytes(row))  # PackBits rows are packed one by one
    return {"width": width, "height": height, "bits": 1, "photometric": 0, "compression": 32773,
            "strip": bytes(data)}


def tiff_document(pages):
    """A little-endian TIFF: header, then per page its strip, its resolutions and its IFD
    (tags in ascending order, one strip), each IFD naming the next; the last names 0."""
    out = bytearray(b"II*\x00\x00\x00\x00\x00")
    previous_link = 4
    for page in pages:
        strip_at = len(out)
        out += page["strip"]
        if len(out) % 2:
            out += b"\x00"
        resolution_at = len(out)
        out += struct.pack("<IIII", 200, 1, 200, 1)
        entries = [
            (254, 4, 1, 2),  # NewSubfileType: a page of a multi-page document
            (256, 3, 1, page["width"]),
            (257, 3, 1, page["height"]),
            (258, 3, 1, page["bits"]),
            (259, 3, 1, page["compression"]),
            (262, 3, 1, page["photometric"]),
            (273, 4, 1, strip_at),
            (277, 3, 1, 1),
            (278, 3, 1, page["height"]),
            (279, 4, 1, len(page["strip"])),
            (282, 5, 1, resolution_at),
            (283, 5, 1, resolution_at + 8),
            (296, 3, 1, 2),
        ]
        ifd_at = len(out)
        struct.pack_into("<I", out, previous_link, ifd_at)
        out += struct.pack("<H", len(entries))
        for tag, kind, count, value in entries:
            packed = struct.pack("<H", value) + b"\x00\x00" if kind == 3 else struct.pack("<I", value)
            out += struct.pack("<HHI", tag, kind, count) + packed
        previous_link = len(out)
        out += b"\x00\x00\x00\x00"
    return bytes(out)


# ---------------------------------------------------------------- MO:DCA (AFP)

BDT, EDT = b"\xd3\xa8\xa8", b"\xd3\xa9\xa8"
BPG, EPG = b"\xd3\xa8\xaf", b"\xd3\xa9\xaf"
BAG, EAG = b"\xd3\xa8\xc9", b"\xd3\xa9\xc9"
PGD, PTD = b"\xd3\xa6\xaf", b"\xd3\xb1\x9b"
BPT, EPT, PTX = b"\xd3\xa8\x9b", b"\xd3\xa9\x9b", b"\xd3\xee\x9b"
BRG, ERG = b"\xd3\xa8\xc6", b"\xd3\xa9\xc6"
BR, ER = b"\xd3\xa8\xce", b"\xd3\xa9\xce"
BMO, EMO = b"\xd3\xa8\xdf", b"\xd3\xa9\xdf"
IPO = b"\xd3\xaf\xd8"
UNITS = 1440  # per inch, given per ten inches


def structured_field(sf_id, data=b""):
    """0x5A, the length (the field's bytes after 0x5A), the 3-byte identifier, the flag
    byte and two reserved bytes, then the data."""
    return b"\x5a" + struct.pack(">H", 8 + len(data)) + sf_id + b"\x00\x00\x00" + data


def afp_name(text):
    return text.ljust(8)[:8].encode("cp500")


def presentation_text(runs):
    """PTOCA: the escape 0x2BD3, then chained control sequences; each run moves to its
    baseline (AMB) and inline position (AMI) and writes its text (TRN, EBCDIC cp500). The
    last sequence is unchained."""
    sequences = []
    for x, y, text in runs:
        sequences.append((0xD3, struct.pack(">H", y)))
        sequences.append((0xC7, struct.pack(">H", x)))
        sequences.append((0xDB, text.encode("cp500")))
    out = bytearray(b"\x2b\xd3")
    for n, (kind, data) in enumerate(sequences):
        if n == len(sequences) - 1:
            kind &= 0xFE
        out += bytes([2 + len(data), kind]) + data
    return bytes(out)


def _environment(width_in, height_in):
    x, y = int(width_in * UNITS), int(height_in * UNITS)
    pgd = struct.pack(">BBHH", 0, 0, UNITS * 10, UNITS * 10) + x.to_bytes(3, "big") + y.to_bytes(3, "big") + b"\0\0\0"
    ptd = struct.pack(">BBHH", 0, 0, UNITS * 10, UNITS * 10) + x.to_bytes(3, "big") + y.to_bytes(3, "big") + b"\0\0"
    return (structured_field(BAG) + structured_field(PGD, pgd) + structured_field(PTD, ptd) +
            structured_field(EAG))


def afp_document(name, pages, overlay=None):
    """A document: BDT, per page BPG, the active environment (PGD, PTD), optionally an
    included page overlay (IPO), the presentation text (BPT, PTX, EPT) and EPG; EDT."""
    out = bytearray(structured_field(BDT, afp_name(name)))
    for n, runs in enumerate(pages, start=1):
        page = afp_name(f"P{n:07d}")
        out += structured_field(BPG, page) + _environment(8.5, 11)
        if overlay:
            out += structured_field(IPO, afp_name(overlay) + (0).to_bytes(3, "big") + (0).to_bytes(3, "big"))
        out += structured_field(BPT) + structured_field(PTX, presentation_text(runs)) + structured_field(EPT)
        out += structured_field(EPG, page)
    out += structured_field(EDT, afp_name(name))
    return bytes(out)


def afp_page_splits(document, pages_per_part):
    """Where a document of afp_document's form is cut into parts of pages_per_part pages:
    the offsets of the BPG that begins each part after the first (the first part keeps the
    BDT, the last the EDT)."""
    cuts, at, page = [], 0, 0
    while at < len(document):
        length = struct.unpack_from(">H", document, at + 1)[0]
        if document[at + 3:at + 6] == BPG:
            if page and page % pages_per_part == 0:
                cuts.append(at)
            page += 1
        at += 1 + length
    return cuts


def afp_resource_group(name, overlay, runs):
    """A resource group (BRG/ERG) holding one overlay resource (BR/ER around BMO/EMO)
    with its environment and text."""
    body = (structured_field(BMO, afp_name(overlay)) + _environment(8.5, 11) + structured_field(BPT) +
            structured_field(PTX, presentation_text(runs)) + structured_field(EPT) +
            structured_field(EMO, afp_name(overlay)))
    return (structured_field(BRG, afp_name(name)) + structured_field(BR, afp_name(overlay)) + body +
            structured_field(ER, afp_name(overlay)) + structured_field(ERG, afp_name(name)))
