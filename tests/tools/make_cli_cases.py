#!/usr/bin/env python3
"""Writes the golden cases of the command-line tests into tests/cli/cases.

Each case folder holds: files/ (the input series), stdin (the answers),
stdout (the exact console text), exit (the exit status), expect/ (output
files compared byte for byte) and absent (files that must not exist
afterwards). Run it again after changing a case: python3 make_cli_cases.py
"""

import os
import random
import shutil

from gifgen import GifFile, animation_bytes

HERE = os.path.dirname(os.path.abspath(__file__))
CASES = os.path.join(HERE, "..", "cli", "cases")

HEADER = (" Small program to combine a set of GIFs to make one animated gif.\n"
          " Gif-filenames should be structured as GIFNAME_XX.gif ,\n"
          " With GIFNAME the basename, and XX an integer number (without preceding zero's).\n")
PROMPTS = ("  > Provide the basename:\n  > Provide the lower index:\n"
           "  > Provide the higher index:\n")
CONTINUE = "  ---=== TRYING TO CONTINUE PROGRAM ===--- \n"
HINT = "--> PLEASE CHECK IF THE FILE EXISTS!".ljust(255) + "\n"
PALETTE = [(i, 255 - i, (i * 7) & 255) for i in range(256)]


def field(text):
    return text.ljust(255)[:255]


def i11(n):
    return " " + str(n).rjust(11)


def reading_lines(name, width, height, gct=256, packed=247, gce=True, interlaced=False):
    text = "Opening %s\n" % name
    if gct:
        text += "OpenGIF error in global colour map size.-->%d %d\n" % (gct, packed)
    if gce:
        text += " read_gif: extension graphic control extension\n"
    text += " Image size:%s%s\n" % (i11(width), i11(height))
    text += "  reading%s  by%s  GIF image from %s  %s\n" % (
        i11(width), i11(height), name, "interlaced" if interlaced else " " * 10)
    return text


def missing_lines(name):
    return ("Opening %s\n" % name +
            "WARNING in subroutine RasterImageModule::openGIF.\n"
            " ERROR WHILE OPENING %s.\n" % name +
            "Failed to open file.\n" + HINT +
            "WARNING in subroutine RasterImageModule::ReadGIFImage.\n"
            " ERROR WHILE READING FROM %s.\n" % name +
            field("Could not open GIF image.") + "\n" + HINT)


REFUSED = ("WARNING in subroutine GIFImageModule::addImage.\n" +
           field("Dimensions of additional image differ from rest of animation, "
                 "can not add this frame.") + "\n" + CONTINUE)

NO_COLORMAP = ("WARNING in subroutine RasterImageModule::writeGIFImage.\n"
               "Image has no colour map; no GIF file written.\n" + CONTINUE)


def final(name):
    return " This should have written an animated Gif to:%s\n" % name


def frame(width, height, seed):
    rnd = random.Random(seed)
    # Smooth runs with some noise: realistic for LZW, several string lengths.
    return [((x // 3 + y + seed) % 17 if rnd.random() < 0.9 else rnd.randrange(256))
            for y in range(height) for x in range(width)]


def plain_file(width, height, values, delay=0, transparent=None, interlaced=False):
    return (GifFile(width, height, PALETTE).gce(delay=delay, transparent=transparent)
            .image(width, height, values, interlaced=interlaced).trailer().bytes())


def write_case(name, files, stdin, stdout, exit_status=0, expect=None, absent=(), args=None,
               stderr=None):
    path = os.path.join(CASES, name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(os.path.join(path, "files"))
    for fname, data in files.items():
        if data is None:  # a directory in the place of a file
            os.makedirs(os.path.join(path, "files", fname))
            open(os.path.join(path, "files", fname, ".keep"), "w").close()
            continue
        os.makedirs(os.path.dirname(os.path.join(path, "files", fname)), exist_ok=True)
        with open(os.path.join(path, "files", fname), "wb") as f:
            f.write(data)
    with open(os.path.join(path, "stdin"), "w", encoding="utf-8") as f:
        f.write(stdin)
    with open(os.path.join(path, "stdout"), "w", encoding="utf-8") as f:
        f.write(stdout)
    with open(os.path.join(path, "exit"), "w") as f:
        f.write("%d\n" % exit_status)
    if expect:
        os.makedirs(os.path.join(path, "expect"))
        for fname, data in expect.items():
            os.makedirs(os.path.dirname(os.path.join(path, "expect", fname)), exist_ok=True)
            with open(os.path.join(path, "expect", fname), "wb") as f:
                f.write(data)
    with open(os.path.join(path, "absent"), "w", encoding="utf-8") as f:
        f.write("".join(a + "\n" for a in absent))
    if args is not None:
        with open(os.path.join(path, "args"), "w", encoding="utf-8") as f:
            f.write("".join(a + "\n" for a in args))
    if stderr is not None:
        with open(os.path.join(path, "stderr"), "w", encoding="utf-8") as f:
            f.write(stderr)


def error_cases(errors, series, absent):
    """Unusable arguments: one line and the hint on standard error, exit 2, no file touched."""
    hint = "Try 'gifjoin --help' for more information.\n"
    for name, args, message in errors:
        write_case(name, series, "", "", exit_status=2, args=args,
                   stderr="gifjoin: %s\n%s" % (message, hint), absent=absent)


HELP = """\
Usage: gifjoin [OPTION]... BASENAME LOWER HIGHER  (BASENAME_LOWER.gif ...)
  or:  gifjoin [OPTION]... -p FORMAT LOWER HIGHER (FORMAT: frame_%03d.gif)
  or:  gifjoin [OPTION]... -f -o OUTPUT FILE...   (in natural order of names)
Join GIF files into one animated GIF. Without arguments, gifjoin asks.

 -p, --pattern=FORMAT  names from FORMAT: one %d, %Nd or %0Nd for the index
 -f, --files           the operands are the files; --as-given: in that order
 -o, --output=FILE     write FILE (default BASENAME_Animated.gif)
 -d, --delay=CS        delay of every frame in hundredths of a second (30)
 -r, --fps=N           delays for N frames per second (25, 29.97, ...)
     --keep-delays     each file's own delay; -d where a file has none
     --last-delay=CS   delay of the last frame
 -l, --loop=N          loop count, 0 to 65535; 0 loops forever (65535)
 -q, --quiet           nothing on stdout; files not joined whole on stderr
 -s, --strict          a file not joined whole fails the run: no output
 -O, --optimize        smallest file: each frame drawn only where it changes
     --any-size        every file a frame: its picture placed on one canvas
     --pieces          the files are pieces of one animation, drawn in turn
   --canvas=largest|first|WxH  --align=center|top|top-left|...|bottom-right
   --fill=corner|transparent|#RRGGBB    (the first of each is the default)
 -h, --help            this help; -V, --version; --: the options end here
Exit status: 0 written, 1 not written, 2 unusable arguments. Examples:
  gifjoin -d 7 -l 0 -o walk.gif walk 1 8
  gifjoin -q --any-size -r 10 -f -o plots.gif plots/*.gif
"""


def command_line_cases(f1, f2, f3):
    """Runs with arguments: no header lines, no prompts, nothing read from stdin."""
    series = {"walk_1.gif": plain_file(10, 10, f1), "walk_2.gif": plain_file(10, 10, f2),
              "walk_3.gif": plain_file(10, 10, f3)}
    reading = "".join(reading_lines("walk_%d.gif" % i, 10, 10) for i in (1, 2, 3))

    write_case("args_delay_loop_output", series, "",
               reading + final("out.gif"), args=["-d", "7", "-l", "0", "-o", "out.gif",
                                                 "walk", "1", "3"],
               expect={"out.gif": animation_bytes(10, 10, PALETTE, [f1, f2, f3], delay=7,
                                                  loop=0)},
               absent=["walk_Animated.gif"])

    write_case("args_long_options_dash_base_name",
               {"-walk_1.gif": plain_file(10, 10, f1), "-walk_2.gif": plain_file(10, 10, f2)}, "",
               reading_lines("-walk_1.gif", 10, 10) + reading_lines("-walk_2.gif", 10, 10) +
               final("-walk_Animated.gif"),
               args=["--delay=12", "--loop", "2", "--", "-walk", "1", "2"],
               expect={"-walk_Animated.gif": animation_bytes(10, 10, PALETTE, [f1, f2], delay=12,
                                                             loop=2)})

    write_case("args_negative_indices",
               {"walk_-1.gif": plain_file(10, 10, f1), "walk_0.gif": plain_file(10, 10, f2)}, "",
               reading_lines("walk_-1.gif", 10, 10) + reading_lines("walk_0.gif", 10, 10) +
               final("walk_Animated.gif"), args=["walk", "-1", "0"],
               expect={"walk_Animated.gif": animation_bytes(10, 10, PALETTE, [f1, f2])})

    write_case("args_quiet", series, "", "", args=["-q", "walk", "1", "3"],
               expect={"walk_Animated.gif": animation_bytes(10, 10, PALETTE, [f1, f2, f3])})

    # Quiet: nothing on standard output, the missing file named in one line.
    write_case("args_quiet_missing_file",
               {"walk_1.gif": series["walk_1.gif"], "walk_3.gif": series["walk_3.gif"]}, "", "",
               args=["walk", "1", "3", "--quiet"], stderr="gifjoin: walk_2.gif: missing\n",
               expect={"walk_Animated.gif": animation_bytes(10, 10, PALETTE, [f1, f3])})

    # Quiet runs leave out the transparency notice too.
    clear1 = plain_file(10, 10, f1, transparent=4)
    write_case("args_quiet_transparent", {"walk_1.gif": clear1}, "", "",
               args=["-q", "walk", "1", "1"],
               expect={"walk_Animated.gif": animation_bytes(10, 10, PALETTE, [f1],
                                                            transparent=4)})

    write_case("args_help", {}, "", HELP, args=["--help"])

    errors = [
        ("args_unknown_option", ["--frames", "3", "walk", "1", "3"],
         "unknown option '--frames'"),
        ("args_missing_value", ["walk", "1", "3", "-o"], "option '-o' needs a value"),
        ("args_value_out_of_range", ["-o", "out.gif", "-d", "65536", "walk", "1", "3"],
         "the delay '65536' given with '-d' is out of range (0 to 65535)"),
        ("args_value_not_a_number", ["--loop=forever", "-o", "out.gif", "walk", "1", "3"],
         "the loop count 'forever' given with '--loop' is not a whole number"),
        ("args_too_few_operands", ["-o", "out.gif", "walk", "1"], "missing the higher index"),
        ("args_too_many_operands", ["walk", "1", "3", "5"],
         "too many operands: '5' follows the higher index"),
        ("args_index_not_an_integer", ["walk", "1", "three"],
         "the higher index 'three' is not an integer "
         "(a whole number from -2147483648 to 2147483647)"),
    ]
    error_cases(errors, series, ["walk_Animated.gif", "out.gif"])


def main():
    shutil.rmtree(CASES, ignore_errors=True)
    os.makedirs(CASES)
    f1, f2, f3 = frame(10, 10, 1), frame(10, 10, 2), frame(10, 10, 3)

    write_case("normal_run",
               {"walk_1.gif": plain_file(10, 10, f1), "walk_2.gif": plain_file(10, 10, f2)},
               "walk\n1\n2\n",
               HEADER + PROMPTS + reading_lines("walk_1.gif", 10, 10) +
               reading_lines("walk_2.gif", 10, 10) + final("walk_Animated.gif"),
               expect={"walk_Animated.gif": animation_bytes(10, 10, PALETTE, [f1, f2])})

    write_case("one_file",
               {"walk_1.gif": plain_file(10, 10, f1, delay=55)},
               "walk\n1\n1\n",
               HEADER + PROMPTS + reading_lines("walk_1.gif", 10, 10) + final("walk_Animated.gif"),
               expect={"walk_Animated.gif": animation_bytes(10, 10, PALETTE, [f1])})

    write_case("lower_above_higher",
               {"walk_1.gif": plain_file(10, 10, f1)},
               "walk\n2\n1\n",
               HEADER + PROMPTS + NO_COLORMAP + final("walk_Animated.gif"),
               exit_status=1, absent=["walk_Animated.gif"])

    write_case("negative_indices",
               {"walk_-1.gif": plain_file(10, 10, f1), "walk_0.gif": plain_file(10, 10, f2),
                "walk_1.gif": plain_file(10, 10, f3)},
               "  walk  \n\n-1\n+1, 5\n",
               HEADER + PROMPTS + reading_lines("walk_-1.gif", 10, 10) +
               reading_lines("walk_0.gif", 10, 10) + reading_lines("walk_1.gif", 10, 10) +
               final("walk_Animated.gif"),
               expect={"walk_Animated.gif": animation_bytes(10, 10, PALETTE, [f1, f2, f3])})

    write_case("missing_further_file",
               {"walk_1.gif": plain_file(10, 10, f1), "walk_3.gif": plain_file(10, 10, f3)},
               "walk\n1\n3\n",
               HEADER + PROMPTS + reading_lines("walk_1.gif", 10, 10) +
               missing_lines("walk_2.gif") + reading_lines("walk_3.gif", 10, 10) +
               final("walk_Animated.gif"),
               expect={"walk_Animated.gif": animation_bytes(10, 10, PALETTE, [f1, f3])})

    small = frame(8, 10, 4)
    write_case("further_file_of_other_size",
               {"walk_1.gif": plain_file(10, 10, f1), "walk_2.gif": plain_file(8, 10, small),
                "walk_3.gif": plain_file(10, 10, f3)},
               "walk\n1\n3\n",
               HEADER + PROMPTS + reading_lines("walk_1.gif", 10, 10) +
               reading_lines("walk_2.gif", 8, 10) + REFUSED +
               reading_lines("walk_3.gif", 10, 10) + final("walk_Animated.gif"),
               expect={"walk_Animated.gif": animation_bytes(10, 10, PALETTE, [f1, f3])})

    write_case("first_file_unreadable",
               {"walk_2.gif": plain_file(10, 10, f2)},
               "walk\n1\n2\n",
               HEADER + PROMPTS + missing_lines("walk_1.gif") +
               reading_lines("walk_2.gif", 10, 10) + REFUSED + NO_COLORMAP +
               final("walk_Animated.gif"),
               exit_status=1, absent=["walk_Animated.gif"])

    write_case("index_not_an_integer", {"walk_1.gif": plain_file(10, 10, f1)},
               "walk\nabc\n2\n",
               HEADER + "  > Provide the basename:\n  > Provide the lower index:\n",
               exit_status=2, absent=["walk_Animated.gif"])

    write_case("input_ends_early", {"walk_1.gif": plain_file(10, 10, f1)},
               "walk\n1\n",
               HEADER + PROMPTS, exit_status=2, absent=["walk_Animated.gif"])

    quoted = frame(6, 4, 5)
    write_case("quoted_base_name_with_blank",
               {"my walk_1.gif": plain_file(6, 4, quoted)},
               "'my walk'\n1\n1\n",
               HEADER + PROMPTS + reading_lines("my walk_1.gif", 6, 4) +
               final("my walk_Animated.gif"),
               expect={"my walk_Animated.gif": animation_bytes(6, 4, PALETTE, [quoted])})

    # Transparency and an interlaced first image with a local colour table:
    # the animation takes the local table and the transparent index.
    local = [(9, 9, 9), (200, 0, 0), (0, 200, 0), (0, 0, 200), (50, 50, 50)]
    t1 = [v % 5 for v in frame(12, 9, 6)]
    t2 = [v % 5 for v in frame(12, 9, 7)]
    first = (GifFile(12, 9, PALETTE[:4]).gce(delay=4, transparent=3)
             .image(12, 9, t1, code_size=3, interlaced=True, local=local).trailer().bytes())
    second = plain_file(12, 9, t2)
    stdout = (HEADER + PROMPTS + "Opening t_1.gif\n"
              "OpenGIF error in global colour map size.-->4 145\n"
              " read_gif: extension graphic control extension\n"
              "WARNING in subroutine RasterImageModule::ReadGIFImage.\n" +
              field("Error in local colour map, size=8") + "\n" + CONTINUE +
              " Image size:%s%s\n" % (i11(12), i11(9)) +
              "  reading%s  by%s  GIF image from t_1.gif  interlaced\n" % (i11(12), i11(9)) +
              reading_lines("t_2.gif", 12, 9) +
              " Transparent color: %s\n" % i11(3) + final("t_Animated.gif"))
    write_case("transparent_interlaced_local_table",
               {"t_1.gif": first, "t_2.gif": second}, "t\n1\n2\n", stdout,
               expect={"t_Animated.gif": animation_bytes(
                   12, 9, local + [local[-1]] * 3, [t1, (t2, PALETTE, -1)], transparent=3)})

    # Every file with a palette of its own, the second with a transparent
    # colour: each frame keeps its file's colours and transparency.
    reds = [(255, 0, 0), (255, 255, 255), (128, 0, 0)]
    greens = [(0, 255, 0), (255, 255, 255), (0, 128, 0), (0, 0, 0), (9, 9, 9)]
    blues = [(0, 0, 255)] + [(i, i, i) for i in range(1, 16)]
    p1 = [v % 3 for v in frame(10, 8, 11)]
    p2 = [v % 5 for v in frame(10, 8, 12)]
    p3 = [v % 16 for v in frame(10, 8, 13)]
    files = {
        "pal_1.gif": (GifFile(10, 8, reds).gce().image(10, 8, p1, code_size=2)
                      .trailer().bytes()),
        "pal_2.gif": (GifFile(10, 8, greens).gce(transparent=1).image(10, 8, p2, code_size=3)
                      .trailer().bytes()),
        "pal_3.gif": (GifFile(10, 8, blues).gce().image(10, 8, p3, code_size=4)
                      .trailer().bytes()),
    }
    padded = lambda colors, n: colors + [colors[-1]] * (n - len(colors))
    stdout = HEADER + PROMPTS
    for i, (n, packed) in enumerate(((4, 145), (8, 162), (16, 179)), start=1):
        stdout += ("Opening pal_%d.gif\n" % i +
                   "OpenGIF error in global colour map size.-->%d %d\n" % (n, packed) +
                   " read_gif: extension graphic control extension\n" +
                   " Image size:%s%s\n" % (i11(10), i11(8)) +
                   "  reading%s  by%s  GIF image from pal_%d.gif  %s\n" % (
                       i11(10), i11(8), i, " " * 10))
    stdout += final("pal_Animated.gif")
    write_case("own_palettes_and_transparency", files, "pal\n1\n3\n", stdout,
               expect={"pal_Animated.gif": animation_bytes(
                   10, 8, padded(reds, 4),
                   [p1, (p2, padded(greens, 8), 1), (p3, blues, -1)])})

    command_line_cases(f1, f2, f3)
    fault_cases(f1, f2, f3)
    pattern_cases(f1, f2, f3)
    report_cases(f1, f2, f3)
    list_cases(f1, f2, f3)
    timing_cases(f1, f2, f3)
    name_cases(f1, f2)


def cut_in_image_data(values):
    """A 10 by 10 file that ends halfway through its only data sub-block."""
    whole = plain_file(10, 10, values)
    pos = 13 + 3 * 256  # after the screen descriptor and the global table
    while whole[pos] == 0x21:  # extensions: label, then sub-blocks
        pos += 2
        while whole[pos] != 0:
            pos += 1 + whole[pos]
        pos += 1
    start = pos + 10 + 1  # the image descriptor, the code size byte
    data_end = start + 1 + whole[start]
    assert whole[data_end] == 0, "the data must fit in one sub-block"
    return whole[:start + 1 + (data_end - start - 1) // 2]


def cut_short_lines(name):
    """The reader's reports of a file made by cut_in_image_data."""
    def report(message):
        return ("WARNING in subroutine RasterImageModule::get_data_block.\n"
                " ERROR WHILE READING FROM %s.\n" % name + field(message) + "\n" + HINT)
    return report("Problem reading data block.") + report("Problem in count for data block.")


def fault_cases(f1, f2, f3):
    """Inputs that let the run down: each is reported and the run goes on."""
    # A directory named like a file of the series is reported as a missing
    # file and left out.
    write_case("further_file_is_a_directory",
               {"walk_1.gif": plain_file(10, 10, f1), "walk_2.gif": None,
                "walk_3.gif": plain_file(10, 10, f3)},
               "walk\n1\n3\n",
               HEADER + PROMPTS + reading_lines("walk_1.gif", 10, 10) +
               missing_lines("walk_2.gif") + reading_lines("walk_3.gif", 10, 10) +
               final("walk_Animated.gif"),
               expect={"walk_Animated.gif": animation_bytes(10, 10, PALETTE, [f1, f3])})

    # The second file ends inside its only data sub-block: the failed data
    # read is reported, then the surplus check runs into the end of the file
    # at the next count byte. No code was complete, so the frame that is
    # appended is all 0.
    write_case("further_file_cut_short",
               {"walk_1.gif": plain_file(10, 10, f1), "walk_2.gif": cut_in_image_data(f2),
                "walk_3.gif": plain_file(10, 10, f3)},
               "walk\n1\n3\n",
               HEADER + PROMPTS + reading_lines("walk_1.gif", 10, 10) +
               reading_lines("walk_2.gif", 10, 10) + cut_short_lines("walk_2.gif") +
               reading_lines("walk_3.gif", 10, 10) + final("walk_Animated.gif"),
               expect={"walk_Animated.gif": animation_bytes(10, 10, PALETTE,
                                                            [f1, [0] * 100, f3])})



def pattern_cases(f1, f2, f3):
    """Series named by a printf-like FORMAT (-p): padded and negative indices."""
    write_case("args_pattern_zero_padded",
               {"frame_008.gif": plain_file(10, 10, f1), "frame_009.gif": plain_file(10, 10, f2),
                "frame_010.gif": plain_file(10, 10, f3)}, "",
               "".join(reading_lines("frame_%03d.gif" % i, 10, 10) for i in (8, 9, 10)) +
               final("frame_Animated.gif"), args=["-p", "frame_%03d.gif", "8", "10"],
               expect={"frame_Animated.gif": animation_bytes(10, 10, PALETTE, [f1, f2, f3])},
               absent=["frame__Animated.gif"])

    # As printf: the minus sign in front of the zeros, within the width.
    write_case("args_pattern_negative_index",
               {"f_-01.gif": plain_file(10, 10, f1), "f_000.gif": plain_file(10, 10, f2),
                "f_001.gif": plain_file(10, 10, f3)}, "",
               "".join(reading_lines(n, 10, 10) for n in ("f_-01.gif", "f_000.gif", "f_001.gif")) +
               final("f_Animated.gif"), args=["--pattern=f_%03d.gif", "-1", "1"],
               expect={"f_Animated.gif": animation_bytes(10, 10, PALETTE, [f1, f2, f3])})

    series = {"frame_001.gif": plain_file(10, 10, f1), "frame_002.gif": plain_file(10, 10, f2)}
    errors = [
        ("args_pattern_no_conversion", ["-p", "frame_001.gif", "1", "2"],
         "the pattern 'frame_001.gif' given with '-p' has no conversion for the index "
         "(%d, %Nd or %0Nd)"),
        ("args_pattern_two_conversions", ["-p", "frame_%d_%03d.gif", "1", "2"],
         "the pattern 'frame_%d_%03d.gif' given with '-p' has 2 conversions; "
         "it takes exactly one, for the index"),
        ("args_pattern_other_form", ["1", "2", "--pattern=frame_%s.gif"],
         "the pattern 'frame_%s.gif' given with '--pattern' has the unusable form '%s' "
         "(the index takes %d, %Nd or %0Nd; %% is a percent sign)"),
    ]
    error_cases(errors, series,
                ["frame_Animated.gif", "frame_001_Animated.gif", "frame__Animated.gif"])


def report_cases(f1, f2, f3):
    """Files named on standard error in quiet runs, and strict runs."""
    # Quiet: nothing on standard output, and each file not joined whole
    # gets one line on standard error.
    small = frame(8, 10, 4)
    write_case("args_quiet_problem_lines",
               {"walk_1.gif": plain_file(10, 10, f1), "walk_2.gif": cut_in_image_data(f2),
                "walk_4.gif": plain_file(8, 10, small), "walk_5.gif": plain_file(10, 10, f3)},
               "", "", args=["-q", "walk", "1", "5"],
               stderr="gifjoin: walk_2.gif: cut short; frame kept as read\n"
                      "gifjoin: walk_3.gif: missing\n"
                      "gifjoin: walk_4.gif: left out: 8x10, the animation is 10x10 (--any-size keeps it)\n",
               expect={"walk_Animated.gif": animation_bytes(10, 10, PALETTE,
                                                            [f1, [0] * 100, f3])})

    # Strict: a missing file fails the run; the old output stays as it was.
    # Without -q the file is not named on standard error.
    old = animation_bytes(10, 10, PALETTE, [f3, f1], delay=5)
    write_case("args_strict_with_problem",
               {"walk_1.gif": plain_file(10, 10, f1), "walk_3.gif": plain_file(10, 10, f3),
                "walk_Animated.gif": old}, "",
               reading_lines("walk_1.gif", 10, 10) + missing_lines("walk_2.gif") +
               reading_lines("walk_3.gif", 10, 10), exit_status=1, args=["-s", "walk", "1", "3"],
               stderr="gifjoin: 1 file not joined whole; no output written (--strict)\n",
               expect={"walk_Animated.gif": old})

    write_case("args_strict_without_problem",
               {"walk_1.gif": plain_file(10, 10, f1), "walk_2.gif": plain_file(10, 10, f2),
                "walk_Animated.gif": old}, "", "", args=["--strict", "-q", "walk", "1", "2"],
               stderr="",
               expect={"walk_Animated.gif": animation_bytes(10, 10, PALETTE, [f1, f2])})


def list_cases(f1, f2, f3):
    """Input files named one by one (-f): natural order, --as-given, problems."""
    f4, f5 = frame(10, 10, 8), frame(10, 10, 9)
    values = {2: f1, 9: f2, 10: f3, 11: f4, 100: f5}
    files = {"f_%d.gif" % i: plain_file(10, 10, v) for i, v in values.items()}
    # The order a shell's glob gives; natural order mends it.
    globbed = ["f_10.gif", "f_100.gif", "f_11.gif", "f_2.gif", "f_9.gif"]
    natural = [2, 9, 10, 11, 100]
    write_case("args_files_natural_order", files, "",
               "".join(reading_lines("f_%d.gif" % i, 10, 10) for i in natural) +
               final("out.gif"), args=["-f", "-o", "out.gif"] + globbed,
               expect={"out.gif": animation_bytes(10, 10, PALETTE, [values[i] for i in natural])})
    write_case("args_files_as_given", files, "", "",
               args=["-q", "--files", "--as-given", "-o", "out.gif"] + globbed, stderr="",
               expect={"out.gif": animation_bytes(10, 10, PALETTE,
                                                  [values[int(n[2:-4])] for n in globbed])})

    # Further files as in a series: a missing and a refused file named on
    # standard error; folders and names of any kind.
    small = frame(8, 10, 4)
    listed = {"a/frame-9.gif": plain_file(10, 10, f1), "b/frame-10.gif": plain_file(8, 10, small),
              "a/frame-12.gif": plain_file(10, 10, f3)}
    operands = ["b/frame-10.gif", "a/frame-12.gif", "a/frame-11.gif", "a/frame-9.gif"]
    problems = ("gifjoin: a/frame-11.gif: missing\n"
                "gifjoin: b/frame-10.gif: left out: 8x10, the animation is 10x10 (--any-size keeps it)\n")
    write_case("args_files_quiet_problems", listed, "", "",
               args=["-q", "-f", "-o", "out.gif"] + operands, stderr=problems,
               expect={"out.gif": animation_bytes(10, 10, PALETTE, [f1, f3])})
    write_case("args_files_strict", listed, "", "",
               args=["-q", "-s", "-f", "-o", "out.gif"] + operands,
               stderr=problems + "gifjoin: 2 files not joined whole; no output written (--strict)\n",
               exit_status=1, absent=["out.gif"])


    # A quiet run that writes nothing says why, on standard error only.
    write_case("args_quiet_nothing_written", {}, "", "", exit_status=1,
               args=["-q", "-f", "-o", "out.gif", "walk_1.gif"],
               stderr="gifjoin: walk_1.gif: missing\n"
                      "gifjoin: out.gif: not written: the first file gave no colour map "
                      "(nothing readable)\n", absent=["out.gif"])


def timing_cases(f1, f2, f3):
    """Delays from a frame rate, from each file, for the last frame."""
    f4, f5, f6 = frame(10, 10, 8), frame(10, 10, 9), frame(10, 10, 10)
    frames = [f1, f2, f3, f4, f5, f6]
    series = {"walk_%d.gif" % (i + 1): plain_file(10, 10, v) for i, v in enumerate(frames)}
    write_case("args_fps_25", series, "", "", args=["-q", "-r", "25", "walk", "1", "6"],
               stderr="", expect={"walk_Animated.gif": animation_bytes(
                   10, 10, PALETTE, frames, delay=[4] * 6)})
    write_case("args_fps_30_last_delay", series, "", "",
               args=["-q", "--fps=30", "--last-delay=250", "-o", "out.gif", "walk", "1", "6"],
               stderr="", expect={"out.gif": animation_bytes(
                   10, 10, PALETTE, frames, delay=[3, 4, 3, 3, 4, 250])})
    # The last file is missing: the last frame joined takes the last delay.
    write_case("args_last_delay_missing_last_file",
               {"walk_1.gif": series["walk_1.gif"], "walk_2.gif": series["walk_2.gif"]}, "",
               "", args=["-q", "--last-delay", "100", "walk", "1", "3"],
               stderr="gifjoin: walk_3.gif: missing\n",
               expect={"walk_Animated.gif": animation_bytes(10, 10, PALETTE, [f1, f2],
                                                            delay=[30, 100])})

    # Each file's own delay: the first image's control, not a later one's;
    # a file without a control takes -d. Delays of 0 and 1 get one line.
    two_images = (GifFile(10, 10, PALETTE).gce(delay=7).image(10, 10, f1)
                  .gce(delay=99).image(10, 10, f2).trailer().bytes())
    bare = GifFile(10, 10, PALETTE).image(10, 10, f3).trailer().bytes()
    own = {"walk_1.gif": two_images, "walk_2.gif": bare,
           "walk_3.gif": plain_file(10, 10, f4, delay=0),
           "walk_4.gif": plain_file(10, 10, f5, delay=1),
           "walk_5.gif": plain_file(10, 10, f6, delay=12)}
    write_case("args_keep_delays_and_delay", own, "", "",
               args=["-q", "--keep-delays", "-d", "20", "walk", "1", "5"], exit_status=2,
               stderr="gifjoin: the options '-d' and '--keep-delays' exclude one another\n"
                      "Try 'gifjoin --help' for more information.\n",
               absent=["walk_Animated.gif"])
    write_case("args_keep_delays_low_delay_line", own, "", "",
               args=["-q", "--keep-delays", "walk", "1", "5"],
               stderr="gifjoin: 2 frames have a delay of 0 or 1 hundredth of a second; "
                      "browsers show them for 10 hundredths\n",
               expect={"walk_Animated.gif": animation_bytes(
                   10, 10, PALETTE, [f1, f3, f4, f5, f6], delay=[7, 30, 0, 1, 12])})

    errors = [
        ("args_fps_and_delay", ["-d", "5", "-r", "25", "walk", "1", "3"],
         "the options '-d' and '-r' exclude one another"),
        ("args_fps_and_keep_delays", ["--keep-delays", "--fps", "25", "walk", "1", "3"],
         "the options '--fps' and '--keep-delays' exclude one another"),
        ("args_fps_not_a_number", ["-r", "fast", "walk", "1", "3"],
         "the frame rate 'fast' given with '-r' is not a number"),
        ("args_fps_out_of_range", ["--fps=0", "walk", "1", "3"],
         "the frame rate '0' given with '--fps' is out of range (0.01 to 1000, "
         "at most six decimals)"),
        ("args_files_without_output", ["-f", "walk_1.gif", "walk_2.gif"],
         "a list of files has no default output name: name one with -o FILE"),
        ("args_files_and_pattern", ["-f", "-p", "walk_%d.gif", "-o", "out.gif", "1", "3"],
         "the options '-p' and '-f' exclude one another"),
        ("args_as_given_without_files", ["--as-given", "walk", "1", "3"],
         "option '--as-given' is for a list of files (-f)"),
    ]
    series3 = {k: series[k] for k in ("walk_1.gif", "walk_2.gif", "walk_3.gif")}
    error_cases(errors, series3, ["walk_Animated.gif", "out.gif"])


def name_cases(f1, f2):
    """Folders and names in Cyrillic and Japanese, through the dialogue and the options."""
    def run(folder, base, **kw):
        files = {"%s/%s_%d.gif" % (folder, base, i): plain_file(10, 10, v)
                 for i, v in ((1, f1), (2, f2))}
        return files, "".join(reading_lines("%s/%s_%d.gif" % (folder, base, i), 10, 10)
                              for i in (1, 2))
    animation = animation_bytes(10, 10, PALETTE, [f1, f2])
    files, reading = run("Дмитрий", "кадр")
    write_case("cyrillic_names_dialogue", files, "'Дмитрий/кадр'\n1\n2\n",
               HEADER + PROMPTS + reading + final("Дмитрий/кадр_Animated.gif"),
               expect={"Дмитрий/кадр_Animated.gif": animation})
    write_case("args_cyrillic_names", files, "", reading + final("Дмитрий/анимация.gif"),
               args=["-o", "Дмитрий/анимация.gif", "Дмитрий/кадр", "1", "2"],
               expect={"Дмитрий/анимация.gif": animation})
    files, reading = run("デスクトップ", "写真")
    write_case("japanese_names_dialogue", files, "'デスクトップ/写真'\n1\n2\n",
               HEADER + PROMPTS + reading + final("デスクトップ/写真_Animated.gif"),
               expect={"デスクトップ/写真_Animated.gif": animation})
    write_case("args_japanese_names", files, "", "",
               args=["-q", "-f", "-o", "デスクトップ/動画.gif", "デスクトップ/写真_2.gif",
                     "デスクトップ/写真_1.gif", "デスクトップ/写真_3.gif"],
               stderr="gifjoin: デスクトップ/写真_3.gif: missing\n",
               expect={"デスクトップ/動画.gif": animation})


if __name__ == "__main__":
    main()
