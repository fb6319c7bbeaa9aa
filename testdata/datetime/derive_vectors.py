#!/usr/bin/env python3
"""Derives the date/time test vectors with Python's datetime and zoneinfo.

Run: python3 derive_vectors.py; the printed C++ table rows are pasted into
foundation/datetime/tests/*_test.cpp. Nothing reads this file at build or test time.
"""
from datetime import date, datetime, timedelta, timezone
from zoneinfo import ZoneInfo

ZONES = ["UTC", "Europe/Berlin", "America/New_York", "Asia/Kolkata"]
EPOCH = date(1970, 1, 1)


def day_number(d):
    return (d - EPOCH).days + 1


def c_value(z, zone):
    """'C': UTC seconds plus the offset of that moment in whole hours, toward zero."""
    if z <= 0:
        return z
    off = datetime.fromtimestamp(z, ZoneInfo(zone)).utcoffset().total_seconds()
    return z + int(off / 3600) * 3600


def local_epoch(zone, *fields):
    return int(datetime(*fields, tzinfo=ZoneInfo(zone)).timestamp())


print("// --- 'D' day numbers: date, day, strftime('%a %A %b %j %U %W %w') ---")
for d in [date(1970, 1, 1), date(1970, 1, 2), date(1972, 2, 29), date(2000, 2, 29), date(2005, 12, 1),
          date(2005, 12, 31), date(2069, 12, 31), date(2070, 1, 1), date(2100, 3, 1), date(9999, 12, 31)]:
    print(f'    {{"{d.isoformat()}", {day_number(d)}, "{d.strftime("%a %A %b %j %U %W %w")}"}},')

print("// --- 'Z' formatting per zone: zone, value, '%Y-%m-%d %H:%M:%S %a %j' ---")
moments = [0, 1, 1133431200, 1111885200 - 1, 1111885200, 1130634000 - 1, 1130634000,
           1131258600, 1152000000, 3155760000, 4102444800, -86400]
for zone in ZONES:
    for z in moments:
        t = datetime.fromtimestamp(z, ZoneInfo(zone))
        print(f'    {{"{zone}", {z}LL, "{t.strftime("%Y-%m-%d %H:%M:%S %a %j")}", {c_value(z, zone)}LL}},')

print("// --- parse bounds per zone: zone, text, earliest and latest as 'Z', then as 'C' ---")
for zone in ZONES:
    rows = [
        ("12/01/05 10:00:00", (2005, 12, 1, 10, 0, 0), (2005, 12, 1, 10, 0, 0)),
        ("07/04/05 23:59:59", (2005, 7, 4, 23, 59, 59), (2005, 7, 4, 23, 59, 59)),
        ("2005", (2005, 1, 1, 0, 0, 0), (2005, 12, 31, 23, 59, 59)),
        ("06/2005", (2005, 6, 1, 0, 0, 0), (2005, 6, 30, 23, 59, 59)),
        ("03/27/05 14", (2005, 3, 27, 14, 0, 0), (2005, 3, 27, 14, 59, 59)),
        ("11/06/05 08:30", (2005, 11, 6, 8, 30, 0), (2005, 11, 6, 8, 30, 59)),
        ("02/29/72", (1972, 2, 29, 0, 0, 0), (1972, 2, 29, 23, 59, 59)),
    ]
    for text, lo, hi in rows:
        zlo, zhi = local_epoch(zone, *lo), local_epoch(zone, *hi)
        print(f'    {{"{zone}", "{text}", {zlo}LL, {zhi}LL, {c_value(zlo, zone)}LL, {c_value(zhi, zone)}LL}},')

print("// --- conversions per zone: zone, 'Z', its local 'D', local 'T', 'Z' of that date's local midnight ---")
for zone in ZONES:
    tz = ZoneInfo(zone)
    for z in [1133431200, 1111885200, 1131258600, 1152000000, 3155760000, 4102444800]:
        t = datetime.fromtimestamp(z, tz)
        units = (t.hour * 3600 + t.minute * 60 + t.second) // 3
        midnight = int(datetime(t.year, t.month, t.day, tzinfo=tz).timestamp())
        print(f'    {{"{zone}", {z}LL, {day_number(t.date())}, {units}, {midnight}LL}},')

print("// --- AddInterval on 'Z' per zone: zone, start local, d, mo, y, h, mi, s, result ---")
for zone in ZONES:
    tz = ZoneInfo(zone)
    rows = [
        ((2005, 3, 15, 12, 0, 0), (0, 1, 0, 0, 0, 0)),
        ((2005, 10, 15, 12, 0, 0), (0, 1, 0, 0, 0, 0)),
        ((2005, 12, 1, 10, 0, 0), (31, 0, 0, 0, 0, 0)),
        ((2005, 12, 1, 10, 0, 0), (0, -12, 1, 0, 0, 0)),
        ((2005, 12, 1, 10, 0, 0), (0, 0, 0, 25, -61, 3661)),
        ((2005, 1, 31, 10, 0, 0), (0, 13, 0, 0, 0, 0)),
    ]
    for start, (d, mo, y, h, mi, s) in rows:
        z = local_epoch(zone, *start)
        moved = datetime.fromtimestamp(z + d * 86400 + h * 3600 + mi * 60 + s, tz).replace(tzinfo=None)
        months = moved.month - 1 + mo + 12 * y
        yy, mm = moved.year + months // 12, months % 12 + 1
        # Day overflow runs into the next month, as mktime normalises it.
        target = datetime(yy, mm, 1, moved.hour, moved.minute, moved.second) + timedelta(days=moved.day - 1)
        result = int(target.replace(tzinfo=tz).timestamp())
        print(f'    {{"{zone}", {z}LL, {d}, {mo}, {y}, {h}, {mi}, {s}, {result}LL}},')
