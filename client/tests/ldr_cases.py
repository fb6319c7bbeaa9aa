#!/usr/bin/env python3
"""Writes line-data documents and the pages they must read as, for ldr_python_test.

Usage: ldr_cases.py DIR

For every case DIR holds NAME.dat (the document's bytes), NAME.opt (key=value lines of
the reader's options) and NAME.txt (the expected pages: "=== page" before each page, then
one line per text line, each led by '|'). DIR/cases lists the names.

Single-byte EBCDIC is written with Python's cp037 and cp500 codecs, mixed EBCDIC (930,
939) with glibc iconv; the expected texts are the Unicode texts the records were made
from, paged by the carriage-control rules written out below.
"""
import os
import random
import subprocess
import sys

# ANSI controls: blank lines before, after, new page before, after.
ANSI = {'+': (0, 0, False, False), ' ': (0, 0, False, False), '0': (1, 0, False, False),
        '-': (2, 0, False, False), '1': (0, 0, True, False)}
MACHINE = {0x01: (0, 0, False, False), 0x09: (0, 0, False, False), 0x11: (0, 1, False, False),
           0x19: (0, 2, False, False), 0x89: (0, 0, False, True), 0x0B: (0, 0, False, False),
           0x13: (1, 0, False, False), 0x1B: (2, 0, False, False), 0x8B: (0, 0, True, False)}
END = (0, 0, False, False)


def iconv(text, code):
    out = subprocess.run(['iconv', '-f', 'UTF-8', '-t', code], input=text.encode('utf-8'),
                         capture_output=True, check=True)
    return out.stdout


class Encoder:
    """Text of a record as bytes of the case's code page, and the line it reads as."""

    def __init__(self, codec, iconv_name=None, shift_kind='1'):
        self.codec = codec
        self.iconv_name = iconv_name
        self.shift_kind = shift_kind

    def encode(self, segments):
        """segments: list of (text, double_byte). Gives (bytes, expected text)."""
        data = b''
        expected = ''
        for text, double in segments:
            if self.iconv_name:
                data += iconv(text, self.iconv_name)
            else:
                data += text.encode(self.codec)
            if double and self.shift_kind != '2':
                expected += ' ' + text + ' '
            else:
                expected += text
        return data, expected

    def control(self, char):
        if self.iconv_name:
            return iconv(char, self.iconv_name)
        return char.encode(self.codec)


def row_of(cc, control):
    if cc == 'A':
        return ANSI.get(control, END)
    if cc == 'M':
        return MACHINE.get(control, END)
    return END


def overprint(cc, control):
    return (cc == 'A' and control == '+') or (cc == 'M' and control == 0x01)


def merge(below, top):
    width = max(len(below), len(top))
    below = below.ljust(width)
    return ''.join(t if i < len(top) and t != ' ' else below[i] for i, t in enumerate(top.ljust(width)))


def paginate(records, cc, lines_per_page, separate):
    """records: (control, text, form_feed). The pages of lines the reader must give."""
    pages = []
    count = 0
    after_pending = False
    for control, text, form_feed in records:
        before, after, page_before, page_after = row_of(cc, control)
        no_line = cc == 'M' and control == 0x8B and text is None
        if (not pages or page_before or after_pending or (lines_per_page > 0 and count >= lines_per_page)
                or form_feed):
            pages.append([])
            count = 0
        after_pending = page_after
        if no_line:
            continue
        count += 1 + before + after
        page = pages[-1]
        if overprint(cc, control) and not separate and page and before == 0:
            page[-1] = merge(page[-1], text)
        else:
            page.extend([''] * before)
            page.append(text)
        page.extend([''] * after)
    if pages and not pages[-1] and count == 0:
        pages.pop()
    return pages


def words(rng, alphabet, low, high):
    return ''.join(rng.choice(alphabet) for _ in range(rng.randint(low, high)))


def frame(fmt, body, record_length=0, delimiter=b'\n'):
    if fmt == 'V':
        return len(body).to_bytes(2, 'big') + body
    if fmt == 'F':
        return body.ljust(record_length, b'\x40')
    return body + delimiter


def write_case(out, name, options, records, encoder, cc, fmt, record_length=0, delimiter=b'\n', trc=False):
    """records: (control, segments) with control an ANSI character, a machine byte or None;
    segments None for a machine control byte alone."""
    data = b''
    paged = []
    for control, segments, form_feed in records:
        if fmt == 'F' and segments is None:
            segments = []  # padded to its length, a machine skip alone still makes a line
        body = b''
        if cc == 'A':
            body += encoder.control(control)
        elif cc == 'M':
            body += bytes([control])
        if trc and cc:
            body += b'\x00' if fmt != 'F' else b'\x40'
        text = None
        if segments is not None:
            raw, text = encoder.encode(segments)
            if form_feed:
                raw = b'\x0c' + raw
            body += raw
        if fmt == 'F' and segments is not None:
            text = text + ' ' * (record_length - len(body))  # the padding reads as blanks
        data += frame(fmt, body, record_length, delimiter)
        paged.append((control, text if text is not None else (None if cc == 'M' and segments is None else ''),
                      form_feed))
    pages = paginate(paged, cc, int(options.get('linesPerPage', 0)), options.get('overstrike', 'S') == 'S')
    with open(os.path.join(out, name + '.dat'), 'wb') as f:
        f.write(data)
    with open(os.path.join(out, name + '.opt'), 'w') as f:
        for key, value in options.items():
            f.write('%s=%s\n' % (key, value))
    with open(os.path.join(out, name + '.txt'), 'w', encoding='utf-8') as f:
        for page in pages:
            f.write('=== page\n')
            for line in page:
                f.write('|' + line + '\n')
    return name


LATIN = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,;:-/()$%&'
ACCENTED = 'éèüöäßçñÉÜ'
UPPER = 'ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,-/()'
KANJI = '日本語文書報告書会計月次請求金額合計'


def single_byte_records(rng, cc, count, alphabet, separate_overprint=True, with_form_feed=False):
    records = []
    for i in range(count):
        if cc == 'A':
            control = rng.choice(' ' * 6 + '0-1+')
            if i == 0 and control == '+':
                control = ' '
        elif cc == 'M':
            control = rng.choice([0x09] * 5 + [0x01, 0x11, 0x19, 0x89, 0x8B, 0x0B, 0x13, 0x1B])
        else:
            control = None
        if cc == 'M' and control == 0x8B and rng.random() < 0.5:
            records.append((control, None, False))
            continue
        text = words(rng, alphabet, 0, 120)
        if control == '+' or control == 0x01:
            text = ' ' * rng.randint(0, 10) + words(rng, '_X', 1, 20)
        form_feed = with_form_feed and cc is None and rng.random() < 0.1
        records.append((control, [(text, False)], form_feed))
    return records


def mixed_records(rng, cc, count, sbcs_alphabet, long_line=False):
    records = []
    for _ in range(count):
        control = {'A': ' ', 'M': 0x09, None: None}[cc]
        segments = []
        for _ in range(rng.randint(1, 4)):
            if rng.random() < 0.5:
                segments.append((words(rng, sbcs_alphabet, 1, 12), False))
            else:
                segments.append((words(rng, KANJI, 1, 8), True))
        if long_line:
            segments = [('HDR ', False), (words(rng, KANJI, 480, 480), True), (' END', False)]
        records.append((control, segments, False))
    return records


def main():
    out = sys.argv[1]
    rng = random.Random(120)
    names = []
    e037 = Encoder('cp037')
    e500 = Encoder('cp500')
    names.append(write_case(out, 'v_ansi_037', {'recordFormat': 'V', 'carriageControl': 'A', 'dataCodePage': 37},
                            single_byte_records(rng, 'A', 300, LATIN + ACCENTED), e037, 'A', 'V'))
    names.append(write_case(out, 'v_ansi_037_merge',
                            {'recordFormat': 'V', 'carriageControl': 'A', 'dataCodePage': 37, 'overstrike': 'M'},
                            single_byte_records(rng, 'A', 300, LATIN), e037, 'A', 'V'))
    names.append(write_case(out, 'f_ansi_500_trc',
                            {'recordFormat': 'F', 'recordLength': 133, 'carriageControl': 'A', 'trc': 1,
                             'dataCodePage': 500, 'linesPerPage': 20},
                            single_byte_records(rng, 'A', 200, LATIN + ACCENTED), e500, 'A', 'F', 133, trc=True))
    names.append(write_case(out, 'v_machine_037', {'recordFormat': 'V', 'carriageControl': 'M', 'dataCodePage': 37},
                            single_byte_records(rng, 'M', 400, LATIN), e037, 'M', 'V'))
    names.append(write_case(out, 'f_machine_500',
                            {'recordFormat': 'F', 'recordLength': 121, 'carriageControl': 'M', 'dataCodePage': 500,
                             'overstrike': 'M'},
                            single_byte_records(rng, 'M', 300, LATIN + ACCENTED), e500, 'M', 'F', 121))
    names.append(write_case(out, 'v_none_037_lpp', {'recordFormat': 'V', 'dataCodePage': 37, 'linesPerPage': 60},
                            single_byte_records(rng, None, 250, LATIN), e037, None, 'V'))
    names.append(write_case(out, 'd_none_819_ff',
                            {'recordFormat': 'S', 'recordDelimiter': '0D0A', 'dataCodePage': 819, 'linesPerPage': 25},
                            single_byte_records(rng, None, 300, LATIN + ACCENTED, with_form_feed=True),
                            Encoder('latin-1'), None, 'S', delimiter=b'\r\n'))
    names.append(write_case(out, 'd_ansi_850_lf', {'recordFormat': 'S', 'carriageControl': 'A', 'dataCodePage': 850},
                            single_byte_records(rng, 'A', 300, LATIN + ACCENTED), Encoder('cp850'), 'A', 'S'))
    names.append(write_case(out, 'd_machine_037_custom',
                            {'recordFormat': 'S', 'recordDelimiter': '2525', 'carriageControl': 'M',
                             'dataCodePage': 37},
                            single_byte_records(rng, 'M', 200, LATIN), e037, 'M', 'S', delimiter=b'\x25\x25'))
    e930 = Encoder(None, 'IBM-930', '1')
    e939 = Encoder(None, 'IBM-939', '2')
    names.append(write_case(out, 'v_none_930_sosi1', {'recordFormat': 'V', 'dataCodePage': 930, 'shiftKind': '1'},
                            mixed_records(rng, None, 40, UPPER), e930, None, 'V'))
    names.append(write_case(out, 'v_ansi_939_sosi2',
                            {'recordFormat': 'V', 'carriageControl': 'A', 'dataCodePage': 939, 'shiftKind': '2'},
                            mixed_records(rng, 'A', 40, LATIN), e939, 'A', 'V'))
    names.append(write_case(out, 'd_machine_939', {'recordFormat': 'S', 'carriageControl': 'M', 'dataCodePage': 939,
                                                   'shiftKind': '1', 'recordDelimiter': '0D25'},
                            mixed_records(rng, 'M', 40, LATIN), Encoder(None, 'IBM-939', '1'), 'M', 'S',
                            delimiter=b'\x0d\x25'))
    names.append(write_case(out, 'v_none_930_long', {'recordFormat': 'V', 'dataCodePage': 930, 'shiftKind': '1'},
                            mixed_records(rng, None, 3, UPPER, long_line=True), e930, None, 'V'))
    with open(os.path.join(out, 'cases'), 'w') as f:
        f.write('\n'.join(names) + '\n')


if __name__ == '__main__':
    main()
