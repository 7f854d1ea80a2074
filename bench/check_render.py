#!/usr/bin/python3
"""Check that an animation shows every input file as that file looks alone.

    /usr/bin/python3 bench/check_render.py [--delay CS] [--exact-frames]
        INPUTS LOW HIGH OUTPUT.gif [OUTPUT.gif ...]

INPUTS is a base name (the files are INPUTS_LOW.gif ... INPUTS_HIGH.gif) or
a file name with one printf conversion for the index (dir/plot_%d.gif,
frame_%03d.gif).

Each OUTPUT is composed as browsers compose a GIF: a canvas of the logical
screen's size, fully transparent at the start; each image drawn in its
rectangle (clipped to the screen) skipping its transparent index, with its
own colour table (local if present, else global) and an index beyond that
table's size as opaque black; then its disposal: 0, 1 and 4-7 keep the
canvas, 2 clears the image's rectangle to transparent, 3 puts back the
canvas as it was before the image. After each image the canvas is compared
in RGBA (colours of fully transparent pixels ignored) with its input file
rendered alone: the file's first image at (0,0) on a transparent canvas of
the file's screen size (which must be the output's), its own colour table,
its own transparent index.

Frames are matched in time. Every input is shown for CS hundredths of a
second (--delay, default 30): an output with as many frames as inputs must
have that delay on every frame; an output with fewer frames (a tool that
merged identical frames into one longer one) passes when every frame starts
and ends on an input's boundary and equals every input it stands for.
--exact-frames fails such an output. A frame with delay 0 (shown for about
10 hundredths by browsers) fails when CS is not 0.

The GIF blocks are parsed here; Pillow only decodes each image's LZW data,
handed to it as a one-image file. Prints one line per output and exits 0
when all are lossless, 1 when one is not, 2 on a usage error or an input
that cannot be read. The lines read

    check_render: OUTPUT: 60 frames: lossless
    check_render: OUTPUT: 59 frames: lossless; identical frames merged (60 inputs)
    check_render: OUTPUT: 40 frames: NOT lossless: frame 2 (sprite_2.gif) differs ...
"""

import io
import struct
import sys

import numpy as np
from PIL import Image


class GifError(Exception):
    pass


class InputError(Exception):
    pass


class Frame:
    __slots__ = ("left", "top", "width", "height", "table", "interlaced", "data",
                 "transparent", "disposal", "delay")


# A 256-entry table that Pillow cannot take for grey, so it keeps mode P and
# hands back the raw indices.
DUMMY_TABLE = bytes(c for i in range(256) for c in (i, 255 - i, 7))


def read_sub_blocks(data, at):
    """Position after the sub-blocks starting at `at` (after the terminator)."""
    n = len(data)
    while True:
        if at >= n:
            raise GifError("file ends inside data sub-blocks")
        size = data[at]
        at += 1
        if size == 0:
            return at
        at += size


def parse(data):
    """Screen size and the list of frames of a GIF file's bytes."""
    if len(data) < 13 or data[:3] != b"GIF":
        raise GifError("not a GIF file")
    width, height, packed = struct.unpack_from("<HHB", data, 6)
    at = 13
    global_table = None
    if packed & 0x80:
        size = 3 << ((packed & 7) + 1)
        global_table = data[at:at + size]
        if len(global_table) < size:
            raise GifError("file ends inside the global colour table")
        at += size
    frames = []
    gce = None
    n = len(data)
    while True:
        if at >= n:
            # No trailer: browsers show what was read.
            break
        kind = data[at]
        if kind == 0x3B:
            break
        if kind == 0x21:
            if at + 2 > n:
                raise GifError("file ends inside an extension")
            label = data[at + 1]
            if label == 0xF9 and at + 7 < n and data[at + 2] >= 4:
                flags, delay, index = struct.unpack_from("<BHB", data, at + 3)
                gce = ((flags >> 2) & 7, delay, index if flags & 1 else None)
            at = read_sub_blocks(data, at + 2)
            continue
        if kind != 0x2C:
            raise GifError("unknown block 0x%02X at offset %d" % (kind, at))
        if at + 10 > n:
            raise GifError("file ends inside an image descriptor")
        f = Frame()
        f.left, f.top, f.width, f.height, flags = struct.unpack_from("<HHHHB", data, at + 1)
        at += 10
        f.interlaced = bool(flags & 0x40)
        if flags & 0x80:
            size = 3 << ((flags & 7) + 1)
            f.table = data[at:at + size]
            if len(f.table) < size:
                raise GifError("file ends inside a local colour table")
            at += size
        else:
            f.table = global_table
        start = at
        at = read_sub_blocks(data, at + 1)
        f.data = data[start:at]
        f.disposal, f.delay, f.transparent = gce if gce else (0, 0, None)
        gce = None
        frames.append(f)
    return width, height, frames


def decode_indices(frame):
    """The image's pixel values, rows in order: uint8 array (height, width)."""
    if frame.width == 0 or frame.height == 0:
        return np.zeros((frame.height, frame.width), np.uint8)
    min_code_size = frame.data[0]
    if not 2 <= min_code_size <= 8:
        raise GifError("LZW minimum code size %d" % min_code_size)
    blob = (
        b"GIF89a"
        + struct.pack("<HHBBB", frame.width, frame.height, 0xF7, 0, 0)
        + DUMMY_TABLE
        + b"\x2C"
        + struct.pack("<HHHHB", 0, 0, frame.width, frame.height, 0x40 if frame.interlaced else 0)
        + frame.data
        + b"\x3B"
    )
    try:
        with Image.open(io.BytesIO(blob)) as im:
            im.load()
            if im.mode != "P":
                raise GifError("Pillow decoded the image as %s" % im.mode)
            raw = im.tobytes()
    except GifError:
        raise
    except Exception as e:  # Pillow's errors for damaged data
        raise GifError("image data do not decode: %s" % e)
    return np.frombuffer(raw, np.uint8).reshape(frame.height, frame.width)


def colour_lookup(frame):
    """256 x 4 RGBA table: the frame's colours, opaque black beyond them."""
    lut = np.zeros((256, 4), np.uint8)
    lut[:, 3] = 255
    if frame.table:
        colours = np.frombuffer(frame.table, np.uint8).reshape(-1, 3)[:256]
        lut[:len(colours), :3] = colours
    return lut


def draw(canvas, frame, left, top):
    """Draw the frame onto the canvas at (left, top), clipped, skipping its
    transparent index."""
    height, width = canvas.shape[:2]
    x0, y0 = max(0, left), max(0, top)
    x1, y1 = min(width, left + frame.width), min(height, top + frame.height)
    if x0 >= x1 or y0 >= y1:
        return
    indices = decode_indices(frame)[y0 - top:y1 - top, x0 - left:x1 - left]
    rgba = colour_lookup(frame)[indices]
    region = canvas[y0:y1, x0:x1]
    if frame.transparent is None:
        region[...] = rgba
    else:
        shown = indices != frame.transparent
        region[shown] = rgba[shown]


def normalised(canvas):
    out = canvas.copy()
    out[out[:, :, 3] == 0] = 0
    return out


def render_alone(path):
    """The file's first image at (0,0) on a transparent canvas of its screen."""
    try:
        with open(path, "rb") as f:
            data = f.read()
        width, height, frames = parse(data)
        if not frames:
            raise GifError("no image")
        canvas = np.zeros((height, width, 4), np.uint8)
        draw(canvas, frames[0], 0, 0)
    except (GifError, OSError) as e:
        raise InputError("%s: %s" % (path, e))
    return normalised(canvas)


def input_name(inputs, index):
    if "%" in inputs:
        return inputs % index
    return "%s_%d.gif" % (inputs, index)


def first_difference(got, want):
    differs = np.any(got != want, axis=2)
    count = int(differs.sum())
    if not count:
        return None
    y, x = (int(v) for v in np.argwhere(differs)[0])
    return count, x, y, tuple(int(v) for v in got[y, x]), tuple(int(v) for v in want[y, x])


def check(output, names, delay, exact_frames, cache):
    """(lossless, frame count or None, message) for one output."""
    with open(output, "rb") as f:
        data = f.read()
    try:
        width, height, frames = parse(data)
    except GifError as e:
        return False, None, "unreadable: %s" % e
    try:
        ok, message = compose_and_compare(width, height, frames, names, delay, exact_frames, cache)
    except GifError as e:
        ok, message = False, "unreadable: %s" % e
    return ok, len(frames), message


def compose_and_compare(width, height, frames, names, delay, exact_frames, cache):
    n = len(names)
    if not frames:
        return False, "no image"
    notes = []
    if len(frames) == n:
        spans = [(j, j + 1) for j in range(n)]
        for j, frame in enumerate(frames):
            if frame.delay != delay:
                return False, "frame %d has delay %d, expected %d" % (j + 1, frame.delay, delay)
    else:
        if exact_frames or delay == 0:
            return False, "%d frames for %d inputs" % (len(frames), n)
        spans = []
        start = 0
        for j, frame in enumerate(frames):
            if frame.delay == 0:
                return False, "frame %d has delay 0 (browsers show it for about 10 cs)" % (j + 1)
            end = start + frame.delay
            if start % delay or end % delay:
                return False, "frame %d spans %d..%d cs, not whole inputs of %d cs" % (j + 1, start, end, delay)
            spans.append((start // delay, end // delay))
            start = end
        if start != n * delay:
            return False, "frames last %d cs in all, inputs %d cs" % (start, n * delay)
        notes.append("identical frames merged (%d inputs)" % n)
    canvas = np.zeros((height, width, 4), np.uint8)
    clipped = False
    for j, frame in enumerate(frames):
        saved = canvas.copy() if frame.disposal == 3 else None
        draw(canvas, frame, frame.left, frame.top)
        clipped = clipped or frame.left + frame.width > width or frame.top + frame.height > height
        shown = normalised(canvas)
        for k in range(*spans[j]):
            alone = cache.get(names[k]) if cache is not None else None
            if alone is None:
                alone = render_alone(names[k])
                if cache is not None:
                    cache[names[k]] = alone
            if alone.shape != shown.shape:
                return False, "screen %dx%d, %s is %dx%d" % (width, height, names[k], alone.shape[1], alone.shape[0])
            diff = first_difference(shown, alone)
            if diff:
                count, x, y, got, expected = diff
                return False, "frame %d (%s) differs at pixel (%d, %d): RGBA %s instead of %s; %d pixels differ" % (
                    j + 1, names[k], x, y, got, expected, count)
        if frame.disposal == 2:
            x0, y0 = max(0, frame.left), max(0, frame.top)
            canvas[y0:frame.top + frame.height, x0:frame.left + frame.width] = 0
        elif frame.disposal == 3:
            canvas = saved
    if clipped:
        notes.append("a frame reaches beyond the screen (clipped)")
    return True, "lossless" + "".join("; " + note for note in notes)


def main(argv):
    args = argv[1:]
    delay = 30
    exact_frames = False
    while args and args[0].startswith("--"):
        option = args.pop(0)
        if option == "--exact-frames":
            exact_frames = True
        elif option == "--delay" and args:
            delay = int(args.pop(0))
        elif option.startswith("--delay="):
            delay = int(option.split("=", 1)[1])
        else:
            sys.exit(__doc__)
    if len(args) < 4:
        sys.exit(__doc__)
    inputs, low, high, outputs = args[0], int(args[1]), int(args[2]), args[3:]
    names = [input_name(inputs, i) for i in range(low, high + 1)]
    # Inputs rendered once when several outputs are checked.
    cache = {} if len(outputs) > 1 else None
    status = 0
    for output in outputs:
        try:
            ok, frames, message = check(output, names, delay, exact_frames, cache)
        except (InputError, OSError) as e:
            print("check_render: %s: %s" % (output, e), file=sys.stderr)
            return 2
        print("check_render: %s: %s%s%s" % (
            output, "" if frames is None else "%d frames: " % frames, "" if ok else "NOT lossless: ", message))
        if not ok:
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
