#!/usr/bin/python3
"""Make the series that lossy runs are measured on.

    /usr/bin/python3 bench/make_lossy_series.py DIR [NAME...]

Each series goes to DIR/NAME/NAME_1.gif ... NAME_N.gif (kept when made
before by this version of the script: DIR/NAME/.made). Fixed seeds.

  video   45 x 480x270  a test pattern (colour bars, a gradient, a moving
                        disc and a sweeping bar) panning slowly, with sensor
                        noise on every pixel; each frame converted by
                        ImageMagick (Floyd-Steinberg dither, 256 colours of
                        its own)
  photo   40 x 640x480  a smooth "photo" (soft shapes and texture) panning
                        slowly, every frame dithered to one shared palette
                        of 256 colours (Pillow)
  sines   60 x 640x480  matplotlib: eight sine curves moving, antialiased,
                        saved through Pillow with a palette of its own
"""

import io
import os
import subprocess
import sys

import numpy as np
from PIL import Image

STAMP = "lossy 1"
SERIES = {"video": 45, "photo": 40, "sines": 60}


def video(out, n):
    rng = np.random.default_rng(7)
    w, h = 480, 270
    yy, xx = np.mgrid[0:h, 0:w].astype(np.float32)
    bars = np.array([[235, 235, 235], [235, 235, 16], [16, 235, 235], [16, 235, 16],
                     [235, 16, 235], [235, 16, 16], [16, 16, 235], [40, 40, 40]], np.float32)
    for k in range(n):
        shift = k * 2.0
        img = np.zeros((h, w, 3), np.float32)
        bx = ((xx + shift) % w) * 8 // w
        img[:] = bars[bx.astype(int)]
        low = yy > h * 0.66
        ramp = ((xx + shift) % w) / w * 255
        img[low] = np.stack([ramp, ramp * 0.8, 255 - ramp], -1)[low]
        cx, cy = 120 + 6 * k, 130 + 40 * np.sin(k / 7)
        disc = (xx - cx) ** 2 + (yy - cy) ** 2 < 45 ** 2
        img[disc] = [250, 180, 60]
        bar = np.abs(yy - (k * 5) % h) < 4
        img[bar] = [255, 255, 255]
        img += rng.normal(0, 4.0, img.shape)
        png = os.path.join(out, "in.png")
        Image.fromarray(np.clip(img, 0, 255).astype(np.uint8)).save(png)
        subprocess.run(["/usr/bin/convert", png, "-dither", "FloydSteinberg", "-colors", "256",
                        os.path.join(out, f"video_{k + 1}.gif")], check=True)
        os.remove(png)


def photo(out, n):
    rng = np.random.default_rng(11)
    W, H = 640 + 2 * n, 480 + n
    yy, xx = np.mgrid[0:H, 0:W].astype(np.float32)
    img = np.zeros((H, W, 3), np.float32)
    img[..., 0] = 120 + 80 * np.sin(xx / 90) * np.cos(yy / 70)
    img[..., 1] = 110 + 70 * np.cos(xx / 50 + yy / 120)
    img[..., 2] = 100 + 90 * np.sin((xx + yy) / 140)
    for _ in range(30):
        cx, cy, r = rng.uniform(0, W), rng.uniform(0, H), rng.uniform(20, 90)
        col = rng.uniform(0, 255, 3)
        m = np.exp(-((xx - cx) ** 2 + (yy - cy) ** 2) / (2 * r * r))[..., None]
        img = img * (1 - 0.7 * m) + col * 0.7 * m
    img += rng.normal(0, 6, (H, W, 1)) * np.array([1, 1, 1], np.float32)
    img = np.clip(img, 0, 255).astype(np.uint8)
    palette = Image.fromarray(img).quantize(256, method=Image.Quantize.MEDIANCUT, dither=0)
    for k in range(n):
        frame = Image.fromarray(img[k:k + 480, 2 * k:2 * k + 640].copy())
        q = frame.quantize(palette=palette, dither=Image.Dither.FLOYDSTEINBERG)
        q.save(os.path.join(out, f"photo_{k + 1}.gif"))


def sines(out, n):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    x = np.linspace(0, 4 * np.pi, 800)
    for k in range(n):
        fig, ax = plt.subplots(figsize=(6.4, 4.8), dpi=100)
        for j in range(8):
            ax.plot(x, np.sin(x * (1 + j * 0.25) + k * 0.15 * (j + 1)) + j * 0.3)
        ax.set_ylim(-1.5, 3.8)
        buffer = io.BytesIO()
        fig.savefig(buffer, format="png")
        plt.close(fig)
        Image.open(buffer).convert("RGB").convert("P", palette=Image.ADAPTIVE).save(
            os.path.join(out, f"sines_{k + 1}.gif"))


def main(argv):
    root = argv[1]
    names = argv[2:] or list(SERIES)
    for name in names:
        out = os.path.join(root, name)
        stamp = os.path.join(out, ".made")
        if os.path.exists(stamp) and open(stamp).read() == STAMP:
            continue
        os.makedirs(out, exist_ok=True)
        globals()[name](out, SERIES[name])
        with open(stamp, "w") as f:
            f.write(STAMP)
        print(f"{name}: {SERIES[name]} files in {out}")


if __name__ == "__main__":
    main(sys.argv)
