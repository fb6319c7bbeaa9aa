#!/usr/bin/env python3
"""Independent reading of profile text with Python's configparser, for the profile tests.

  configparser_oracle.py corpus OUTDIR SEED COUNT
      Writes COUNT generated profiles OUTDIR/case_NNN.ini and, for each, the lookups the
      C++ reader must answer in OUTDIR/case_NNN.expect: one line per lookup,
      hex(section) TAB hex(key, or "-" for a section test) TAB hex(default) TAB hex(expected).
  configparser_oracle.py dump INI OUT [INI OUT]...
      Writes every section and key of INI as lines hex(section) TAB hex(key) TAB hex(value),
      sections and keys lower-cased; each pair in turn, in one process.

The corpus stays inside the text that both readers define alike (no duplicate names, no
indented continuation lines, no lines without '='); where they differ on purpose, the
expectation applies our documented rule on top: section names ignore case, and one pair
of matching quotes is removed from a value of two or more characters.
"""
import configparser
import random
import sys

NAME_CHARS = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_.-"
VALUE_CHARS = NAME_CHARS + " =;#%$/\\:\t[]'\"" + "".join(chr(c) for c in range(0xC0, 0x100))


def parser():
    return configparser.RawConfigParser(delimiters=("=",), comment_prefixes=(";",),
                                        inline_comment_prefixes=None, strict=True,
                                        interpolation=None, default_section="\x00none")


def hexs(text):
    return text.encode("latin-1").hex()


def strip_quote_pair(value):
    if len(value) >= 2 and value[0] in "'\"" and value[-1] == value[0]:
        return value[1:-1]
    return value


def random_case(rng, text):
    return "".join(c.upper() if rng.random() < 0.5 else c.lower() for c in text)


def unique_name(rng, taken, inner_blank):
    while True:
        name = "".join(rng.choice(NAME_CHARS) for _ in range(rng.randint(1, 10)))
        if inner_blank and len(name) > 2 and rng.random() < 0.2:
            name = name[0] + " " + name[1:]
        if name.lower() not in taken:
            taken.add(name.lower())
            return name


def random_value(rng):
    core = "".join(rng.choice(VALUE_CHARS) for _ in range(rng.randint(0, 24))).strip(" \t")
    roll = rng.random()
    if roll < 0.15:
        core = '"' + core + '"'
    elif roll < 0.25:
        core = "'" + core + "'"
    elif roll < 0.3:
        core = rng.choice("'\"")
    pad = lambda: "".join(rng.choice(" \t") for _ in range(rng.randint(0, 3)))
    return pad() + core + pad()


def make_case(rng):
    eol = "\r\n" if rng.random() < 0.3 else "\n"
    lines = []
    sections = {}
    taken_sections = set()
    for _ in range(rng.randint(1, 6)):
        name = unique_name(rng, taken_sections, inner_blank=True)
        lines.append("[" + name + "]")
        keys = {}
        taken_keys = set()
        for _ in range(rng.randint(0, 8)):
            roll = rng.random()
            if roll < 0.1:
                lines.append("; " + "".join(rng.choice(NAME_CHARS + "=[]") for _ in range(8)))
            elif roll < 0.2:
                lines.append("")
            key = unique_name(rng, taken_keys, inner_blank=False)
            keys[key] = random_value(rng)
            lines.append(key + "=" + keys[key])
        sections[name] = keys
    text = eol.join(lines)
    if rng.random() < 0.8:
        text += eol
    return text, sections


def expectations(rng, path, sections):
    cp = parser()
    cp.read(path, encoding="latin-1")
    rows = []
    for name, keys in sections.items():
        query = random_case(rng, name)
        rows.append((query, None, "dflt", "1" if cp.has_section(name) else "0"))
        for key in keys:
            value = strip_quote_pair(cp.get(name, key.lower()))
            rows.append((query, random_case(rng, key), "dflt", value))
        rows.append((query, "no-such-key", "dflt", "dflt"))
    rows.append(("no-such-section", "k", "dflt", "dflt"))
    rows.append(("no-such-section", None, "x", "0"))
    return rows


def corpus(outdir, seed, count):
    rng = random.Random(seed)
    for i in range(count):
        text, sections = make_case(rng)
        base = "%s/case_%03d" % (outdir, i)
        with open(base + ".ini", "w", encoding="latin-1", newline="") as f:
            f.write(text)
        with open(base + ".expect", "w", encoding="ascii") as f:
            for section, key, default, expected in expectations(rng, base + ".ini", sections):
                f.write("\t".join([hexs(section), "-" if key is None else hexs(key),
                                   hexs(default), hexs(expected)]) + "\n")


def dump(ini, out):
    cp = parser()
    cp.read(ini, encoding="latin-1")
    with open(out, "w", encoding="ascii") as f:
        for section in cp.sections():
            for key, value in cp.items(section):
                f.write("\t".join([hexs(section.lower()), hexs(key), hexs(value)]) + "\n")


def main(argv):
    if len(argv) == 5 and argv[1] == "corpus":
        corpus(argv[2], int(argv[3]), int(argv[4]))
    elif len(argv) >= 4 and len(argv) % 2 == 0 and argv[1] == "dump":
        for i in range(2, len(argv), 2):
            dump(argv[i], argv[i + 1])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
