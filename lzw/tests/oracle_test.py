#!/usr/bin/env python3
"""Checks the LZW library against outside decoders and encoders:
libtiff's tiffcp for TIFF strips (modes 2 and 3) and Pillow for GIF (mode 1).

usage: oracle_test.py LZW_TOOL WORK_DIR
Exit 0 when every case passes, 1 on a failure, 77 when tiffcp or Pillow is missing.
"""
import os
import random
import shutil
import struct
import subprocess
import sys

TOOL = sys.argv[1]
WORK = sys.argv[2]
failures = []


def check(name, ok, detail=""):
    print(("ok   " if ok else "FAIL ") + name + ("" if ok else ": " + detail))
    if not ok:
        failures.append(name)


def tool(verb, mode, bits, samples, row, data):
    run = subprocess.run([TOOL, verb, str(mode), str(bits), str(samples), str(row)],
                         input=data, capture_output=True)
    if run.returncode != 0:
        raise RuntimeError(f"lzw_tool {verb} failed: {run.stderr.decode()}")
    return run.stdout


def image_like(size, seed):
    rng = random.Random(seed)
    out = bytearray(size)
    value = 128
    for i in range(size):
        if (i // 700) % 4 == 3:
            out[i] = value
            continue
        value = (value + rng.randint(-2, 2) + (rng.randint(-9, 9) if rng.random() < 0.1 else 0)) & 0xFF
        out[i] = value
    return bytes(out)


# ---- TIFF: a minimal little-endian one-strip writer and a strip reader ----

def write_tiff(path, width, height, samples, compression, predictor, strip, bits=8):
    tags = [
        (256, 4, 1, width), (257, 4, 1, height),
        (258, 3, 1, bits) if samples == 1 else None,
        (259, 3, 1, compression), (262, 3, 1, 1 if samples == 1 else 2),
        (273, 4, 1, 0),  # strip offset, patched below
        (277, 3, 1, samples), (278, 4, 1, height), (279, 4, 1, len(strip)),
        (284, 3, 1, 1), (317, 3, 1, predictor),
    ]
    tags = [t for t in tags if t]
    extra = b""
    if samples > 1:  # BitsPerSample as an array of shorts
        tags.append((258, 3, samples, None))
    tags.sort()
    ifd_size = 2 + 12 * len(tags) + 4
    bits_off = 8 + ifd_size
    if samples > 1:
        extra = struct.pack("<%dH" % samples, *([8] * samples))
    strip_off = bits_off + len(extra)
    entries = b""
    for tag, typ, count, value in tags:
        if tag == 273:
            value = strip_off
        if tag == 258 and value is None:
            entries += struct.pack("<HHII", tag, typ, count, bits_off)
        elif typ == 3:
            entries += struct.pack("<HHIHH", tag, typ, count, value, 0)
        else:
            entries += struct.pack("<HHII", tag, typ, count, value)
    with open(path, "wb") as f:
        f.write(b"II*\0" + struct.pack("<I", 8) + struct.pack("<H", len(tags)) + entries +
                struct.pack("<I", 0) + extra + strip)


def read_strips(path):
    """Concatenated raw strips and the tags of the first image of a little-endian TIFF."""
    data = open(path, "rb").read()
    assert data[:4] == b"II*\0", "expected a little-endian TIFF"
    (ifd,) = struct.unpack_from("<I", data, 4)
    (n,) = struct.unpack_from("<H", data, ifd)
    tags = {}
    sizes = {3: 2, 4: 4}
    for i in range(n):
        tag, typ, count, raw = struct.unpack_from("<HHI4s", data, ifd + 2 + 12 * i)
        size = sizes.get(typ)
        if size is None:
            continue
        where = raw if size * count <= 4 else data[struct.unpack("<I", raw)[0]:][:size * count]
        fmt = "<%d%s" % (count, "H" if size == 2 else "I")
        tags[tag] = list(struct.unpack_from(fmt, where))
    strips = b"".join(data[o:o + c] for o, c in zip(tags[273], tags[279]))
    return strips, tags


def tiffcp(args, src, dst):
    run = subprocess.run(["tiffcp"] + args + [src, dst], capture_output=True)
    if run.returncode != 0:
        raise RuntimeError("tiffcp failed: " + run.stderr.decode())


def text_page(width, height, bits, seed):
    """A rendered text page: words of short strokes on white (0 bits or 0xFF bytes)."""
    rng = random.Random(seed)
    ink = [bytearray(width) for _ in range(height)]
    for top in range(8, height - 14, 18):
        x = 6 + rng.randrange(8)
        while x + 8 < width:
            h, w = 3 + rng.randrange(9), 1 + rng.randrange(3)
            for y in range(h):
                for dx in range(w):
                    ink[top + 12 - y][x + dx] = 1
            x += 4 + rng.randrange(12 if rng.random() < 0.8 else 60)
    if bits == 8:
        return bytes(255 - 255 * (2 * r[x] + (r[x - 1] if x else 0) + (r[x + 1] if x + 1 < width else 0)) // 4
                     for r in ink for x in range(width))
    return pack_pixels([p for r in ink for p in r], width, 1)


def tiff_cases():
    cases = [  # name, width, height, samples, bits, data
        ("gray image-like", 301, 211, 1, 8, image_like(301 * 211, 1)),
        ("gray random", 97, 400, 1, 8, bytes(random.Random(2).randrange(256) for _ in range(97 * 400))),
        ("gray flat", 640, 480, 1, 8, bytes(640 * 480)),
        ("gray all 0xFF", 1000, 333, 1, 8, b"\xff" * (1000 * 333)),
        ("gray text page", 850, 300, 1, 8, text_page(850, 300, 8, 4)),
        ("1-bit text page", 1701, 500, 1, 1, text_page(1701, 500, 1, 5)),
        ("1-bit blank page", 2550, 400, 1, 1, bytes(319 * 400)),
        ("rgb image-like", 123, 77, 3, 8, image_like(123 * 77 * 3, 3)),
        ("one pixel", 1, 1, 1, 8, b"\x7f"),
    ]
    for name, w, h, spp, bits, data in cases:
        for mode in (2, 3):
            if mode == 3 and bits != 8:
                continue  # the predictor is for 8-bit samples
            if mode == 2 and spp != 1:
                continue
            tag = f"{name} mode {mode}"
            ours = os.path.join(WORK, "ours.tif")
            plain = os.path.join(WORK, "plain.tif")
            # Our stream inside a TIFF, unpacked by libtiff.
            stream = tool("encode", mode, 8, spp, w, data)
            write_tiff(ours, w, h, spp, 5, 2 if mode == 3 else 1, stream, bits)
            tiffcp(["-c", "none"], ours, plain)
            decoded, _ = read_strips(plain)
            check(f"libtiff decodes ours: {tag}", decoded == data,
                  f"{len(decoded)} bytes, first difference at "
                  f"{next((i for i, (a, b) in enumerate(zip(decoded, data)) if a != b), -1)}")
            # libtiff's own stream, one strip, decoded by us.
            write_tiff(plain, w, h, spp, 1, 1, data, bits)
            tiffcp(["-c", "lzw:2" if mode == 3 else "lzw", "-r", str(h)], plain, ours)
            strip, tags = read_strips(ours)
            check(f"tiffcp strip has one strip: {tag}", len(tags[273]) == 1)
            ok = tool("decode", mode, 8, spp, w, strip) == data
            check(f"we decode libtiff's strip: {tag}", ok)


# ---- GIF: a minimal GIF89a writer and an image-data reader ----

def pack_pixels(pixels, width, bits):
    out = bytearray()
    for y in range(0, len(pixels), width):
        acc, count = 0, 0
        for p in pixels[y:y + width]:
            acc = (acc << bits) | p
            count += bits
            if count == 8:
                out.append(acc)
                acc, count = 0, 0
        if count:
            out.append(acc << (8 - count))
    return bytes(out)


def unpack_pixels(data, width, height, bits):
    row_bytes = (width * bits + 7) // 8
    pixels = []
    for y in range(height):
        row = data[y * row_bytes:(y + 1) * row_bytes]
        for x in range(width):
            bit = x * bits
            pixels.append((row[bit // 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1))
    return pixels


def write_gif(path, width, height, bits, stream):
    colours = 1 << max(bits, 1)
    table = b"".join(bytes((c * 255 // (colours - 1),) * 3) for c in range(colours))
    size_field = max(bits, 1) - 1
    blocks = b"".join(bytes((len(stream[i:i + 255]),)) + stream[i:i + 255]
                      for i in range(0, len(stream), 255))
    with open(path, "wb") as f:
        f.write(b"GIF89a" + struct.pack("<HHBBB", width, height, 0x80 | size_field, 0, 0) + table)
        f.write(b"," + struct.pack("<HHHHB", 0, 0, width, height, 0))
        f.write(bytes((max(bits, 2),)) + blocks + b"\0;")


def read_gif_stream(data):
    """(minimum code size, palette, LZW bytes) of the first image."""
    pos = 13
    flags = data[10]
    palette = b""
    if flags & 0x80:
        palette = data[pos:pos + (3 << ((flags & 7) + 1))]
        pos += len(palette)
    while data[pos] == 0x21:  # extensions
        pos += 2
        while data[pos]:
            pos += data[pos] + 1
        pos += 1
    assert data[pos] == 0x2C, "image descriptor expected"
    local = data[pos + 9]
    assert not local & 0x40, "interlaced rows are not expected"
    pos += 10
    if local & 0x80:
        palette = data[pos:pos + (3 << ((local & 7) + 1))]
        pos += len(palette)
    min_size = data[pos]
    pos += 1
    out = bytearray()
    while data[pos]:
        out += data[pos + 1:pos + 1 + data[pos]]
        pos += data[pos] + 1
    return min_size, palette, bytes(out)


def gif_cases(Image):
    rng = random.Random(5)
    for bits in (1, 2, 4, 8):
        colours = 1 << bits
        for w, h in ((37, 23), (200, 150), (1, 1)):
            # Every colour is used, so Pillow keeps a palette of the same size.
            pixels = [(x * 3 + y * 7 + (rng.random() < 0.05)) % colours
                      for y in range(h) for x in range(w)]
            tag = f"{bits} bits {w}x{h}"
            path = os.path.join(WORK, "ours.gif")
            write_gif(path, w, h, bits, tool("encode", 1, bits, 1, w, pack_pixels(pixels, w, bits)))
            grey = [c * 255 // (colours - 1) for c in range(colours)]
            with Image.open(path) as im:
                seen = list(im.convert("L").getdata())
            check(f"Pillow decodes ours: {tag}", seen == [grey[p] for p in pixels])
            # Pillow's GIF, decoded by us. Pillow may reorder the palette, so indexes
            # are compared through the palette it wrote.
            im = Image.new("P", (w, h))
            im.putpalette([v for c in range(colours) for v in (c, c, c)] + [0, 0, 0] * (256 - colours))
            im.putdata(pixels)
            im.save(path, "GIF", optimize=False, interlace=False)
            min_size, palette, stream = read_gif_stream(open(path, "rb").read())
            if min_size not in (2, 4, 8):
                check(f"Pillow's code size {min_size} is one we take: {tag}", False)
                continue
            indexes = unpack_pixels(tool("decode", 1, min_size, 1, w, stream), w, h, min_size)
            check(f"we decode Pillow's GIF: {tag}", [palette[3 * i] for i in indexes] == pixels)


def main():
    os.makedirs(WORK, exist_ok=True)
    if shutil.which("tiffcp") is None:
        print("SKIP: tiffcp (libtiff-tools) is not installed")
        return 77
    try:
        from PIL import Image
    except ImportError:
        print("SKIP: Pillow (python3-pil) is not installed for " + sys.executable)
        return 77
    tiff_cases()
    gif_cases(Image)
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
