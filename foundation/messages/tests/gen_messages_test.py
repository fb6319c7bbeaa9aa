#!/usr/bin/env python3
"""The generator refuses a damaged catalogue and names the faulty line."""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
GENERATOR = os.path.join(HERE, '..', 'tools', 'gen_messages.py')
CATALOGUE = os.path.join(HERE, '..', 'catalogue.tsv')


def rows():
    with open(CATALOGUE, encoding='utf-8') as f:
        return [line.rstrip('\n').split('\t') for line in f if not line.startswith('#')]


def run(lines, mode='table', extra=()):
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, 'catalogue.tsv')
        with open(path, 'w', encoding='utf-8') as f:
            f.write(''.join('\t'.join(cols) + '\n' for cols in lines))
        out = os.path.join(tmp, 'out.cpp')
        result = subprocess.run([sys.executable, GENERATOR, mode, '--catalogue', path, '--out', out, *extra],
                                capture_output=True, text=True)
        content = open(out, encoding='utf-8').read() if os.path.exists(out) else ''
        return result.returncode, result.stderr, content


def changed(index, column, value):
    lines = rows()
    lines[index][column] = value
    return lines


def changed_rows(texts):
    lines = rows()
    for index, text in texts.items():
        lines[index][7] = text
    return lines


class Generator(unittest.TestCase):
    def test_the_repository_catalogue_is_accepted(self):
        code, err, content = run(rows())
        self.assertEqual(code, 0, err)
        self.assertIn('{2171u, 0x4000087Bu', content)

    def test_damaged_catalogues_are_refused(self):
        cases = [
            ('a row missing', rows()[:-1], 'rows, expected 1738'),
            ('index out of order', changed(5, 0, '6'), 'index 6, expected 5'),
            ('number not ascending', changed(10, 1, '1'), 'not above the row before'),
            ('number too large', changed(1737, 1, '7535'), 'outside 0..7534'),
            ('type against severity', changed(491, 2, '3'), 'does not go with severity'),
            ('unknown severity', changed(491, 3, '6'), 'does not go with severity'),
            ('category of two bits', changed(491, 4, '3'), 'category 3'),
            ('unknown destinations', changed(491, 5, '4'), 'destinations 4'),
            ('unknown use', changed(491, 6, 'maybe'), "use 'maybe'"),
            ('not a number', changed(491, 1, 'x'), 'not a number'),
            ('a column missing', [r[:7] if i == 3 else r for i, r in enumerate(rows())], 'expected 8 columns'),
            ('control character', changed(491, 7, 'bad\x01text'), 'control character'),
            ('an insert skipped', changed(436, 7, "The value '%1$s' is longer than %3$s characters"),
             'skips insert %2'),
            ('an insert skipped at the start', changed(435, 7, "A value is required for '%2$s'"),
             'skips insert %1'),
            ('a reserved row with a text', changed(399, 7, 'The server failed'), "reads '(reserved message)'"),
            ('issued texts numbered through',
             changed_rows({438: 'The request failed (status 42)', 439: 'The request failed (status 43)'}),
             'only in its numbers'),
        ]
        for name, lines, message in cases:
            with self.subTest(name):
                code, err, content = run(lines)
                self.assertEqual(code, 1)
                self.assertIn(message, err)
                self.assertEqual(content, '', 'nothing is written for a refused catalogue')

    def test_library_table_uses_message_table_inserts(self):
        code, err, content = run(rows(), 'library', ['--language', 'enu', '--complete'])
        self.assertEqual(code, 0, err)
        self.assertTrue("\"The argument '%1' was not specified\\015\\012\"" in content,
                        'inserts become %n and the text ends in CR LF')
        self.assertFalse('$s' in content, 'no "%n$s" insert is left')


if __name__ == '__main__':
    unittest.main()
