#!/usr/bin/env python3
"""Writes the fuzz seed corpus of the image library: small TIFF files in every
compression and colour kind it reads, and a two-page file.

usage: make_corpus.py   (needs Pillow and libtiff's tiffcp)
"""
import os
import subprocess

from PIL import Image, ImageDraw

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fuzz_corpus")
os.makedirs(HERE, exist_ok=True)


def path(name):
    return os.path.join(HERE, name)


bilevel = Image.new("1", (40, 24), 1)
ImageDraw.Draw(bilevel).rectangle([4, 4, 20, 12], fill=0)
bilevel.save(path("g4.tif"), compression="group4")
subprocess.run(["tiffcp", "-c", "g3", path("g4.tif"), path("g3.tif")], check=True)
bilevel.save(path("packbits_bilevel.tif"), compression="packbits")
grey = Image.linear_gradient("L").resize((24, 16))
grey.save(path("lzw_grey.tif"), compression="tiff_lzw")
grey.save(path("deflate_grey.tif"), compression="tiff_adobe_deflate")
colour = Image.merge("RGB", (grey, grey.transpose(Image.FLIP_LEFT_RIGHT), grey.transpose(Image.FLIP_TOP_BOTTOM)))
colour.resize((32, 32)).save(path("jpeg_rgb.tif"), compression="jpeg")
colour.save(path("raw_rgb.tif"))
colour.quantize(16).save(path("palette.tif"))
subprocess.run(["tiffcp", path("g4.tif"), path("lzw_grey.tif"), path("two_pages.tif")], check=True)
