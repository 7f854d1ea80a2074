#!/usr/bin/python3
"""Check that a joined animation decodes to its input frames (Pillow).

    /usr/bin/python3 bench/check_output.py OUTPUT.gif BASE LOW HIGH

Every frame of OUTPUT.gif must hold exactly the palette indices of
BASE_<i>.gif (i = LOW..HIGH, in order) with the same colours (the frame's
own colour table if it has one, else the global one), and the global colour
table must be the first input's. Exits 1 with a reason otherwise.
"""

import sys

from PIL import GifImagePlugin, Image

# Keep later frames as palette indices instead of converting them to RGB.
GifImagePlugin.LOADING_STRATEGY = GifImagePlugin.LoadingStrategy.RGB_AFTER_DIFFERENT_PALETTE_ONLY


def fail(message):
    print("check_output: " + message, file=sys.stderr)
    sys.exit(1)


def main(argv):
    if len(argv) != 5:
        sys.exit(__doc__)
    output, base, low, high = argv[1], argv[2], int(argv[3]), int(argv[4])
    expected = high - low + 1
    with Image.open(output) as joined:
        frames = getattr(joined, "n_frames", 1)
        if frames != expected:
            fail("%s has %d frames, expected %d" % (output, frames, expected))
        with Image.open("%s_%d.gif" % (base, low)) as first:
            if joined.getpalette()[:768] != first.getpalette()[:768]:
                fail("global colour table differs from %s_%d.gif" % (base, low))
        for k in range(expected):
            joined.seek(k)
            if joined.mode != "P":
                fail("frame %d was not read as palette indices (mode %s)" % (k + 1, joined.mode))
            with Image.open("%s_%d.gif" % (base, low + k)) as source:
                if source.size != joined.size:
                    fail("frame %d: size %s, input %s" % (k + 1, joined.size, source.size))
                if joined.tobytes() != source.tobytes():
                    fail("frame %d differs from %s_%d.gif" % (k + 1, base, low + k))
                if joined.getpalette()[:768] != source.getpalette()[:768]:
                    fail("frame %d: colours differ from %s_%d.gif" % (k + 1, base, low + k))
    print("check_output: %s: %d frames equal to the inputs" % (output, expected))


if __name__ == "__main__":
    main(sys.argv)
