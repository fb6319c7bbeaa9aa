"""The demo's folder Documents: one application group per kind of document the gateway
serves (line data, AFP, PDF, TIFF), each document with a few notes, searchable by title,
kind and date. Writes the data files into DIR/data and returns the description's parts.
"""

import datetime
import os

import demo_formats as fmt

EPOCH = datetime.date(1970, 1, 1)
LINES_PER_PAGE = 60


def days(date):
    """The archive's day number: 1 January 1970 is day 1."""
    return (date - EPOCH).days + 1


# The line-data application's parameter text: ASCII records ending in a line feed, ANSI
# carriage control in the first byte, pages named by the page tables.
LINE_PARAMETERS = ["[@_FIXED_@]", "CC=ANSI", "RECFM=D", "CDPG=819", "[@_PageIdentifier_@]", "PageId=1"]


def _group(agid, name, description, storage_id, appid, app_name, data_type, objects, resources=None,
           parameters=None):
    group = {
        "agid": agid, "name": name, "description": description, "storage_id": storage_id,
        "cache_days": 30, "annotation_type": 1,
        "fields": [
            {"name": "TITLE", "type": "S", "length": 60, "string_type": "V"},
            {"name": "KIND", "type": "S", "length": 10, "case": "U"},
            {"name": "DOCDATE", "type": "I", "mask": 4},
        ],
        "applications": [{"appid": appid, "name": app_name, "description": description, "data_type": data_type,
                          "compression": "O"}],
        # Retrieve (0x01), update index values (0x08) and print (0x10: the hit list offers
        # the print boxes).
        "permissions": [{"who": "STAFF", "documents": 0x19, "annotations": 7}],
        "objects": objects,
    }
    if resources:
        group["resources"] = resources
    if parameters:
        group["applications"][0]["parameters"] = parameters
    return group


# Dates of the demo's folders are typed and shown with four-digit years.
DATE_FORMATS = {"DATEFMT": "%Y-%m-%d", "DSPL_DATEFMT": "%Y-%m-%d"}


def search_row(order, ops, default_op, **keys):
    """A folder field's user row for every user: its place in the form and the hit list,
    its operators and the default one, and further keys."""
    return {"*": {"QUERY_ORDER": order, "DSPL_ORDER": order, "OPS": ops, "DEF_OP": default_op, **keys}}


def _folder(group_names):
    maps = {field: {g: field for g in group_names} for field in ("TITLE", "KIND", "DOCDATE")}
    return {
        "fid": 4, "name": "Documents", "description": "Documents of every kind, with notes", "annotation_search": 1,
        "application_groups": group_names,
        "fields": [
            # Operator bits: = 0x1, <> 0x2, LIKE 0x100, BETWEEN 0x400, <, <=, >, >= 0x4..0x20.
            {"name": "Title", "type": "S", "maps": maps["TITLE"], "users": search_row(1, 0x103, 0x100)},
            {"name": "Kind", "type": "S", "maps": maps["KIND"], "users": search_row(2, 0x3, 0x1)},
            {"name": "Date", "type": "I", "qual": 1, "maps": maps["DOCDATE"],
             "users": search_row(3, 0x43F, 0x400, **DATE_FORMATS)},
        ],
        "permissions": [{"who": "STAFF", "permissions": 1, "hits": 500}],
    }


def _write(out, name, data):
    with open(os.path.join(out, "data", name), "wb") as f:
        f.write(data)
    return "data/" + name


def _document(group, obj, file, title, kind, date, notes, **extra):
    doc = {"group": group, "object": obj, "file": file,
           "values": {"TITLE": title, "KIND": kind, "DOCDATE": date.isoformat()}, "notes": notes}
    doc.update(extra)
    return doc


def _note(user, text, created, page=1, public=True, colour=0):
    return {"user": user, "text": text, "created": created, "page": page, "public": public, "colour": colour}


def documents_folder(out):
    """Writes the data files into out/data; returns (application groups, folder,
    documents) of the folder Documents."""
    os.makedirs(os.path.join(out, "data"), exist_ok=True)
    documents = []

    # Line data: one plain object, one zlib object, and a paged document of three
    # segments (three, three and two pages of 60 lines) with named pages.
    plain = _write(out, "doc-line-plain.txt", fmt.line_pages("QUARTERLY STOCK REPORT", 2, LINES_PER_PAGE))
    packed = _write(out, "doc-line-zlib.txt", fmt.line_pages("BRANCH SALES SUMMARY", 3, LINES_PER_PAGE))
    parts = [(1, 3), (4, 3), (7, 2)]
    segment_files = [_write(out, f"doc-line-part{n + 1}.txt",
                            fmt.line_pages("ANNUAL LEDGER", count, LINES_PER_PAGE, first))
                     for n, (first, count) in enumerate(parts)]
    documents.append(_document(
        "DOCLINE", "1FAA", plain, "Quarterly stock report", "LINE", datetime.date(2024, 3, 31),
        [_note("ALICE", "Checked against the warehouse count.", "2024-04-02 09:15:00"),
         _note("BOB", "Page 2 lists the returns separately.", "2024-04-03 14:40:00", page=2)]))
    documents.append(_document(
        "DOCLINE", "2FAA", packed, "Branch sales summary", "LINE", datetime.date(2024, 4, 30),
        [_note("BOB", "Northern branch figures are provisional.", "2024-05-02 08:00:00", public=False),
         _note("ALICE", "Final figures follow in June.", "2024-05-06 16:30:00", colour=2)]))
    documents.append(_document(
        "DOCLINE", "3FAA", segment_files[0], "Annual ledger", "LINE", datetime.date(2024, 12, 31),
        [_note("ALICE", "Ledger closed; audit copy sent.", "2025-01-10 11:00:00", page=1),
         _note("BOB", "Segment three holds the year-end pages.", "2025-01-11 10:20:00", page=7)],
        segments=[{"file": f} for f in segment_files[1:]], pages=8, segment_pages=3,
        page_names=[f"Ledger page {n}" for n in range(1, 9)]))
    line_group = _group(400, "DOCLINE", "Line-data reports", "DOCLIN", 400, "LINEAPP", "L",
                        [{"name": "1FAA", "compression": "N"}, {"name": "2FAA", "compression": "O"},
                         {"name": "3FAA", "compression": "O"}],
                        parameters=LINE_PARAMETERS)

    # AFP: a letter, a form page that includes an overlay of the group's resource, and a
    # paged run of such pages.
    letter = _write(out, "doc-letter.afp", fmt.afp_document("LETTER01", [
        [(1440, 1440, "DEMO TRADING LTD"), (1440, 1800, "1 HARBOUR ROAD"),
         (1440, 2880, "Dear customer,"), (1440, 3240, "your order 4711 has been shipped.")],
        [(1440, 1440, "Terms and conditions"), (1440, 1800, "Payment within 30 days.")],
    ]))
    form = _write(out, "doc-form.afp", fmt.afp_document("FORM0001", [
        [(2880, 2160, "ACME CORPORATION"), (2880, 2520, "INVOICE 4711"), (8640, 2520, "EUR 120.00")],
    ], overlay="O1INVFRM"))
    resources = _write(out, "res-forms.afp", fmt.afp_resource_group("FORMSRG1", "O1INVFRM", [
        (720, 720, "DEMO TRADING LTD - INVOICE"), (720, 14400, "Thank you for your business."),
    ]))
    # A paged AFP document with the overlay of the group's resource on every page: three
    # segments (two, two and one page) cut from one file at page boundaries.
    run_pages = [[(2880, 2160, "ACME CORPORATION"), (2880, 2520, f"INVOICE {4720 + n}"),
                  (8640, 2520, f"EUR {100 + 15 * n}.00")] for n in range(5)]
    run_bytes = fmt.afp_document("RUN00001", run_pages, overlay="O1INVFRM")
    run = _write(out, "doc-invoice-run.afp", run_bytes)
    edges = [0] + fmt.afp_page_splits(run_bytes, 2) + [len(run_bytes)]
    run_parts = [{"file": run, "offset": a, "length": b - a} for a, b in zip(edges, edges[1:])]
    documents.append(_document(
        "DOCAFP", "1FAA", letter, "Shipping letter", "AFP", datetime.date(2024, 6, 14),
        [_note("ALICE", "Sent by post and by mail.", "2024-06-14 12:00:00")]))
    documents.append(_document(
        "DOCAFP", "1FAA", form, "Invoice form with overlay", "AFP", datetime.date(2024, 6, 20),
        [_note("BOB", "The overlay comes from the forms resource.", "2024-06-21 09:30:00"),
         _note("ALICE", "Reprint requested by the customer.", "2024-06-25 15:45:00", colour=3)],
        resource=1))
    documents.append(_document(
        "DOCAFP", "2FAA", run, "Paged invoice run", "AFP", datetime.date(2024, 9, 30),
        [_note("ALICE", "Five invoices of the September run.", "2024-10-01 10:00:00", page=3)],
        offset=0, length=run_parts[0]["length"], resource=1, segments=run_parts[1:], pages=5,
        segment_pages=2))
    afp_group = _group(401, "DOCAFP", "AFP print documents", "DOCAFP", 401, "AFPAPP", "A",
                       [{"name": "1FAA", "compression": "N"}, {"name": "2FAA", "compression": "O"}],
                       [{"id": 1, "file": resources, "compression": "O"}])

    # PDF and TIFF.
    pdf = _write(out, "doc-brochure.pdf", fmt.pdf_document([
        ["Demo Trading Ltd", "Product brochure 2024", "", "Timber, freight and printing (since 1921)."],
        ["Contact", "1 Harbour Road", "Telephone 555-0101"],
    ]))
    tiff = _write(out, "doc-scan.tif", fmt.tiff_document([
        fmt.tiff_grey_page(96, 64), fmt.tiff_bilevel_page(96, 64), fmt.tiff_bilevel_page(40, 30)]))
    documents.append(_document(
        "DOCPDF", "1FAA", pdf, "Product brochure", "PDF", datetime.date(2024, 2, 1),
        [_note("ALICE", "Second page has the new telephone number.", "2024-02-02 10:00:00", page=2),
         _note("BOB", "Print 200 copies.", "2024-02-05 13:10:00", public=False)]))
    documents.append(_document(
        "DOCTIFF", "1FAA", tiff, "Scanned delivery note", "TIFF", datetime.date(2024, 7, 8),
        [_note("BOB", "Signature on page 2.", "2024-07-08 17:05:00", page=2),
         _note("ALICE", "Original filed in the cabinet.", "2024-07-09 08:45:00")]))
    pdf_group = _group(402, "DOCPDF", "PDF documents", "DOCPDF", 402, "PDFAPP", "R",
                       [{"name": "1FAA", "compression": "N"}])
    tiff_group = _group(403, "DOCTIFF", "Scanned images", "DOCTIF", 403, "TIFFAPP", "T",
                        [{"name": "1FAA", "compression": "O"}])

    groups = [line_group, afp_group, pdf_group, tiff_group]
    return groups, _folder([g["name"] for g in groups]), documents
