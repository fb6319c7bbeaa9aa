#!/usr/bin/env python3
"""Generates C++ sources from the message catalogue.

  gen_messages.py table   --catalogue catalogue.tsv --out table.cpp
  gen_messages.py library --catalogue catalogue.tsv --language enu \
                          --texts lang/enu.tsv --out lib_table.cpp

The catalogue is checked first; any fault stops the build with the line that holds it.
"""
import argparse
import re
import sys

ROWS = 1738
MAX_NUMBER = 7534
TYPE_BITS = {1: 0x40000000, 2: 0x80000000, 3: 0xC0000000}
SEVERITY_TYPE = {'1': 3, '2': 3, '3': 2, '4': 1, '5': 1}
CATEGORIES = {1, 2, 4, 8, 16}
DESTINATIONS = {1, 2, 3, 5, 7}
USES = {'quoted', 'issued', 'reserved'}


class CatalogueError(Exception):
    pass


RESERVED_TEXT = '(reserved message)'
# An insert "%d" as the formatter reads it, and a number outside one.
INSERT_DIGIT_RE = re.compile(r'%([0-9])')
NUMBER_RE = re.compile(r'(?<!%)[0-9]+')


def check_text(where, use, text, standins):
    """A text says what happened with every insert its caller gives: its inserts run from
    %1 without a gap, a reserved row says it is reserved, and issued texts are not one
    stand-in numbered through (texts that differ only in their numbers)."""
    if use == 'reserved':
        if text != RESERVED_TEXT:
            raise CatalogueError(f'{where}: a reserved row reads {RESERVED_TEXT!r}')
        return
    used = sorted({int(d) for d in INSERT_DIGIT_RE.findall(text)})
    for expected, digit in enumerate(used, 1):
        if digit != expected:
            raise CatalogueError(f'{where}: the text skips insert %{expected}')
    if use == 'issued' and text:
        shape = NUMBER_RE.sub('#', text)
        if shape in standins and standins[shape] != text:
            raise CatalogueError(f'{where}: the text differs from {standins[shape]!r} only in its '
                                 f'numbers: one stand-in text for many messages says nothing')
        standins.setdefault(shape, text)


def read_catalogue(path):
    rows = []
    standins = {}
    with open(path, encoding='utf-8') as f:
        for lineno, line in enumerate(f, 1):
            line = line.rstrip('\n')
            if not line or line.startswith('#'):
                continue
            where = f'{path}:{lineno}'
            cols = line.split('\t')
            if len(cols) != 8:
                raise CatalogueError(f'{where}: expected 8 columns, found {len(cols)}')
            try:
                index, number, etype, category, dest = (int(cols[i]) for i in (0, 1, 2, 4, 5))
            except ValueError:
                raise CatalogueError(f'{where}: a numeric column is not a number')
            severity, use, text = cols[3], cols[6], cols[7]
            if index != len(rows):
                raise CatalogueError(f'{where}: index {index}, expected {len(rows)}')
            if not 0 <= number <= MAX_NUMBER:
                raise CatalogueError(f'{where}: number {number} outside 0..{MAX_NUMBER}')
            if rows and number <= rows[-1]['number']:
                raise CatalogueError(f'{where}: number {number} not above the row before')
            if SEVERITY_TYPE.get(severity) != etype:
                raise CatalogueError(f'{where}: event type {etype} does not go with severity {severity!r}')
            if category not in CATEGORIES:
                raise CatalogueError(f'{where}: category {category}')
            if dest not in DESTINATIONS:
                raise CatalogueError(f'{where}: destinations {dest}')
            if use not in USES:
                raise CatalogueError(f'{where}: use {use!r}')
            if any(ord(c) < 0x20 for c in text):
                raise CatalogueError(f'{where}: control character in the text')
            check_text(where, use, text, standins)
            rows.append(dict(index=index, number=number, event=TYPE_BITS[etype] | number,
                             severity=severity, category=category, dest=dest, text=text))
    if len(rows) != ROWS:
        raise CatalogueError(f'{path}: {len(rows)} rows, expected {ROWS}')
    return rows


def read_texts(path):
    """index<TAB>text lines of one language."""
    texts = {}
    if not path:
        return texts
    with open(path, encoding='utf-8') as f:
        for lineno, line in enumerate(f, 1):
            line = line.rstrip('\n')
            if not line or line.startswith('#'):
                continue
            index, sep, text = line.partition('\t')
            if not sep or not index.isdigit() or int(index) >= ROWS:
                raise CatalogueError(f'{path}:{lineno}: expected index<TAB>text')
            if any(ord(c) < 0x20 for c in text):
                raise CatalogueError(f'{path}:{lineno}: control character in the text')
            texts[int(index)] = text
    return texts


def c_string(text):
    out = ['"']
    for byte in text.encode('utf-8'):
        ch = chr(byte)
        if ch in '"\\?':
            out.append('\\' + ch)
        elif 0x20 <= byte < 0x7F:
            out.append(ch)
        else:
            out.append('\\%03o' % byte)
    out.append('"')
    return ''.join(out)


def table_source(rows):
    # Texts are offsets into one character array, not pointers: a position-independent
    # program then has no relocation to apply to the table when it starts.
    lines = ['// Generated from catalogue.tsv by gen_messages.py; do not edit.',
             '#include "catalogue_table.h"', '',
             'namespace arc_messages_detail {', '',
             'const CatalogueRow kCatalogue[kCatalogueRows] = {']
    texts = []
    size = 0
    for r in rows:
        if r['text']:
            offset = f'{size}u'
            texts.append(c_string(r['text'] + '\0'))
            size += len(r['text'].encode('utf-8')) + 1
        else:
            offset = 'kNoText'
        lines.append(f"    {{{r['number']}u, 0x{r['event']:08X}u, '{r['severity']}', "
                     f"{r['category']}u, {r['dest']}u, {offset}}},")
    lines += ['};', '', 'const char kCatalogueTexts[] =']
    lines += [f'    {text}' for text in texts] or ['    ""']
    lines += [';', '', '}  // namespace arc_messages_detail', '']
    return '\n'.join(lines)


# "%2$s" becomes "%2": the message-table form of an insert.
INSERT_RE = re.compile(r'%([0-9])\$.')


def library_source(rows, texts, language, complete):
    entries = []
    for r in rows:
        text = texts.get(r['index'])
        if text is None and complete:
            text = r['text'] or None
        if text is None:
            continue
        entries.append((r['event'], INSERT_RE.sub(r'%\1', text) + '\r\n'))
    entries.sort()
    # As in the built-in table: offsets into one array, so loading relocates nothing.
    lines = [f'// Generated for language "{language}" by gen_messages.py; do not edit.',
             '#include "message_table.h"', '',
             'namespace qellgs_detail {', '',
             f'const char kLanguage[] = {c_string(language)};',
             f'const MessageEntry kMessages[] = {{']
    size = 0
    for event, text in entries:
        lines.append(f'    {{0x{event:08X}u, {size}u}},')
        size += len(text.encode('utf-8')) + 1
    if size > 0xFFFFFFFF:
        raise CatalogueError(f'{language}: {size} bytes of texts do not fit 32-bit offsets')
    lines += ['};', f'const size_t kMessageCount = {len(entries)};', '',
              'const char kMessageTexts[] =']
    # Each text its own literal, then its terminator (escapes end within their literal).
    lines += [f'    {c_string(text)} "\\0"' for _, text in entries] or ['    ""']
    lines += [';', '', '}  // namespace qellgs_detail', '']
    return '\n'.join(lines)


def write_if_changed(path, content):
    try:
        with open(path, encoding='utf-8') as f:
            if f.read() == content:
                return
    except OSError:
        pass
    with open(path, 'w', encoding='utf-8') as f:
        f.write(content)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('mode', choices=['table', 'library', 'check'])
    parser.add_argument('--catalogue', required=True)
    parser.add_argument('--out')
    parser.add_argument('--language', default='enu')
    parser.add_argument('--texts')
    parser.add_argument('--complete', action='store_true',
                        help='take every catalogue text the language file does not replace')
    args = parser.parse_args()
    try:
        rows = read_catalogue(args.catalogue)
        if args.mode == 'table':
            write_if_changed(args.out, table_source(rows))
        elif args.mode == 'library':
            write_if_changed(args.out, library_source(rows, read_texts(args.texts),
                                                      args.language, args.complete))
    except CatalogueError as error:
        print(f'gen_messages: {error}', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
