# Parses an annotation file (aqk%05d.not) with Python's struct module from the
# layout in docs/archive.md and prints one line per record:
# user|name|flags|time|p1|p2|p3|fields-hex|text|data-hex
import struct
import sys

data = open(sys.argv[1], 'rb').read()
at = 0
while at < len(data):
    (length,) = struct.unpack_from('<I', data, at)
    rec = data[at:at + length]
    assert len(rec) == length, 'record runs past the end of the file'
    user, name, flags, time, p1, p2, p3, fields, textlen = struct.unpack_from('<I21sIq3i32sI', rec, 4)
    text = rec[89:89 + textlen]
    assert text.endswith(b'\0'), 'text without terminator'
    rest = rec[89 + textlen:]
    assert rest[:2] == b'\0\0', 'reserved bytes not zero'
    attached = b''
    if len(rest) > 2:
        (datalen,) = struct.unpack_from('<I', rest, 2)
        attached = rest[6:]
        assert len(attached) == datalen, 'attached data length'
    print('|'.join([str(user), name.split(b'\0')[0].decode('latin-1'), str(flags), str(time),
                    str(p1), str(p2), str(p3), fields.hex(), text[:-1].decode('latin-1'), attached.hex()]))
    at += length
