#!/usr/bin/env python3
"""Renders each scene with Pillow from the drawing rules in docs/window-drawing.md and
compares it with the PNG the window layer draws for the same scene.

usage: gdi_pillow_compare.py RENDERER SCENE_DIR
A scene passes when at most `tolerance` pixels differ (by more than 8 in a channel).
"""
import os
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw


def colour(text):
    value = int(text, 16)
    return ((value >> 16) & 255, (value >> 8) & 255, value & 255)


def load_picture(path):
    with open(path) as handle:
        lines = handle.read().split("\n")
    width, height, count = (int(v) for v in lines[0].split())
    palette = {}
    for line in lines[1:1 + count]:
        palette[line[0]] = colour(line[3:9])
    image = Image.new("RGB", (width, height))
    for y, row in enumerate(lines[1 + count:1 + count + height]):
        for x, char in enumerate(row):
            image.putpixel((x, y), palette[char])
    return image


class Painter:
    def __init__(self, directory):
        self.directory = directory
        self.image = None
        self.pen = ("solid", 1, (0, 0, 0))
        self.brush = (255, 255, 255)
        self.rop = "copy"
        self.opaque = True
        self.background = (255, 255, 255)
        self.tolerance = 0

    def paint(self, pixels, rgb):
        """Colours a set of (x, y) under the raster mode."""
        width, height = self.image.size
        for x, y in pixels:
            if not (0 <= x < width and 0 <= y < height):
                continue
            if self.rop in ("not", "xor"):
                r, g, b = self.image.getpixel((x, y))
                self.image.putpixel((x, y), (255 - r, 255 - g, 255 - b))
            elif self.rop == "black":
                self.image.putpixel((x, y), (0, 0, 0))
            elif self.rop == "white":
                self.image.putpixel((x, y), (255, 255, 255))
            else:
                self.image.putpixel((x, y), rgb)

    def pen_band(self, coordinate):
        """The rows (or columns) a pen covers around one pixel row."""
        width = self.pen[1]
        return range(coordinate - (width - 1) // 2, coordinate + width // 2 + 1)

    def axis_line(self, x0, y0, x1, y1):
        style, width, rgb = self.pen
        horizontal = y0 == y1
        start, end = (x0, x1) if horizontal else (y0, y1)
        step = 1 if end > start else -1
        on, off = {"dash": (18 * width, 6 * width), "dot": (3 * width, 3 * width)}.get(style, (1, 0))
        drawn, gaps = set(), set()
        for index, along in enumerate(range(start, end, step)):
            lit = off == 0 or index % (on + off) < on
            for across in self.pen_band(y0 if horizontal else x0):
                point = (along, across) if horizontal else (across, along)
                (drawn if lit else gaps).add(point)
        if gaps and self.opaque and self.rop == "copy":
            self.paint(gaps, self.background)
        self.paint(drawn, rgb)

    def line(self, x0, y0, x1, y1):
        style, width, rgb = self.pen
        if style == "null":
            return
        if x0 == x1 or y0 == y1:
            self.axis_line(x0, y0, x1, y1)
            return
        scratch = Image.new("1", self.image.size, 0)
        ImageDraw.Draw(scratch).line([(x0, y0), (x1, y1)], fill=1, width=width)
        pixels = {(x, y) for x in range(scratch.width) for y in range(scratch.height)
                  if scratch.getpixel((x, y)) and (x, y) != (x1, y1)}
        self.paint(pixels, rgb)

    def rect(self, left, top, right, bottom):
        style, width, rgb = self.pen
        if style == "null":
            if self.brush is not None:
                self.paint({(x, y) for x in range(left, right - 1) for y in range(top, bottom - 1)}, self.brush)
            return
        outer_x = range(left - (width - 1) // 2, right - 1 + width // 2 + 1)
        outer_y = range(top - (width - 1) // 2, bottom - 1 + width // 2 + 1)
        inner_x = range(left + width // 2 + 1, right - 1 - (width - 1) // 2)
        inner_y = range(top + width // 2 + 1, bottom - 1 - (width - 1) // 2)
        inside = {(x, y) for x in inner_x for y in inner_y}
        if self.brush is not None:
            self.paint(inside, self.brush)
        self.paint({(x, y) for x in outer_x for y in outer_y} - inside, rgb)

    def run(self, command, args):
        if command == "size":
            self.image = Image.new("RGB", (int(args[0]), int(args[1])), (255, 255, 255))
        elif command == "fill":
            left, top, right, bottom = (int(v) for v in args[:4])
            if right > left and bottom > top:
                ImageDraw.Draw(self.image).rectangle([left, top, right - 1, bottom - 1], fill=colour(args[4]))
        elif command == "pen":
            self.pen = (args[0], max(1, int(args[1])), colour(args[2]))
        elif command == "brush":
            self.brush = None if args[0] == "null" else colour(args[0])
        elif command == "rop":
            self.rop = args[0]
        elif command == "bkmode":
            self.opaque = args[0] == "opaque"
        elif command == "bkcolor":
            self.background = colour(args[0])
        elif command == "line":
            self.line(*(int(v) for v in args))
        elif command == "rect":
            self.rect(*(int(v) for v in args))
        elif command == "bitmap":
            self.image.paste(load_picture(os.path.join(self.directory, args[0])), (int(args[1]), int(args[2])))
        elif command == "stretch":
            x, y, w, h, sx, sy, sw, sh = (int(v) for v in args[1:])
            picture = load_picture(os.path.join(self.directory, args[0]))
            part = picture.crop((sx, sy, sx + sw, sy + sh)).resize((w, h), Image.NEAREST)
            self.image.paste(part, (x, y))
        elif command == "tolerance":
            self.tolerance = int(args[0])
        else:
            raise ValueError("unknown command " + command)


def expected_image(scene_path):
    painter = Painter(os.path.dirname(scene_path))
    with open(scene_path) as handle:
        for line in handle:
            words = line.split("#", 1)[0].split()
            if words:
                painter.run(words[0], words[1:])
    return painter.image, painter.tolerance


def compare(renderer, scene_path, work):
    out = os.path.join(work, os.path.basename(scene_path) + ".png")
    result = subprocess.run([renderer, scene_path, out], capture_output=True, text=True)
    if result.returncode != 0:
        return "renderer failed: " + result.stderr.strip()
    drawn = Image.open(out).convert("RGB")
    expected, tolerance = expected_image(scene_path)
    if drawn.size != expected.size:
        return "size %s, expected %s" % (drawn.size, expected.size)
    differing = []
    for y in range(drawn.height):
        for x in range(drawn.width):
            a, b = drawn.getpixel((x, y)), expected.getpixel((x, y))
            if max(abs(p - q) for p, q in zip(a, b)) > 8:
                differing.append((x, y, a, b))
    if len(differing) > tolerance:
        expected.save(out.replace(".png", ".expected.png"))
        return "%d pixels differ (tolerance %d), first %s; images in %s" % (
            len(differing), tolerance, differing[:5], work)
    return None


def main():
    renderer, scene_dir = sys.argv[1], sys.argv[2]
    scenes = sorted(f for f in os.listdir(scene_dir) if f.endswith(".scene"))
    if not scenes:
        print("no scenes in " + scene_dir)
        return 1
    work = tempfile.mkdtemp(prefix="qelwin-pillow-")
    failures = 0
    for name in scenes:
        problem = compare(renderer, os.path.join(scene_dir, name), work)
        print("%-24s %s" % (name, problem or "ok"))
        failures += problem is not None
    if failures == 0:
        for leftover in os.listdir(work):
            os.unlink(os.path.join(work, leftover))
        os.rmdir(work)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
