#!/usr/bin/python3
"""Ratios of ours against giflib from one gifjoin_bench run.

    build/gifjoin_bench --benchmark_repetitions=3 --benchmark_out=run.json
    /usr/bin/python3 bench/summarize.py run.json

Takes the median of the repetitions (or the single run) of every
benchmark, prints Mpx/s per frame and stage, and the throughput ratios:
decoding (ReadGIFImage and the bulk decoder against giflib's DGifSlurp),
encoding (our LZW encoder against giflib's EGifPutLine) and whole files
(writeGIFImage against giflib writing the same animation).
"""

import json
import sys


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    with open(argv[1]) as f:
        run = json.load(f)
    rates = {}
    for b in run["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        name = b.get("run_name", b["name"])
        rates[name] = b.get("items_per_second", 0.0) / 1e6
    frames = []
    for name in rates:
        frame = name.split("/")[2]
        if frame not in frames:
            frames.append(frame)

    def get(stage, frame, suffix=""):
        return rates.get("%s/%s%s" % (stage, frame, suffix))

    def ratio(a, b):
        return "%.2f" % (a / b) if a and b else "-"

    ctx = run.get("context", {})
    print("run: %s, %s cpus, %s MHz" % (ctx.get("date"), ctx.get("num_cpus"), ctx.get("mhz_per_cpu")))
    print()
    print("Mpx/s (median)")
    stages = [
        ("read/code_reader", "code reader"),
        ("read/lzw_per_call", "LZW decoder, per call"),
        ("read/lzw_bulk", "LZW decoder, bulk"),
        ("read/ReadGIFImage", "ReadGIFImage (file)"),
        ("read/giflib_file", "giflib DGifSlurp (file)"),
        ("read/giflib_memory", "giflib DGifSlurp (memory)"),
        ("write/code_buffer", "code buffer"),
        ("write/lzw_encoder", "LZW encoder"),
        ("write/lzw_encode_fn", "lzw_encode (new encoder)"),
        ("write/giflib_memory", "giflib EGifPutLine (memory)"),
    ]
    header = "%-30s" % "" + "".join("%22s" % f for f in frames)
    print(header)
    for stage, label in stages:
        cells = []
        for frame in frames:
            v = get(stage, frame)
            cells.append("%22s" % ("%.0f" % v if v else "-"))
        print("%-30s" % label + "".join(cells))
    print()
    print("ratios, ours / giflib (targets: decoder and encoder >= 2)")
    for frame in frames:
        print(
            "  %-24s decode ReadGIFImage/giflib file %s, bulk/giflib memory %s; "
            "encode %s"
            % (
                frame,
                ratio(get("read/ReadGIFImage", frame), get("read/giflib_file", frame)),
                ratio(get("read/lzw_bulk", frame), get("read/giflib_memory", frame)),
                ratio(get("write/lzw_encoder", frame), get("write/giflib_memory", frame)),
            )
        )
    print()
    print("whole files of 16 frames, Mpx/s (median, wall time)")
    for frame in frames:
        one = get("file/writeGIFImage", frame, "/threads:1/real_time")
        two = get("file/writeGIFImage", frame, "/threads:2/real_time")
        peer = get("file/giflib_writer", frame, "/real_time")
        join = get("file/join", frame, "/real_time")
        append = get("file/append", frame, "/frames:50/real_time")
        if not (one or peer):
            continue
        print(
            "  %-24s writeGIFImage 1 thread %.0f, 2 threads %.0f, giflib %.0f (ratio %s / %s); "
            "whole run %.0f; appending 50 frames %.0f"
            % (frame, one or 0, two or 0, peer or 0, ratio(one, peer), ratio(two, peer), join or 0, append or 0)
        )


if __name__ == "__main__":
    main(sys.argv)
