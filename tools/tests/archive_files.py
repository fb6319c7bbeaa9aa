"""Reading a built archive's files without the builder's code: its INI-form tables and the
zlib streams of its objects."""
import zlib


def profile_sections(path):
    """Sections of an INI-form table: {section: {key: value}}, one pair of quotes dropped."""
    sections, current = {}, None
    with open(path, encoding="latin-1") as f:
        for line in f:
            line = line.strip()
            if line.startswith("[") and line.endswith("]"):
                current = sections.setdefault(line[1:-1], {})
            elif "=" in line and current is not None:
                key, value = line.split("=", 1)
                current[key] = value[1:-1] if len(value) >= 2 and value[0] == value[-1] == '"' else value
    return sections


def zlib_streams(data):
    """The zlib streams of an object, one after another: [(stored length, expanded)]."""
    out = []
    while data:
        stream = zlib.decompressobj()
        plain = stream.decompress(data)
        if not stream.eof:
            raise AssertionError("a zlib stream ends early")
        out.append((len(data) - len(stream.unused_data), plain))
        data = stream.unused_data
    return out


def inflate_all(data):
    """The zlib streams of an object, one after another, expanded."""
    return b"".join(plain for _, plain in zlib_streams(data))
