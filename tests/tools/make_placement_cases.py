#!/usr/bin/python3
"""Writes the series of the --any-size and --pieces tests into tests/data/placement.

Made with Pillow (Debian's python3-pil), as people's files are:

  tight_1..4.gif  matplotlib-like plots saved with a tight bounding box: one
                  height, widths 288, 295, 302 and 309 (the tick labels)
  grow_1..5.gif   pictures that grow and shrink in both directions, on a
                  transparent background
  trim_1..4.gif   pictures trimmed with their page offset kept (as
                  `convert -trim` without +repage): a 120x90 screen, the
                  image a small rectangle at an offset
  anim.gif        an animation Pillow optimised (each frame cropped to what
                  changed, own colour tables, transparency, disposal to
                  background), and piece_1..6.gif: its images exploded one
                  per file, each with the screen, global table and graphic
                  control it has in the animation (as gifsicle --explode)

The files are committed; run this again only to change them:
/usr/bin/python3 make_placement_cases.py
"""

import os
import struct

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "data", "placement")


def sub_blocks_end(data, at):
    while data[at]:
        at += data[at] + 1
    return at + 1


def blocks(data):
    """Screen head (header, screen descriptor, global table) and the list of
    (graphic control extension or b"", image bytes) of a GIF file."""
    packed = data[10]
    at = 13 + (3 << ((packed & 7) + 1) if packed & 0x80 else 0)
    head, images, gce = data[:at], [], b""
    while data[at] != 0x3B:
        if data[at] == 0x21:
            end = sub_blocks_end(data, at + 2)
            if data[at + 1] == 0xF9:
                gce = data[at:end]
            at = end
            continue
        flags = data[at + 9]
        end = at + 10 + (3 << ((flags & 7) + 1) if flags & 0x80 else 0)
        end = sub_blocks_end(data, end + 1)
        images.append((gce, data[at:end]))
        gce = b""
        at = end
    return head, images


def tight():
    for i, width in enumerate([288, 295, 302, 309], 1):
        im = Image.new("RGB", (width, 236), "white")
        d = ImageDraw.Draw(im)
        left = width - 250  # the axes keep to the right; the labels grow on the left
        d.rectangle([left, 10, width - 10, 200], outline=(0, 0, 0))
        d.line([(left + x, 105 - (x * i) % 80) for x in range(0, 240, 4)], fill=(31, 119, 180), width=2)
        d.text((4, 100), str(10 ** (i * 2)), fill=(0, 0, 0))
        im.convert("P", palette=Image.ADAPTIVE).save(os.path.join(OUT, "tight_%d.gif" % i))


def grow():
    for i, (w, h) in enumerate([(40, 30), (64, 40), (90, 70), (50, 80), (30, 20)], 1):
        im = Image.new("RGBA", (w, h), (0, 0, 0, 0))
        d = ImageDraw.Draw(im)
        d.ellipse([2, 2, w - 3, h - 3], fill=(200, 40 * i, 30, 255))
        d.rectangle([w // 3, h // 3, w // 2, h // 2], fill=(0, 0, 255, 255))
        im.save(os.path.join(OUT, "grow_%d.gif" % i))


def trim():
    for i in range(1, 5):
        page = Image.new("RGB", (120, 90), "white")
        d = ImageDraw.Draw(page)
        box = [10 + 15 * i, 5 + 10 * i, 30 + 20 * i, 25 + 12 * i]
        d.ellipse(box, fill=(0, 120, 0))
        d.rectangle([box[0] + 4, box[1] + 4, box[0] + 10, box[1] + 9], fill=(255, 0, 0))
        bbox = page.point(lambda v: 255 - v).getbbox()
        path = os.path.join(OUT, "trim_%d.gif" % i)
        page.crop(bbox).convert("P", palette=Image.ADAPTIVE).save(path)
        # The page stays the screen and the image keeps its place on it.
        head, images = blocks(open(path, "rb").read())
        head = head[:6] + struct.pack("<HH", 120, 90) + head[10:]
        gce, image = images[0]
        image = image[:1] + struct.pack("<HH", bbox[0], bbox[1]) + image[5:]
        open(path, "wb").write(head + gce + image + b"\x3B")


def pieces():
    frames = []
    for i in range(6):
        im = Image.new("RGBA", (60, 40), (0, 0, 0, 0))
        d = ImageDraw.Draw(im)
        d.rectangle([5 + i * 6, 5, 20 + i * 6, 20], fill=(255, 0, 0, 255))
        d.ellipse([30, 10 + i * 3, 45, 25 + i * 3], fill=(0, 0, 255, 255))
        if i % 2:
            d.point([(1, 1)], fill=(0, 200, 0, 255))
        frames.append(im)
    path = os.path.join(OUT, "anim.gif")
    frames[0].save(path, save_all=True, append_images=frames[1:], duration=[80, 120] * 3, loop=0,
                   disposal=2)
    head, images = blocks(open(path, "rb").read())
    for k, (gce, image) in enumerate(images, 1):
        open(os.path.join(OUT, "piece_%d.gif" % k), "wb").write(head + gce + image + b"\x3B")


def main():
    os.makedirs(OUT, exist_ok=True)
    tight()
    grow()
    trim()
    pieces()


if __name__ == "__main__":
    main()
