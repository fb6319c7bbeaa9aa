#!/usr/bin/env python3
"""Writes the seeds of client_ldr_fuzz: byte 0 (bits 0-1 format F/V/LF/CRLF, bits 2-3
carriage control none/ANSI/machine/ANSI, bit 4 TRC, bit 5 merge, bit 6 service, bit 7 shift
kind 2), byte 1 the CCSID index (819, 37, 500, 930, 939, 300, 850, 1208, 933, 4711), byte 2
lines per page and fixed length (byte * 4 + 1), byte 3 the page limit, then the document.
Run from this folder."""
import os


def v(records):
    return b''.join(len(r).to_bytes(2, 'big') + r for r in records)


def flags(fmt, cc, trc=0, merge=0, service=0, sosi2=0):
    return fmt | cc << 2 | trc << 4 | merge << 5 | service << 6 | sosi2 << 7


ANSI = [b' HEADER', b'0TITLE', b'-', b'+____', b'1PAGE 2', b' \x00zero']
MACHINE = [b'\x09A', b'\x11B', b'\x19C', b'\x89D', b'\x8b', b'\x13', b'\x01__', b'\x0bX', b'\x1bY']
EBCDIC = [' REPORT'.encode('cp037'), '0LINE'.encode('cp037'), '1NEXT'.encode('cp037'), '+__'.encode('cp037')]
MIXED = [b'\xc1\x0e\x45\x62\x45\x62\x0f\xc2', b'\x0e\x45', b'\x0e\x45\x62\x0f\x0e\x0f', b'']
SEEDS = {
    'v_ansi': (flags(1, 1), 0, 3, 0, v(ANSI * 4)),
    'v_ansi_merge_trc': (flags(1, 1, trc=1, merge=1), 0, 0, 2, v([b' xA', b' ', b'+x_', b'1xB'])),
    'v_machine': (flags(1, 2), 0, 0, 0, v(MACHINE * 3)),
    'v_ebcdic_service': (flags(1, 1, service=1), 1, 0, 0, v(EBCDIC * 3)),
    'v_mixed_service': (flags(1, 0, service=1), 3, 0, 0, v(MIXED)),
    'v_mixed_table_sosi2': (flags(1, 0, sosi2=1), 4, 2, 0, v(MIXED)),
    'v_dbcs': (flags(1, 0), 5, 0, 0, v([b'\x45\x62\x40\x40\x45'])),
    'v_long': (flags(1, 0, service=1), 7, 0, 0, v([b'\xe6\x97\xa5' * 333, b'x' * 1000]) + b'\x03\xe9'),
    'f_ansi': (flags(0, 1), 0, 2, 0, b''.join(r.ljust(9, b' ') for r in ANSI)),
    'f_machine_cut': (flags(0, 2), 1, 1, 0, b'\x09ABCD\x8b\x11EFGHI\x09J'),
    'lf_none_ff': (flags(2, 0), 0, 5, 0, b'A\nB\n\x0cC\nD\x0cE\n' * 5 + b'tail'),
    'crlf_ansi': (flags(3, 1), 6, 0, 3, b' A\r\n1B\r\n0C\r\n1D\r\n-E'),
    'crlf_no_delimiter': (flags(3, 0), 0, 0, 0, b'x' * 2100 + b'\r\ny'),
    'lf_service_invalid': (flags(2, 0, service=1), 7, 0, 0, b'ok\nA\xc0B\n\xe6\x97\n'),
}

os.makedirs('ldr_fuzz', exist_ok=True)
for name, (head, ccsid, lines, limit, body) in SEEDS.items():
    with open(os.path.join('ldr_fuzz', name), 'wb') as f:
        f.write(bytes([head, ccsid, lines, limit]) + body)
