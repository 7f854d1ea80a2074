#!/usr/bin/python3
"""Make everyday animation series, each file written the way its producer
usually writes it.

    /usr/bin/python3 bench/make_everyday.py DIR [NAME...]
    /usr/bin/python3 bench/make_everyday.py --list

Each series goes to DIR/NAME/NAME_1.gif ... DIR/NAME/NAME_N.gif. Without
names every series is made. A series already made by this version of the
script (a stamp file DIR/NAME/.made) is kept. --list prints one line per
series: name, file count, width, height, producer.

Series (fixed seeds: the same files every time with the same packages):

  line     60 x 640x480  matplotlib: a training-loss chart whose two lines
                         grow by one epoch per file; saved as PNG, opened and
                         saved as GIF by Pillow (RGBA in, octree palette)
  dot      60 x 640x480  matplotlib: a dot moving along a curve over a fixed
                         chart; the canvas's RGB pixels saved by Pillow
                         (median-cut palette)
  term     80 x 640x400  a terminal recording drawn with Pillow in a
                         monospaced TrueType font: one more line of typed
                         commands and their output per file, scrolling once
                         the screen is full, a block cursor
  scene    60 x 400x300  a rendered backdrop (sky gradient, sun, hills,
                         houses) with a shaded ball orbiting over it,
                         quantised per file to 256 colours by Pillow
  waves    60 x 640x480  eight moving sine waves summed over the whole
                         picture through a colour map: every pixel changes
  mplsprite 40 x 320x240 matplotlib savefig(transparent=True): a sprite
                         moving over nothing; the RGBA PNG saved as GIF by
                         Pillow, which gives it a transparent index
  sprite   40 x 320x240  three sprites drawn with Pillow on a transparent
                         RGBA canvas and saved as GIF with transparency
  gnuplot  60 x 640x480  gnuplot's gif terminal (libgd: small palette of
                         the colours used, rows in order); imitated with
                         Pillow in the same manner when gnuplot is missing

Every series but gnuplot's is written through Pillow with its defaults:
interlaced, a colour table of each file's own.
"""

import io
import math
import os
import random
import shutil
import subprocess
import sys

from PIL import Image, ImageDraw, ImageFont

STAMP_VERSION = "everyday 1"

# name, count, width, height, producer
SERIES = [
    ("line", 60, 640, 480, "matplotlib line growing (PNG -> Pillow GIF)"),
    ("dot", 60, 640, 480, "matplotlib dot over a fixed chart (canvas RGB -> Pillow GIF)"),
    ("term", 80, 640, 400, "terminal recording, Pillow, monospace TrueType"),
    ("scene", 60, 400, 300, "rendered backdrop + orbiting ball, Pillow quantize(256)"),
    ("waves", 60, 640, 480, "eight moving sines over every pixel, Pillow"),
    ("mplsprite", 40, 320, 240, "matplotlib savefig(transparent=True) -> Pillow GIF"),
    ("sprite", 40, 320, 240, "Pillow RGBA sprites on transparency"),
    ("gnuplot", 60, 640, 480, "gnuplot gif terminal (libgd)"),
    ("palette", 5, 320, 240, "Pillow, a shared 256-entry palette of which 64 colours are used"),
    ("webpal", 5, 320, 240, "Pillow convert('P'): the fixed web palette, few colours used"),
    ("twotone", 5, 320, 240, "Pillow mode '1' (two colours in a 256-entry grey table)"),
]


def pyplot():
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    return plt


def save_png_as_gif(fig, path, **savefig):
    """The common recipe: savefig to PNG, open it with Pillow, save as GIF."""
    buf = io.BytesIO()
    fig.savefig(buf, format="png", **savefig)
    buf.seek(0)
    with Image.open(buf) as im:
        im.save(path)


def make_line(directory, name, count):
    plt = pyplot()
    rng = random.Random(1)
    epochs = list(range(1, count + 1))
    train = [2.3 * math.exp(-e / 14.0) + 0.08 + rng.uniform(-0.04, 0.04) for e in epochs]
    valid = [2.4 * math.exp(-e / 17.0) + 0.15 + rng.uniform(-0.06, 0.06) for e in epochs]
    for k in range(1, count + 1):
        fig, ax = plt.subplots(figsize=(6.4, 4.8), dpi=100)
        ax.plot(epochs[:k], train[:k], label="training")
        ax.plot(epochs[:k], valid[:k], label="validation")
        ax.set_xlim(0, count + 1)
        ax.set_ylim(0, 2.6)
        ax.set_xlabel("epoch")
        ax.set_ylabel("loss")
        ax.set_title("Loss after epoch %d: %.3f" % (k, valid[k - 1]))
        ax.grid(True, alpha=0.3)
        ax.legend(loc="upper right")
        save_png_as_gif(fig, frame_path(directory, name, k))
        plt.close(fig)


def make_dot(directory, name, count):
    plt = pyplot()
    xs = [i * 4 * math.pi / 400 for i in range(401)]
    for k in range(1, count + 1):
        fig, ax = plt.subplots(figsize=(6.4, 4.8), dpi=100)
        ax.plot(xs, [math.sin(x) for x in xs], color="tab:blue", label="sin x")
        ax.plot(xs, [0.6 * math.cos(1.5 * x) for x in xs], color="tab:orange", label="0.6 cos 1.5x")
        ax.set_xlim(0, 4 * math.pi)
        ax.set_ylim(-1.3, 1.3)
        ax.grid(True)
        ax.legend(loc="lower left")
        ax.set_title("Two waves")
        x = 4 * math.pi * (k - 1) / count
        ax.plot([x], [math.sin(x)], "o", color="red", markersize=10)
        fig.canvas.draw()
        width, height = fig.canvas.get_width_height()
        rgb = Image.frombuffer("RGBA", (width, height), fig.canvas.buffer_rgba()).convert("RGB")
        rgb.save(frame_path(directory, name, k))
        plt.close(fig)


def monospace_font(size):
    candidates = [
        "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
        "/usr/share/matplotlib/mpl-data/fonts/ttf/DejaVuSansMono.ttf",
        "/usr/share/fonts/truetype/noto/NotoSansMono-Regular.ttf",
        "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf",
    ]
    try:
        from matplotlib import font_manager

        candidates.append(font_manager.findfont("DejaVu Sans Mono", fallback_to_default=False))
    except Exception:
        pass
    for path in candidates:
        if path and os.path.exists(path):
            return ImageFont.truetype(path, size)
    return ImageFont.load_default()


def terminal_lines(count):
    """Lines of a shell session: (text, colour), typed commands and output."""
    rng = random.Random(3)
    prompt = "user@host:~/project$ "
    commands = [
        ("git status", ["On branch main", "Your branch is up to date with 'origin/main'.", "",
                        "nothing to commit, working tree clean"]),
        ("ls -l src", ["total 48", "-rw-r--r-- 1 user user  5120 Dec  7 10:12 main.cpp",
                       "-rw-r--r-- 1 user user 12288 Dec  7 10:15 reader.cpp",
                       "-rw-r--r-- 1 user user  9216 Dec  7 10:02 writer.cpp"]),
        ("make -j2", ["g++ -O2 -c src/main.cpp -o build/main.o", "g++ -O2 -c src/reader.cpp -o build/reader.o",
                      "g++ -O2 -c src/writer.cpp -o build/writer.o", "g++ -o build/app build/*.o"]),
        ("./build/app --version", ["app 1.4.2"]),
        ("python3 train.py --epochs 5", []),
        ("tail -n 3 log.txt", ["done in 12.4 s", "wrote results.csv", "exit 0"]),
    ]
    lines = []
    while len(lines) < count:
        for command, output in commands:
            lines.append((prompt + command, (120, 220, 120)))
            if command.startswith("python3"):
                output = ["epoch %d/5  loss %.4f  acc %.3f" % (e, 1.0 / (e + rng.random()), 0.6 + 0.07 * e)
                          for e in range(1, 6)]
            for text in output:
                lines.append((text, (220, 220, 220)))
    return lines[:count]


def make_term(directory, name, count):
    width, height = 640, 400
    font = monospace_font(14)
    line_height = 16
    rows = (height - 8) // line_height
    lines = terminal_lines(count)
    for k in range(1, count + 1):
        image = Image.new("RGB", (width, height), (24, 26, 33))
        draw = ImageDraw.Draw(image)
        shown = lines[max(0, k - rows):k]
        y = 4
        for text, colour in shown:
            draw.text((6, y), text, fill=colour, font=font)
            y += line_height
        # Block cursor after the last line.
        last = shown[-1][0]
        x = 6 + int(draw.textlength(last, font=font)) + 2
        draw.rectangle([x, y - line_height + 2, x + 8, y - 2], fill=(200, 200, 200))
        image.save(frame_path(directory, name, k))


def make_scene(directory, name, count):
    width, height = 400, 300
    backdrop = Image.new("RGB", (width, height))
    pixels = []
    for y in range(height):
        for x in range(width):
            t = y / height
            s = x / width
            pixels.append((int(40 + 120 * t + 30 * s), int(90 + 100 * t), int(200 - 60 * t + 20 * s)))
    backdrop.putdata(pixels)
    draw = ImageDraw.Draw(backdrop)
    draw.ellipse([300, 30, 360, 90], fill=(255, 214, 90))
    draw.polygon([(0, 230), (90, 170), (190, 225), (280, 160), (400, 220), (400, 300), (0, 300)], fill=(60, 130, 60))
    draw.polygon([(0, 260), (120, 230), (260, 262), (400, 240), (400, 300), (0, 300)], fill=(40, 100, 45))
    for i, x in enumerate((40, 150, 250)):
        draw.rectangle([x, 220 + 5 * i, x + 40, 255 + 5 * i], fill=(180, 80 + 30 * i, 60))
        draw.polygon([(x - 5, 220 + 5 * i), (x + 20, 200 + 5 * i), (x + 45, 220 + 5 * i)], fill=(110, 40, 40))
    radius = 18
    ball = Image.new("RGBA", (2 * radius, 2 * radius), (0, 0, 0, 0))
    for y in range(2 * radius):
        for x in range(2 * radius):
            dx, dy = x - radius + 0.5, y - radius + 0.5
            d = math.hypot(dx, dy)
            if d <= radius:
                light = max(0.0, 1.0 - math.hypot(dx + 6, dy + 6) / (1.6 * radius))
                ball.putpixel((x, y), (int(120 + 135 * light), int(30 + 150 * light), int(40 + 120 * light), 255))
    for k in range(1, count + 1):
        image = backdrop.copy()
        angle = 2 * math.pi * (k - 1) / count
        cx = int(width / 2 + 130 * math.cos(angle)) - radius
        cy = int(140 + 80 * math.sin(angle)) - radius
        image.paste(ball, (cx, cy), ball)
        image.quantize(256).save(frame_path(directory, name, k))


def make_waves(directory, name, count):
    import numpy as np
    from matplotlib import colormaps

    width, height = 640, 480
    rng = np.random.default_rng(5)
    kx = rng.uniform(-0.05, 0.05, 8)
    ky = rng.uniform(-0.05, 0.05, 8)
    speed = rng.uniform(0.5, 2.0, 8)
    phase = rng.uniform(0, 2 * np.pi, 8)
    y, x = np.mgrid[0:height, 0:width].astype(np.float32)
    colours = colormaps["viridis"]
    for k in range(1, count + 1):
        t = 2 * np.pi * (k - 1) / count
        field = sum(np.sin(kx[i] * x + ky[i] * y + speed[i] * t + phase[i]) for i in range(8))
        rgb = (colours((field + 8) / 16)[:, :, :3] * 255).astype(np.uint8)
        Image.fromarray(rgb, "RGB").save(frame_path(directory, name, k))


def make_mplsprite(directory, name, count):
    plt = pyplot()
    for k in range(1, count + 1):
        fig = plt.figure(figsize=(3.2, 2.4), dpi=100)
        ax = fig.add_axes([0, 0, 1, 1])
        ax.set_xlim(0, 320)
        ax.set_ylim(0, 240)
        ax.axis("off")
        t = 2 * math.pi * (k - 1) / count
        x, y = 160 + 110 * math.cos(t), 120 + 70 * math.sin(2 * t)
        ax.add_patch(plt.Circle((x, y), 22, color="tab:orange"))
        ax.add_patch(plt.Circle((x - 8, y + 6), 4, color="black"))
        ax.add_patch(plt.Circle((x + 8, y + 6), 4, color="black"))
        ax.plot([x - 10, x, x + 10], [y - 8, y - 12, y - 8], color="black", linewidth=2)
        save_png_as_gif(fig, frame_path(directory, name, k), transparent=True)
        plt.close(fig)


def make_sprite(directory, name, count):
    width, height = 320, 240
    sprites = [
        ((220, 40, 40, 255), 14, lambda t: (160 + 120 * math.cos(t), 120 + 80 * math.sin(t))),
        ((40, 120, 230, 255), 10, lambda t: (40 + 240 * ((t / (2 * math.pi)) % 1.0), 60)),
        ((40, 180, 70, 255), 18, lambda t: (160 + 60 * math.sin(2 * t), 190 - 30 * abs(math.sin(3 * t)))),
    ]
    for k in range(1, count + 1):
        image = Image.new("RGBA", (width, height), (0, 0, 0, 0))
        draw = ImageDraw.Draw(image)
        t = 2 * math.pi * (k - 1) / count
        for colour, r, path in sprites:
            x, y = path(t)
            draw.ellipse([x - r, y - r, x + r, y + r], fill=colour, outline=(0, 0, 0, 255), width=2)
            draw.rectangle([x - r // 3, y - r // 3, x + r // 3, y + r // 3], fill=(255, 255, 255, 255))
        image.save(frame_path(directory, name, k))


GNUPLOT_SCRIPT = """
set terminal gif size 640,480
set xrange [0:4*pi]
set yrange [-1.5:1.5]
set grid
set key top right
do for [i=1:%(count)d] {
  t = 2*pi*(i-1)/%(count)d.0
  set output sprintf('%(name)s_%%d.gif', i)
  set title sprintf('damped wave, t = %%.2f', t)
  plot sin(x - t)*exp(-0.1*x) title 'signal' with lines lw 2, \\
       0.5*cos(2*x + t) title 'reference' with lines
}
"""


def make_gnuplot(directory, name, count):
    if shutil.which("gnuplot"):
        subprocess.run(["gnuplot"], input=GNUPLOT_SCRIPT % {"count": count, "name": name},
                       text=True, cwd=directory, check=True)
        return "gnuplot"
    # The same chart in gnuplot's manner: a small palette of the colours
    # used, no antialiasing, rows in order.
    width, height = 640, 480
    palette = [255, 255, 255, 0, 0, 0, 160, 160, 160, 148, 0, 211, 0, 158, 115]
    left, right, top, bottom = 60, 620, 30, 440
    for k in range(1, count + 1):
        t = 2 * math.pi * (k - 1) / count
        image = Image.new("P", (width, height), 0)
        image.putpalette(palette)
        draw = ImageDraw.Draw(image)
        for i in range(9):
            gx = left + i * (right - left) // 8
            draw.line([(gx, top), (gx, bottom)], fill=2)
        for i in range(7):
            gy = top + i * (bottom - top) // 6
            draw.line([(left, gy), (right, gy)], fill=2)
        draw.rectangle([left, top, right, bottom], outline=1)
        for curve, colour in ((lambda x: math.sin(x - t) * math.exp(-0.1 * x), 3),
                              (lambda x: 0.5 * math.cos(2 * x + t), 4)):
            points = []
            for px in range(left, right + 1):
                x = 4 * math.pi * (px - left) / (right - left)
                points.append((px, (top + bottom) / 2 - curve(x) * (bottom - top) / 3))
            draw.line(points, fill=colour, width=1)
        draw.text((260, 10), "damped wave, t = %.2f" % t, fill=1)
        image.save(frame_path(directory, name, k), interlace=False)
    return "Pillow, in gnuplot's manner (gnuplot not installed)"


def moving_shapes(draw, k, colours, width, height):
    for i in range(12):
        x = (i * 37 + k * (5 + i)) % width
        y = (i * 53 + k * 3 * (i % 4)) % height
        draw.ellipse([x, y, x + 40, y + 30], fill=colours(i))
    draw.text((10, 10), "frame %d" % k, fill=colours(1))


def make_palette(directory, name, count):
    rng = random.Random(7)
    palette = [rng.randrange(256) for _ in range(768)]
    for k in range(1, count + 1):
        image = Image.new("P", (320, 240), 0)
        image.putpalette(palette)
        moving_shapes(ImageDraw.Draw(image), k, lambda i: i * 5 % 64, 320, 240)
        image.save(frame_path(directory, name, k), optimize=False)


def make_webpal(directory, name, count):
    for k in range(1, count + 1):
        image = Image.new("RGB", (320, 240), (255, 255, 255))
        moving_shapes(ImageDraw.Draw(image), k,
                      lambda i: ((i * 51) % 256, (i * 97) % 256, (i * 23) % 256), 320, 240)
        image.convert("P", palette=Image.WEB).save(frame_path(directory, name, k), optimize=False)


def make_twotone(directory, name, count):
    for k in range(1, count + 1):
        image = Image.new("1", (320, 240), 1)
        moving_shapes(ImageDraw.Draw(image), k, lambda i: i % 2, 320, 240)
        image.save(frame_path(directory, name, k), optimize=False)


MAKERS = {
    "line": make_line,
    "dot": make_dot,
    "term": make_term,
    "scene": make_scene,
    "waves": make_waves,
    "mplsprite": make_mplsprite,
    "sprite": make_sprite,
    "gnuplot": make_gnuplot,
    "palette": make_palette,
    "webpal": make_webpal,
    "twotone": make_twotone,
}


def frame_path(directory, name, k):
    return os.path.join(directory, "%s_%d.gif" % (name, k))


def make(root, name, count):
    directory = os.path.join(root, name)
    stamp = os.path.join(directory, ".made")
    wanted = "%s %s %d\n" % (STAMP_VERSION, name, count)
    try:
        with open(stamp) as f:
            made = f.readline()
    except OSError:
        made = ""
    if made == wanted and all(os.path.exists(frame_path(directory, name, k)) for k in range(1, count + 1)):
        print("%s: %d files in %s (kept)" % (name, count, directory))
        return
    os.makedirs(directory, exist_ok=True)
    producer = MAKERS[name](directory, name, count)
    with open(stamp, "w") as f:
        f.write(wanted)
        if producer:
            f.write(producer + "\n")
    print("%s: %d files in %s (made)" % (name, count, directory))


def main(argv):
    if argv[1:] == ["--list"]:
        for name, count, width, height, producer in SERIES:
            print("%s %d %d %d %s" % (name, count, width, height, producer))
        return
    args = argv[1:]
    if not args or args[0].startswith("-"):
        sys.exit(__doc__)
    root, names = args[0], args[1:]
    known = {s[0]: s for s in SERIES}
    unknown = [n for n in names if n not in known]
    if unknown:
        sys.exit("make_everyday: unknown series %s (known: %s)" % (", ".join(unknown), ", ".join(known)))
    for name, count, _, _, _ in SERIES:
        if not names or name in names:
            make(root, name, count)


if __name__ == "__main__":
    main(sys.argv)
