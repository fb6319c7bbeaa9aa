#!/usr/bin/env python3
"""Writes the seed inputs of local_index_files_fuzz into this folder.

Byte 0: bits 0-1 the file (0 profile, 1 .dat, 2 .ind), bits 2-3 the damage (0 patches,
1 cut then patches, 2 whole file, 3 profile keys or a copied run), bit 7 a load after
the searches. See cs/local/fuzz/index_files_fuzz.cpp.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
PROFILE, DATA, INDEX = 0, 1, 2
PATCH, CUT, WHOLE, KEYS = 0, 1, 2, 3
LOAD = 0x80


def head(which, how, load=False):
    return bytes([which | how << 2 | (LOAD if load else 0)])


def patches(*pairs):
    return b"".join(struct.pack("<IB", offset, value) for offset, value in pairs)


def keys(*parts):
    return b"\xff".join(p.encode() for p in parts)


SEEDS = {
    "profile_old_version": head(PROFILE, KEYS) + keys("VERSION=3"),
    "profile_no_version": head(PROFILE, KEYS, True) + keys("VERSION"),
    "profile_most_rows": head(PROFILE, KEYS) + keys("TOTAL_ROWS=134217728"),
    "profile_more_rows": head(PROFILE, KEYS, True) + keys("TOTAL_ROWS=999"),
    "profile_fewer_rows": head(PROFILE, KEYS, True) + keys("TOTAL_ROWS=3"),
    "profile_record_length": head(PROFILE, KEYS) + keys("DATA_OFFSET=1"),
    "profile_no_record_length": head(PROFILE, KEYS, True) + keys("DATA_OFFSET"),
    "profile_far_first_slot": head(PROFILE, KEYS, True) + keys("BLOCK_MULTIPLIER=2147483647"),
    "profile_field_key": head(PROFILE, KEYS) + keys("0=83,10,'A','B'", "2=73,4,'x',"),
    "profile_field_type": head(PROFILE, KEYS) + keys("1=73,4,0,1"),
    "profile_other_file": head(PROFILE, KEYS, True) + keys("INDEX_FILE=99999999", "SEGMENT=7"),
    "profile_bare": head(PROFILE, WHOLE) + b"[INV1]\nINDEX_FILE=1\nVERSION=4\nTOTAL_ROWS=80\n",
    "profile_empty": head(PROFILE, WHOLE, True),
    "data_header": head(DATA, PATCH) + patches(*[(i, 0xFF) for i in range(0, 96, 7)]),
    "data_record": head(DATA, PATCH) + patches((100, 0), (150, 0x80), (196, 0xFF), (400, 0x7F)),
    "data_cut": head(DATA, CUT, True) + struct.pack("<I", 500),
    "data_empty": head(DATA, WHOLE),
    "data_garbage": head(DATA, WHOLE, True) + bytes(range(256)) * 4,
    "data_copied": head(DATA, KEYS) + struct.pack("<IIH", 96, 960, 400),
    "index_meta": head(INDEX, PATCH) + patches(*[(i, 0xA5) for i in range(16, 64, 4)]),
    "index_both_metas": head(INDEX, PATCH, True) + patches((24, 0), (4096 + 24, 0), (40, 0xFF), (4096 + 40, 0xFF)),
    "index_pages": head(INDEX, PATCH) + patches(*[(8192 + i * 37, i) for i in range(64)]),
    "index_page_pointers": head(INDEX, PATCH, True) + patches(*[(8192 * k + 16 + i, 0xFF) for k in range(1, 5)
                                                              for i in range(4)]),
    "index_cut_meta": head(INDEX, CUT) + struct.pack("<I", 4096),
    "index_cut_pages": head(INDEX, CUT, True) + struct.pack("<I", 12288),
    "index_empty": head(INDEX, WHOLE),
    "index_page_over_meta": head(INDEX, KEYS) + struct.pack("<IIH", 8192, 0, 4096),
    "index_page_over_page": head(INDEX, KEYS, True) + struct.pack("<IIH", 12288, 8192, 4096),
}


def main():
    for name, data in SEEDS.items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
