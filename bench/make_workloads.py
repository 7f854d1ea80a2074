#!/usr/bin/python3
"""Make the benchmark series with Pillow, an encoder independent of ours.

    /usr/bin/python3 bench/make_workloads.py DIR [plots|photo|all] [COUNT] [--no-interlace]

plots: COUNT (default 200) files plots_1.gif ... of 800x600: white
       background, a black frame, eight sine curves 2 px wide in different
       colours that move from frame to frame, and a short text label.
photo: COUNT (default 40) files photo_1.gif ... of 640x480: smooth colour
       waves that move, quantised with Floyd-Steinberg dithering.

Every file of a series carries the same 256-entry global colour table.

Frames are written interlaced, as Pillow writes GIFs by default and as
most people's files therefore are; --no-interlace writes them with their
rows in order instead (--interlace, the default, is also accepted).

Files that exist already are kept when they are written the asked way, so
a longer series extends a shorter one; a file written the other way
(interlaced or not) is written again.
"""

import math
import os
import sys

from PIL import Image, ImageDraw, ImageFont

PLOTS_SIZE = (800, 600)
PHOTO_SIZE = (640, 480)

CURVE_COLOURS = [
    (220, 20, 60),
    (30, 144, 255),
    (34, 139, 34),
    (255, 140, 0),
    (148, 0, 211),
    (0, 206, 209),
    (199, 21, 133),
    (128, 128, 0),
]


def plots_palette():
    """White, black, the curve colours, then a grey ramp up to 256 entries."""
    colours = [(255, 255, 255), (0, 0, 0)] + CURVE_COLOURS
    while len(colours) < 256:
        g = (len(colours) - 10) * 255 // 245
        colours.append((g, (g * 7) % 256, 255 - g))
    return [c for rgb in colours for c in rgb]


def photo_palette():
    """A fixed 8 x 8 x 4 colour cube: 256 entries."""
    colours = []
    for r in range(8):
        for g in range(8):
            for b in range(4):
                colours.append((r * 255 // 7, g * 255 // 7, b * 255 // 3))
    return [c for rgb in colours for c in rgb]


def save(image, path, interlace):
    image.save(path, format="GIF", optimize=False, interlace=interlace)


def first_image_interlaced(path):
    """The interlace flag of the file's first image, or None if unreadable."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return None
    if len(data) < 13 or data[:3] != b"GIF":
        return None
    at = 13
    if data[10] & 0x80:
        at += 3 << ((data[10] & 7) + 1)
    while at < len(data):
        kind = data[at]
        if kind == 0x2C:
            return bool(data[at + 9] & 0x40) if at + 9 < len(data) else None
        if kind != 0x21 or at + 2 > len(data):
            return None
        at += 2  # introducer and label, then sub-blocks up to the terminator
        while at < len(data) and data[at] != 0:
            at += data[at] + 1
        at += 1
    return None


def make_plot(index, count, palette):
    width, height = PLOTS_SIZE
    image = Image.new("P", PLOTS_SIZE, 0)
    image.putpalette(palette)
    draw = ImageDraw.Draw(image)
    draw.rectangle([10, 10, width - 11, height - 11], outline=1, width=2)
    t = 2.0 * math.pi * (index - 1) / max(count, 1)
    for c in range(8):
        amplitude = 30 + 8 * c
        wavelength = 120 + 45 * c
        centre = 80 + c * 60
        phase = c * 0.7 + t * (1 + c % 3)
        points = []
        for x in range(12, width - 12, 2):
            y = centre + amplitude * math.sin(2 * math.pi * x / wavelength + phase)
            points.append((x, max(12, min(height - 13, y))))
        draw.line(points, fill=2 + c, width=2)
    font = ImageFont.load_default()
    draw.text((20, 16), "step %d  t = %.2f s" % (index, 0.05 * index), fill=1, font=font)
    return image


def make_photo(index, count, palette_image):
    # Smooth waves computed on a coarse grid, then scaled up: smooth
    # everywhere, and cheap without numpy.
    width, height = PHOTO_SIZE
    cw, ch = width // 4, height // 4
    t = 2.0 * math.pi * (index - 1) / max(count, 1)
    data = []
    for y in range(ch):
        for x in range(cw):
            u, v = x / cw, y / ch
            r = math.sin(6.0 * u + 2.0 * v + t)
            g = math.sin(5.0 * math.hypot(u - 0.5, v - 0.4) * 4.0 - 2.0 * t)
            b = math.cos(3.0 * u - 7.0 * v + 0.5 * t) * math.sin(4.0 * v + t)
            data.append(
                (
                    int(127.5 + 127 * r),
                    int(127.5 + 127 * g),
                    int(127.5 + 127 * b),
                )
            )
    coarse = Image.new("RGB", (cw, ch))
    coarse.putdata(data)
    rgb = coarse.resize(PHOTO_SIZE, Image.Resampling.BICUBIC)
    return rgb.quantize(palette=palette_image, dither=Image.Dither.FLOYDSTEINBERG)


def check_palette(path):
    with open(path, "rb") as f:
        head = f.read(13)
    packed = head[10]
    if not packed & 0x80 or (packed & 7) != 7:
        sys.exit("%s: global colour table is not 256 entries" % path)


def make_series(directory, kind, count, interlace):
    if kind == "plots":
        palette = plots_palette()
    else:
        palette = photo_palette()
        palette_image = Image.new("P", (1, 1))
        palette_image.putpalette(palette)
    made = 0
    for i in range(1, count + 1):
        path = os.path.join(directory, "%s_%d.gif" % (kind, i))
        if os.path.exists(path) and first_image_interlaced(path) == interlace:
            continue
        if kind == "plots":
            # Curves repeat with a period of 200 frames whatever the count,
            # so a longer series is the shorter one continued.
            image = make_plot(i, 200, palette)
        else:
            image = make_photo(i, 40, palette_image)
        save(image, path, interlace)
        check_palette(path)
        made += 1
    print(
        "%s: %d files in %s (%d new, %s)"
        % (kind, count, directory, made, "interlaced" if interlace else "sequential")
    )


def main(argv):
    args = [a for a in argv[1:] if not a.startswith("--")]
    options = [a for a in argv[1:] if a.startswith("--")]
    unknown = [a for a in options if a not in ("--interlace", "--no-interlace")]
    if not args or unknown or len(args) > 3:
        sys.exit(__doc__)
    interlace = "--no-interlace" not in options
    directory = args[0]
    which = args[1] if len(args) > 1 else "all"
    count = int(args[2]) if len(args) > 2 else None
    os.makedirs(directory, exist_ok=True)
    if which in ("plots", "all"):
        make_series(directory, "plots", count or 200, interlace)
    if which in ("photo", "all"):
        make_series(directory, "photo", count or 40, interlace)


if __name__ == "__main__":
    main(sys.argv)
