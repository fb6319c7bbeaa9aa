#!/usr/bin/env python3
"""Writes the description of the demo archive and its line-data files.

    tools/demo_archive.py --out DIR [--seed N] [--statements N] [--ebcdic] [--documents-only]

DIR receives demo.json (the archive builder's description, docs/archive-builder.md) and
its data files in data/. The users, groups and folders Invoices and Payroll are those of
the sample archive (testdata/archive), except that every user the folders list searches
them and dates read and show with four-digit years; folder Statements holds the group
STATEMENTS (a text, a date, an integer and a decimal field) with monthly account
statements as ASCII line data with ANSI carriage control (EBCDIC, code page 500, with
--ebcdic), one stored object per month, alternately plain ('N') and zlib ('O'); folder
Documents holds documents of every kind with notes (demo_documents.py). With --documents-only the description holds
the users and groups and folder Documents alone. The same seed always gives the same
files.
"""

import argparse
import datetime
import json
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo_documents  # noqa: E402
from demo_documents import DATE_FORMATS, search_row  # noqa: E402

EPOCH = datetime.date(1970, 1, 1)
FIRST_MONTH = datetime.date(2023, 1, 1)
ACCOUNTS = 400  # statements a month

WORDS_A = ["NORTHERN", "BLUE", "SILVER", "GRAND", "COASTAL", "EASTERN", "GOLDEN", "MAPLE",
           "RIVERSIDE", "SUMMIT", "HARBOUR", "OAKWOOD", "PIONEER", "VALLEY", "CRESCENT", "ORCHARD"]
WORDS_B = ["TIMBER", "FREIGHT", "BAKERY", "TEXTILES", "ENGINEERING", "FARMS", "PRINTING",
           "LOGISTICS", "MOTORS", "FOODS", "CERAMICS", "HARDWARE", "DAIRY", "GLASSWORKS"]
WORDS_C = ["LTD", "AND SONS", "CO", "GROUP", "TRADING", "PARTNERS", "WORKS", "SUPPLY"]
ENTRIES = [("PAYMENT RECEIVED", -1), ("INVOICE", 1), ("CREDIT NOTE", -1), ("SERVICE CHARGE", 1),
           ("INTEREST", 1), ("REFUND", -1), ("DELIVERY", 1)]


def days(date):
    """The archive's day number of a date: 1 January 1970 is day 1 (0 means no date)."""
    return (date - EPOCH).days + 1


def month_start(index):
    year = FIRST_MONTH.year + (FIRST_MONTH.month - 1 + index) // 12
    month = (FIRST_MONTH.month - 1 + index) % 12 + 1
    return datetime.date(year, month, 1)


def month_end(start):
    following = datetime.date(start.year + start.month // 12, start.month % 12 + 1, 1)
    return following - datetime.timedelta(days=1)


def customers(rng):
    names = set()
    out = []
    while len(out) < ACCOUNTS:
        name = f"{rng.choice(WORDS_A)} {rng.choice(WORDS_B)} {rng.choice(WORDS_C)}"
        if name in names:
            name = f"{name} {len(out) + 1}"
        names.add(name)
        out.append(name)
    return out


def statement(rng, account, customer, start, end, opening):
    """One statement: lines with an ANSI carriage-control byte first ('1' new page,
    ' ' next line, '0' one blank line before). Returns (text, closing balance)."""
    lines = [
        "1" + "DEMO TRADING BANK".center(60) + "STATEMENT OF ACCOUNT",
        " ",
        f" CUSTOMER: {customer:<48}ACCOUNT: {account}",
        f" PERIOD:   {start.isoformat()} TO {end.isoformat()}".ljust(59) + "PAGE: 1",
        f"0{'DATE':<12}{'DESCRIPTION':<30}{'AMOUNT':>12}{'BALANCE':>16}",
        f" {start.isoformat()}  {'OPENING BALANCE':<30}{'':>12}{opening:>16.2f}",
    ]
    balance = opening
    day = start
    for _ in range(rng.randint(3, 12)):
        day = min(end, day + datetime.timedelta(days=rng.randint(0, 4)))
        text, sign = rng.choice(ENTRIES)
        amount = sign * rng.randint(500, 250000) / 100.0
        balance = round(balance + amount, 2)
        lines.append(f" {day.isoformat()}  {text:<30}{amount:>12.2f}{balance:>16.2f}")
    lines.append(f"0{'':<12}{'CLOSING BALANCE':<30}{'':>12}{balance:>16.2f}")
    return "\n".join(lines) + "\n", balance


def sample_groups():
    """Users, groups, the groups INVOICES, PAYROLL and System Log and folders Invoices and
    Payroll as the sample archive has them, with rows for every user (the sample archive
    has BOB's alone: ALICE would see the folders without a criterion). BOB keeps his own
    keys, the others replacing those of every user."""
    users = [
        {"name": "ALICE", "uid": 1, "password": "wonder1", "admin": 4, "groups": ["ADMINS", "STAFF"],
         "info": {"DESCRIPTION": "Archive administrator", "NAME": "Alice Archer",
                  "COMPANY": "Demo Trading", "TITLE": "Administrator", "DEPT": "IT", "PHONE": "555-0101"}},
        {"name": "BOB", "uid": 2, "password": "builder2", "timeout": 900, "groups": ["STAFF"],
         "info": {"DESCRIPTION": "Accounts clerk", "NAME": "Bob Baker", "COMPANY": "Demo Trading",
                  "TITLE": "Clerk", "DEPT": "Accounts"}},
    ]
    groups = [
        {"gid": 10, "name": "ADMINS", "description": "Archive administrators", "owner": "ALICE"},
        {"gid": 11, "name": "STAFF", "description": "All staff", "owner": "ALICE"},
    ]
    invoices = {
        "agid": 100, "name": "INVOICES", "description": "Customer invoices", "storage_id": "INVAG",
        "cache_days": 30, "annotation_type": 1,
        "fields": [
            {"name": "INVNO", "type": "S", "length": 10, "mask": 32, "case": "U", "string_type": "F"},
            {"name": "CUSTOMER", "type": "S", "length": 40, "string_type": "V"},
            {"name": "INVDATE", "type": "I", "mask": 4},
        ],
        "applications": [{"appid": 200, "name": "INVAPP", "description": "Invoice print stream",
                          "compression": "O"}],
        # Retrieve, store, update index values and print (DOC_PERMS 0x1B).
        "permissions": [{"who": "STAFF", "documents": 27, "annotations": 7}],
        "objects": [{"name": "1FAA", "compression": "N"}],
    }
    payroll = {
        "agid": 101, "name": "PAYROLL", "description": "Monthly payroll", "storage_id": "PAYAG",
        "fields": [{"name": "EMPLOYEE", "type": "S", "length": 40}, {"name": "PERIOD", "type": "I", "mask": 4}],
        "applications": [{"appid": 201, "name": "PAYAPP", "description": "Payroll statements", "compression": "O"}],
        "permissions": [{"who": "ADMINS", "documents": 15, "annotations": 7, "restrict": "EMPLOYEE <> 'DIRECTOR'"}],
        "objects": [{"name": "1FAA", "compression": "O"}],
    }
    system_log = {
        "agid": 102, "name": "System Log", "description": "Messages of the archive server", "storage_id": "SYSLOG",
        "fields": [
            {"name": "TIME_STAMP", "type": "B"},
            {"name": "USERID", "type": "T", "length": 20, "case": "U"},
            {"name": "MSG_NUM", "type": "N"},
            {"name": "SEVERITY", "type": "S", "length": 1},
            {"name": "MSG_TEXT", "type": "S", "length": 1024},
        ],
        "applications": [{"appid": 202, "name": "SYSLOGAPP", "description": "System Log records"}],
    }
    folders = [
        {"fid": 1, "name": "Invoices", "description": "Customer invoices", "annotation_search": 1,
         "application_groups": ["INVOICES"],
         "fields": [
             {"name": "Invoice number", "type": "S", "maps": {"INVOICES": "INVNO"},
              "users": {**search_row(1, 0x103, 0x100),
                        "BOB": {"QUERY_ORDER": 1, "DSPL_ORDER": 1, "SORT_ORDER": 1, "OPS": 3, "DEF_OP": 2,
                                "STRING_WILD": 1}}},
             {"name": "Customer", "type": "S", "maps": {"INVOICES": "CUSTOMER"},
              "users": search_row(3, 0x103, 0x100)},
             {"name": "Invoice date", "type": "I", "qual": 1, "maps": {"INVOICES": "INVDATE"},
              "users": {**search_row(2, 0x43F, 0x400, **DATE_FORMATS),
                        "BOB": {"QUERY_ORDER": 2, "DSPL_ORDER": 2, "DATEDEF_TYPE": 1, "DSPL_DATEFMT": "%d.%m.%Y",
                                "DATEFMT": "%Y-%m-%d", "MIN": "0", "MAX": "99999"}}},
         ],
         "permissions": [{"who": "STAFF", "permissions": 1, "hits": 500}]},
        {"fid": 2, "name": "Payroll", "description": "Payroll statements", "application_groups": ["PAYROLL"],
         "fields": [{"name": "Employee", "type": "S", "maps": {"PAYROLL": "EMPLOYEE"},
                     "users": search_row(1, 0x103, 0x100)},
                    {"name": "Period", "type": "I", "qual": 1, "maps": {"PAYROLL": "PERIOD"},
                     "users": search_row(2, 0x43F, 0x400, **DATE_FORMATS)}],
         "permissions": [{"who": "ADMINS", "permissions": 3, "hits": -1}]},
    ]
    return users, groups, [invoices, payroll, system_log], folders


def statements_group(objects, ebcdic=False):
    # ANSI carriage control in each record's first byte, records ending in a line feed
    # (0x25 in code page 500).
    parameters = ["[@_FIXED_@]", "CC=ANSI", "RECFM=D"] + (["CDPG=500", "RECDELIM=25"] if ebcdic else ["CDPG=819"])
    return {
        "agid": 300, "name": "STATEMENTS", "description": "Monthly account statements", "storage_id": "STMTAG",
        "segment_rows": 2500,
        "fields": [
            {"name": "CUSTOMER", "type": "S", "length": 40, "string_type": "V"},
            {"name": "STMTDATE", "type": "I", "mask": 4},
            {"name": "ACCOUNT", "type": "I", "mask": 32},
            {"name": "BALANCE", "type": "D"},
        ],
        "applications": [{"appid": 300, "name": "STMTAPP", "description": "Statement print stream",
                          "compression": "O", "parameters": parameters}],
        # Retrieve and print (DOC_PERMS 0x11).
        "permissions": [{"who": "STAFF", "documents": 17, "annotations": 7}],
        "objects": objects,
    }


def statements_folder():
    # Operator bits: = 0x1, <> 0x2, < 0x4, <= 0x8, > 0x10, >= 0x20, LIKE 0x100, BETWEEN 0x400.
    return {
        "fid": 3, "name": "Statements", "description": "Monthly account statements",
        "application_groups": ["STATEMENTS"],
        "fields": [
            {"name": "Customer", "type": "S", "maps": {"STATEMENTS": "CUSTOMER"}, "users": search_row(1, 0x103, 0x100)},
            {"name": "Statement date", "type": "I", "qual": 1, "maps": {"STATEMENTS": "STMTDATE"},
             "users": search_row(2, 0x43F, 0x400, **DATE_FORMATS)},
            {"name": "Account", "type": "I", "maps": {"STATEMENTS": "ACCOUNT"}, "users": search_row(3, 0x3, 0x1)},
            {"name": "Balance", "type": "D", "maps": {"STATEMENTS": "BALANCE"},
             "users": search_row(4, 0x43F, 0x20, DECIMAL_PT_POS=2)},
        ],
        "permissions": [{"who": "STAFF", "permissions": 1, "hits": 1000}],
    }


def write_small_documents(out, rng, documents):
    """A dozen invoices and payslips, each group's documents in one data file."""
    invoices, offset = [], 0
    for n in range(12):
        customer = ["ACME CORPORATION", "GLOBEX INC", "INITECH"][n % 3]
        date = datetime.date(2024, 1, 1) + datetime.timedelta(days=n * 2)
        text = (f"1INVOICE {4711 + n} FOR {customer}\n DATE {date.isoformat()}\n"
                f"0AMOUNT DUE: {rng.randint(1000, 90000) / 100.0:.2f}\n")
        invoices.append(text)
        documents.append({"group": "INVOICES", "object": "1FAA", "file": "data/invoices.txt", "offset": offset,
                          "length": len(text), "values": {"INVNO": str(4711 + n), "CUSTOMER": customer,
                                                          "INVDATE": days(date)}})
        offset += len(text)
    slips, offset = [], 0
    for n in range(12):
        employee = ["ALICE ARCHER", "BOB BAKER", "DIRECTOR"][n % 3]
        period = month_start(12 + n // 3)
        text = f"1PAYSLIP {period.strftime('%Y-%m')} {employee}\n NET PAY {rng.randint(200000, 600000) / 100.0:.2f}\n"
        slips.append(text)
        documents.append({"group": "PAYROLL", "object": "1FAA", "file": "data/payroll.txt", "offset": offset,
                          "length": len(text), "values": {"EMPLOYEE": employee, "PERIOD": days(period)}})
        offset += len(text)
    with open(os.path.join(out, "data", "invoices.txt"), "w", encoding="ascii", newline="\n") as f:
        f.write("".join(invoices))
    with open(os.path.join(out, "data", "payroll.txt"), "w", encoding="ascii", newline="\n") as f:
        f.write("".join(slips))


def write_statements(out, rng, count, documents, encoding):
    """count statements, ACCOUNTS a month, month after month; one data file and one object
    per month. Offsets and lengths count the encoded bytes."""
    names = customers(rng)
    accounts = [10000000 + 37 * n for n in range(ACCOUNTS)]
    balances = [rng.randint(-50000, 500000) / 100.0 for _ in range(ACCOUNTS)]
    objects = []
    month = 0
    written = 0
    while written < count:
        start = month_start(month)
        end = month_end(start)
        name = f"{month + 1}FAA"
        objects.append({"name": name, "compression": "O" if month % 2 else "N"})
        file_name = f"data/statements-{start.strftime('%Y-%m')}.txt"
        offset = 0
        with open(os.path.join(out, file_name), "wb") as f:
            for n in range(min(ACCOUNTS, count - written)):
                text, balances[n] = statement(rng, accounts[n], names[n], start, end, balances[n])
                text = text.encode(encoding)
                f.write(text)
                documents.append({"group": "STATEMENTS", "object": name, "file": file_name, "offset": offset,
                                  "length": len(text),
                                  "values": {"CUSTOMER": names[n], "STMTDATE": days(end), "ACCOUNT": accounts[n],
                                             "BALANCE": balances[n]}})
                offset += len(text)
                written += 1
        month += 1
    return objects


def main(argv):
    parser = argparse.ArgumentParser(description="Write the demo archive's description and data files.")
    parser.add_argument("--out", required=True, help="folder for demo.json and data/")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--statements", type=int, default=10000)
    parser.add_argument("--ebcdic", action="store_true", help="statements in EBCDIC (code page 500)")
    parser.add_argument("--documents-only", action="store_true",
                        help="only the users, groups and folder Documents (a small archive for tests)")
    args = parser.parse_args(argv)
    if args.statements < 1:
        parser.error("--statements must be at least 1")

    rng = random.Random(args.seed)
    os.makedirs(os.path.join(args.out, "data"), exist_ok=True)
    users, groups, sample, folders = sample_groups()
    kinds, documents_folder, documents = demo_documents.documents_folder(args.out)
    if args.documents_only:
        application_groups, all_folders = kinds, [documents_folder]
    else:
        statements = []
        write_small_documents(args.out, rng, statements)
        objects = write_statements(args.out, rng, args.statements, statements, "cp500" if args.ebcdic else "ascii")
        application_groups = sample + [statements_group(objects, args.ebcdic)] + kinds
        all_folders = folders + [statements_folder(), documents_folder]
        documents = statements + documents
    description = {
        "volume": "ARCHIVE01",
        "system": {"PASSWD_EXP": -1, "TIME_OUT": 3600, "SYSLOG_MASK": 31, "PASSWD_MIN_LEN": 4, "SYS_MASK": 2},
        "users": users,
        "groups": groups,
        "application_groups": application_groups,
        "folders": all_folders,
        "documents": documents,
    }
    with open(os.path.join(args.out, "demo.json"), "w", encoding="utf-8") as f:
        json.dump(description, f, indent=1)
        f.write("\n")
    print(f"wrote {os.path.join(args.out, 'demo.json')}: {len(documents)} documents")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
