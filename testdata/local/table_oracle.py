# Reads a table file of the local archive with Python's configparser, as an
# independent reader, and writes "section<TAB>KEY<TAB>value" lines to the output
# file. A value written in double quotes is given without them (the writer
# quotes every value).
import configparser
import sys

parser = configparser.ConfigParser(interpolation=None, strict=False, delimiters=('=',),
                                   comment_prefixes=(';',), empty_lines_in_values=False,
                                   default_section='\x00')
parser.optionxform = str.upper
with open(sys.argv[1], encoding='latin-1') as table:
    parser.read_file(table)
with open(sys.argv[2], 'w', encoding='latin-1', newline='\n') as out:
    for section in parser.sections():
        for key, value in parser.items(section, raw=True):
            if len(value) >= 2 and value[0] == '"' and value[-1] == '"':
                value = value[1:-1]
            out.write(f"{section}\t{key}\t{value}\n")
