#!/usr/bin/python3
"""Check a join made with --any-size or --pieces against the documented rule.

    /usr/bin/python3 bench/check_placement.py any-size [--canvas=C] [--align=A]
        [--fill=F] OUTPUT.gif INPUT.gif...
    /usr/bin/python3 bench/check_placement.py pieces OUTPUT.gif ORIGINAL.gif

OUTPUT is composed as browsers compose a GIF (check_render.py beside this
file does the parsing, decoding and drawing). With any-size, every frame
must equal its input's picture placed on the canvas: the input's logical
screen, widened to hold its first image, transparent but where that image
(at its offset, with its own transparent index) draws; placed per --align
(default center; in the middle an odd pixel of margin or cut goes to the
right or bottom) on a canvas of --canvas (largest, first or WxH; default
largest), with --fill around it (corner: the picture's top-left pixel,
transparent, or #RRGGBB; default corner). With pieces, every frame must
equal the same frame of ORIGINAL, the animation the inputs were cut from.
Prints one line and exits 0 when every frame matches, 1 when one does not.
"""

import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_render import GifError, draw, first_difference, normalised, parse  # noqa: E402

ALIGN = {
    "center": (1, 1), "centre": (1, 1), "top-left": (0, 0), "top": (1, 0), "top-right": (2, 0),
    "left": (0, 1), "right": (2, 1), "bottom-left": (0, 2), "bottom": (1, 2),
    "bottom-right": (2, 2),
}


def compose_all(path):
    """Screen size and what shows after each image of the file."""
    with open(path, "rb") as f:
        width, height, frames = parse(f.read())
    canvas = np.zeros((height, width, 4), np.uint8)
    shown = []
    for frame in frames:
        saved = canvas.copy() if frame.disposal == 3 else None
        draw(canvas, frame, frame.left, frame.top)
        shown.append(normalised(canvas))
        if frame.disposal == 2:
            x0, y0 = max(0, frame.left), max(0, frame.top)
            canvas[y0:frame.top + frame.height, x0:frame.left + frame.width] = 0
        elif frame.disposal == 3:
            canvas = saved
    return width, height, shown


def picture(path):
    """The file alone: its screen widened to hold its first image."""
    with open(path, "rb") as f:
        width, height, frames = parse(f.read())
    first = frames[0]
    width = max(width, first.left + first.width)
    height = max(height, first.top + first.height)
    canvas = np.zeros((height, width, 4), np.uint8)
    draw(canvas, first, first.left, first.top)
    return normalised(canvas)


def offset(canvas, size, edge):
    if edge == 0:
        return 0
    if edge == 2:
        return canvas - size
    return int((canvas - size) / 2)  # towards zero


def expected_any_size(inputs, canvas_option, align, fill):
    pictures = [picture(p) for p in inputs]
    if canvas_option == "largest":
        cw = max(p.shape[1] for p in pictures)
        ch = max(p.shape[0] for p in pictures)
    elif canvas_option == "first":
        ch, cw = pictures[0].shape[:2]
    else:
        cw, ch = (int(v) for v in canvas_option.lower().split("x"))
    hx, vy = ALIGN[align]
    out = []
    for pic in pictures:
        ph, pw = pic.shape[:2]
        if fill == "transparent":
            colour = (0, 0, 0, 0)
        elif fill == "corner":
            colour = tuple(int(v) for v in pic[0, 0])
        else:
            colour = tuple(int(fill[i:i + 2], 16) for i in (1, 3, 5)) + (255,)
        frame = np.zeros((ch, cw, 4), np.uint8)
        frame[...] = colour
        x, y = offset(cw, pw, hx), offset(ch, ph, vy)
        x0, y0, x1, y1 = max(0, x), max(0, y), min(cw, x + pw), min(ch, y + ph)
        if x0 < x1 and y0 < y1:
            frame[y0:y1, x0:x1] = pic[y0 - y:y1 - y, x0 - x:x1 - x]
        out.append(normalised(frame))
    return out


def compare(output, expected):
    width, height, shown = compose_all(output)
    if len(shown) != len(expected):
        return False, "%d frames, expected %d" % (len(shown), len(expected))
    for j, (got, want) in enumerate(zip(shown, expected)):
        if got.shape != want.shape:
            return False, "screen %dx%d, expected %dx%d" % (width, height, want.shape[1], want.shape[0])
        diff = first_difference(got, want)
        if diff:
            count, x, y, have, should = diff
            return False, "frame %d differs at (%d, %d): RGBA %s instead of %s; %d pixels differ" % (
                j + 1, x, y, have, should, count)
    return True, "%d frames %dx%d: as documented" % (len(shown), width, height)


def main(argv):
    if len(argv) < 3 or argv[0] not in ("any-size", "pieces"):
        print(__doc__, file=sys.stderr)
        return 2
    mode, rest = argv[0], argv[1:]
    options = {"canvas": "largest", "align": "center", "fill": "corner"}
    while rest and rest[0].startswith("--"):
        name, _, value = rest.pop(0)[2:].partition("=")
        options[name] = value
    output = rest[0]
    try:
        if mode == "pieces":
            expected = compose_all(rest[1])[2]
        else:
            expected = expected_any_size(rest[1:], options["canvas"], options["align"], options["fill"])
        ok, message = compare(output, expected)
    except (GifError, OSError) as e:
        ok, message = False, "unreadable: %s" % e
    print("check_placement: %s: %s" % (output, message))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
