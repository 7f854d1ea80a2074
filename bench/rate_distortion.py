#!/usr/bin/python3
"""Distortion of animations against their input files.

    /usr/bin/python3 bench/rate_distortion.py INPUTS LOW HIGH OUTPUT.gif [OUTPUT.gif ...]

INPUTS as for check_render.py. Each OUTPUT is composed as browsers compose
it (check_render.py's compositor); an output with fewer frames than inputs
(a tool that merged frames) has each frame stand for the inputs its delay
covers, at 30 hundredths each when the delays say nothing else. For each
OUTPUT one line:

    OUTPUT BYTES PSNR MAXERR

PSNR in dB over every frame's RGB (pixels transparent in both ignored;
a pixel transparent in one only counts as an error of 255), MAXERR the
largest difference in red, green or blue of any pixel of any frame.
"""

import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_render as cr  # noqa: E402


def measure(output, names, cache):
    with open(output, "rb") as f:
        width, height, frames = cr.parse(f.read())
    n = len(names)
    if len(frames) == n:
        spans = [(j, j + 1) for j in range(n)]
    else:
        total = sum(max(fr.delay, 1) for fr in frames)
        spans, start = [], 0
        for fr in frames:
            end = start + max(fr.delay, 1)
            spans.append((round(start * n / total), round(end * n / total)))
            start = end
    canvas = np.zeros((height, width, 4), np.uint8)
    squared, count, worst = 0.0, 0, 0
    for j, frame in enumerate(frames):
        saved = canvas.copy() if frame.disposal == 3 else None
        cr.draw(canvas, frame, frame.left, frame.top)
        shown = cr.normalised(canvas).astype(np.int32)
        for k in range(*spans[j]):
            alone = cache.get(names[k])
            if alone is None:
                alone = cr.render_alone(names[k]).astype(np.int32)
                cache[names[k]] = alone
            diff = np.abs(shown[..., :3] - alone[..., :3])
            seen = (shown[..., 3] != 0) | (alone[..., 3] != 0)
            diff[(shown[..., 3] != alone[..., 3])] = 255
            diff = diff[seen]
            squared += float((diff.astype(np.float64) ** 2).sum())
            count += diff.size
            if diff.size:
                worst = max(worst, int(diff.max()))
        if frame.disposal == 2:
            x0, y0 = max(0, frame.left), max(0, frame.top)
            canvas[y0:frame.top + frame.height, x0:frame.left + frame.width] = 0
        elif frame.disposal == 3:
            canvas = saved
    mse = squared / max(count, 1)
    psnr = float("inf") if mse == 0 else 10 * np.log10(255.0 ** 2 / mse)
    return psnr, worst


def main(argv):
    if len(argv) < 5:
        print(__doc__, file=sys.stderr)
        return 2
    inputs, low, high = argv[1], int(argv[2]), int(argv[3])
    names = [cr.input_name(inputs, i) for i in range(low, high + 1)]
    cache = {}
    for output in argv[4:]:
        psnr, worst = measure(output, names, cache)
        print("%s %d %.2f %d" % (output, os.path.getsize(output), psnr, worst))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
