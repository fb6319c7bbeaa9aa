#!/usr/bin/env python3
"""Checks the image library's rendering against Pillow and its page list against
tiffinfo, on TIFF files written by Pillow and tiffcp.

usage: oracle_test.py ZYPM_RENDER WORK_DIR
Exit 0 when every case passes, 1 on a failure, 77 when Pillow, tiffcp or tiffinfo is missing.
"""
import math
import os
import random
import re
import shutil
import subprocess
import sys

try:
    from PIL import Image, ImageChops, ImageDraw
except ImportError:
    sys.exit(77)
if not shutil.which("tiffcp") or not shutil.which("tiffinfo"):
    sys.exit(77)

TOOL = sys.argv[1]
WORK = sys.argv[2]
failures = []


def check(name, ok, detail=""):
    print(("ok   " if ok else "FAIL ") + name + ("" if ok else ": " + detail))
    if not ok:
        failures.append(name)


def psnr(a, b):
    if a.size != b.size:
        return -1.0
    histogram = ImageChops.difference(a.convert("RGB"), b.convert("RGB")).histogram()
    squares = sum(count * ((i % 256) ** 2) for i, count in enumerate(histogram))
    mse = squares / (a.size[0] * a.size[1] * 3)
    return 99.0 if mse == 0 else 10 * math.log10(255 * 255 / mse)


# ---- the test files ----

def document_like(width, height, seed):
    """A bilevel page: text-like blocks of strokes, rules and a frame; no symmetry."""
    rng = random.Random(seed)
    image = Image.new("1", (width, height), 1)
    draw = ImageDraw.Draw(image)
    draw.rectangle([10, 10, width - 30, height - 60], outline=0, width=3)
    for line in range(30, height - 100, 18):
        x = 30 + rng.randint(0, 20)
        while x < width * (0.5 + 0.4 * ((line * 7) % 13) / 13):
            word = rng.randint(8, 40)
            draw.rectangle([x, line, x + word, line + rng.randint(6, 11)], fill=0)
            x += word + rng.randint(5, 12)
    draw.rectangle([width // 5, height - 50, width // 2, height - 20], fill=0)
    return image


def grey_like(width, height, seed):
    rng = random.Random(seed)
    image = Image.new("L", (width, height))
    pixels = image.load()
    for y in range(height):
        for x in range(width):
            pixels[x, y] = (x * 255 // width + (y * y) // 97 + rng.randint(0, 12)) & 0xFF
    ImageDraw.Draw(image).ellipse([width // 5, height // 6, width // 2, height // 2], fill=20)
    return image


def colour_like(width, height):
    image = Image.new("RGB", (width, height))
    pixels = image.load()
    for y in range(height):
        for x in range(width):
            pixels[x, y] = (x * 255 // width, y * 255 // height, (x + 2 * y) % 256)
    ImageDraw.Draw(image).rectangle([width // 8, height // 8, width // 3, height // 2], fill=(250, 30, 40))
    return image


def palette_like(width, height):
    image = Image.new("P", (width, height))
    image.putpalette([v for i in range(256) for v in ((i * 37) % 256, (i * 91) % 256, (i * 13) % 256)])
    pixels = image.load()
    for y in range(height):
        for x in range(width):
            pixels[x, y] = ((x // 16) * 7 + (y // 12) * 3) % 256
    return image


def make_files():
    files = {}

    def path(name):
        return os.path.join(WORK, name)

    document_like(620, 880, 1).save(path("g4.tif"), compression="group4", dpi=(200, 200))
    files["G4 bilevel"] = path("g4.tif")
    subprocess.run(["tiffcp", "-c", "g3:2d", path("g4.tif"), path("g3.tif")], check=True)
    files["G3 bilevel (tiffcp)"] = path("g3.tif")
    grey_like(300, 220, 2).save(path("lzw_grey.tif"), compression="tiff_lzw")
    files["LZW grey"] = path("lzw_grey.tif")
    colour_like(320, 240).save(path("jpeg_rgb.tif"), compression="jpeg", quality=90)
    files["JPEG RGB"] = path("jpeg_rgb.tif")
    palette_like(200, 150).save(path("palette.tif"), compression="packbits")
    files["PackBits palette"] = path("palette.tif")
    subprocess.run(["tiffcp", "-c", "zip", path("lzw_grey.tif"), path("deflate_grey.tif")], check=True)
    files["Deflate grey (tiffcp)"] = path("deflate_grey.tif")
    subprocess.run(["tiffcp", "-c", "none", path("jpeg_rgb.tif"), path("plain_rgb.tif")], check=True)
    files["uncompressed RGB (tiffcp)"] = path("plain_rgb.tif")
    subprocess.run(["tiffcp", path("g4.tif"), path("lzw_grey.tif"), path("palette.tif"), path("plain_rgb.tif"),
                    path("multi.tif")], check=True)
    files["multi-page (tiffcp)"] = path("multi.tif")
    # Fax pages: twice (and about as) many dots a row as rows an inch.
    document_like(432, 280, 3).save(path("fax_normal.tif"), compression="group3", dpi=(204, 98))
    files["G3 fax 204 x 98 dpi"] = path("fax_normal.tif")
    document_like(432, 540, 4).save(path("fax_fine_g4.tif"), compression="group4", dpi=(204, 196))
    subprocess.run(["tiffcp", "-c", "g3:2d", path("fax_fine_g4.tif"), path("fax_fine.tif")], check=True)
    files["G3 fax 204 x 196 dpi (tiffcp)"] = path("fax_fine.tif")
    return files


# ---- the library through zypm_render ----

def info(path):
    run = subprocess.run([TOOL, "info", path], capture_output=True, text=True)
    if run.returncode != 0:
        raise RuntimeError(run.stderr)
    lines = run.stdout.split("\n")
    count = int(lines[0].split()[1])
    pages = [tuple(map(int, line.split())) for line in lines[1:1 + count]]
    return count, [page[:2] for page in pages], [page[2:] for page in pages]


def render(path, page, zoom, rotation, extra=()):
    out = os.path.join(WORK, "out.png")
    run = subprocess.run([TOOL, "render", path, str(page), str(zoom), str(rotation), out] + [str(e) for e in extra],
                         capture_output=True, text=True)
    if run.returncode != 0:
        raise RuntimeError(run.stderr)
    with Image.open(out) as image:
        return image.convert("RGB")


def tiffinfo_pages(path):
    text = subprocess.run(["tiffinfo", path], capture_output=True, text=True).stdout
    return [(int(w), int(h)) for w, h in re.findall(r"Image Width: (\d+) Image Length: (\d+)", text)]


def pillow_pages(path):
    """Every page in RGB with its resolution (Pillow's dpi, (0, 0) when the file has none)."""
    pages = []
    with Image.open(path) as image:
        count = getattr(image, "n_frames", 1)
    for index in range(count):  # a fresh open per page: Pillow mixes up modes across seeks
        with Image.open(path) as image:
            image.seek(index)
            pages.append((image.convert("RGB"), tuple(float(v) for v in image.info.get("dpi", (0, 0)))))
    return pages


def true_size(page, dpi):
    """The page's size with the axis of the lower resolution stretched to the higher."""
    (width, height), (x, y) = page.size, dpi
    if not x or not y or x == y or max(x, y) / min(x, y) > 4:
        return width, height
    return (width, round(height * x / y)) if x > y else (round(width * y / x), height)


def expected(page, dpi, zoom, rotation):
    width, height = true_size(page, dpi)
    if rotation in (2, 4):
        width, height = height, width
    turned = page.rotate(-90 * (rotation - 1), expand=True)  # clockwise quarter turns
    size = (round(width * zoom / 100), round(height * zoom / 100))
    if size == turned.size:
        return turned
    shrinks = size[0] < turned.size[0] and size[1] < turned.size[1]
    return turned.resize(size, Image.BOX if shrinks else Image.BILINEAR)


# At 100 % the pixels must match (an off-by-one grey map scores about 50 dB); cairo's
# and Pillow's scaling filters differ a little (about 49 dB and up), a misplaced row or
# a wrong turn falls far below. At 30 % (a reduction by 3.33) the two box filters meet
# the strokes of a bilevel page at other phases: about 31 dB.
FLOOR = {100: 60.0, 50: 40.0, 200: 40.0, 30: 28.0}
# A fax page is stretched in one direction: interpolated by both at 100 and 200 % (about
# 58 dB), and at 50 and 30 % reduced by two different amounts a side, where cairo's and
# Pillow's filters part more (25 to 29 dB; a page turned wrong has another size).
STRETCHED_FLOOR = {100: 50.0, 200: 40.0, 50: 24.0, 30: 24.0}


def main():
    os.makedirs(WORK, exist_ok=True)
    files = make_files()
    for name, path in files.items():
        count, sizes, shown = info(path)
        check(f"{name}: page list equals tiffinfo's", sizes == tiffinfo_pages(path) and count == len(sizes),
              f"{count} {sizes} against {tiffinfo_pages(path)}")
        for index, (page, dpi) in enumerate(pillow_pages(path)):
            stretched = true_size(page, dpi) != page.size
            check(f"{name} page {index + 1}: shown size", shown[index] == true_size(page, dpi),
                  f"{shown[index]} against {true_size(page, dpi)}")
            for rotation in (1, 2, 3, 4):
                for zoom in (100, 50, 200, 30):
                    want = expected(page, dpi, zoom, rotation)
                    got = render(path, index, zoom, rotation)
                    value = psnr(got, want)
                    floor = STRETCHED_FLOOR[zoom] if stretched else FLOOR[zoom]
                    check(f"{name} page {index + 1} rotation {rotation} zoom {zoom}", value >= floor,
                          f"PSNR {value:.1f} dB, sizes {got.size} and {want.size}")
    # Grey mode follows the usual luma weights; contrast 0 flattens to middle grey,
    # full brightness to white.
    page = pillow_pages(files["uncompressed RGB (tiffcp)"])[0][0]
    grey = render(files["uncompressed RGB (tiffcp)"], 0, 100, 1, (128, 128, 4))
    value = psnr(grey, page.convert("L").convert("RGB"))
    check("grey mode against Pillow's L conversion", value >= 40.0, f"PSNR {value:.1f} dB")
    flat = render(files["LZW grey"], 0, 100, 1, (0, 128, 1))
    check("contrast 0 gives middle grey", flat.getextrema() == ((128, 128),) * 3, str(flat.getextrema()))
    white = render(files["LZW grey"], 0, 100, 1, (128, 255, 1))
    check("brightness 255 gives white", white.getextrema() == ((255, 255),) * 3, str(white.getextrema()))
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


sys.exit(main())
