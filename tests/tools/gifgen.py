#!/usr/bin/env python3
"""Small GIF toolkit for the tests, written from the file format alone.

It builds input files block by block (so that broken and unusual files can
be made as easily as valid ones) and computes the exact bytes gifjoin must
write for a given animation, using the straightforward LZW algorithm with
its child lists, as an independent reference for the fast C++ encoder.
"""

import struct


def lzw_codes(values, code_size):
    """Codes (code, width) of the tool's LZW scheme for a list of pixel values."""
    clear = 1 << code_size
    end = clear + 1
    mask = clear - 1
    codes = []
    table = {}
    next_code = clear + 2
    width = code_size + 1
    width_limit = (1 << width) - 1

    def reset():
        nonlocal next_code, width, width_limit
        table.clear()
        next_code = clear + 2
        width = code_size + 1
        width_limit = (1 << width) - 1

    codes.append((clear, width))
    if not values:
        codes.append((end, width))
        return codes
    prefix = None
    for v in values:
        v &= mask
        if prefix is None:
            prefix = v
            continue
        code = table.get((prefix, v))
        if code is not None:
            prefix = code
            continue
        codes.append((prefix, width))
        if next_code > 4095:
            codes.append((clear, width))
            reset()
        else:
            if next_code > width_limit:
                width += 1
                width_limit = 2 * width_limit + 1
            table[(prefix, v)] = next_code
            next_code += 1
        prefix = v
    codes.append((prefix, width))
    codes.append((end, width))
    return codes


def pack_codes(codes):
    """Least-significant-bit-first packing into data sub-blocks (no terminator)."""
    acc = 0
    bits = 0
    data = bytearray()
    for code, width in codes:
        acc |= code << bits
        bits += width
        while bits >= 8:
            data.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        data.append(acc & 0xFF)
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    return bytes(out)


def image_data(values, code_size):
    """Code size byte, sub-blocks and terminator for one image."""
    cs = max(code_size, 2)
    return bytes([cs]) + pack_codes(lzw_codes(values, cs)) + b"\x00"


def interlace_order(height):
    rows = []
    for first, step in ((0, 8), (4, 8), (2, 4), (1, 2)):
        rows.extend(range(first, height, step))
    return rows


def table_bits(entries):
    bits = 1
    while bits < 8 and (1 << bits) < entries:
        bits += 1
    return bits


def color_table(colors, entries):
    out = bytearray()
    for i in range(entries):
        r, g, b = colors[min(i, len(colors) - 1)] if colors else (0, 0, 0)
        out += bytes([r & 0xFF, g & 0xFF, b & 0xFF])
    return bytes(out)


class GifFile:
    """Builds an input GIF block by block."""

    def __init__(self, width, height, colors=None, signature=b"GIF89a", packed=None,
                 background=0, aspect=0):
        self.out = bytearray(signature)
        if packed is None:
            packed = 0
            if colors is not None:
                bits = table_bits(len(colors))
                packed = 0x80 | ((bits - 1) << 4) | (bits - 1)
        self.out += struct.pack("<HHBBB", width, height, packed, background, aspect)
        if colors is not None and packed & 0x80:
            self.out += color_table(colors, 2 << (packed & 7))

    def gce(self, delay=0, transparent=None, disposal=0):
        packed = (disposal << 2) | (1 if transparent is not None else 0)
        self.out += bytes([0x21, 0xF9, 4, packed]) + struct.pack("<H", delay)
        self.out += bytes([transparent or 0, 0])
        return self

    def extension(self, label, blocks):
        self.out += bytes([0x21, label])
        for b in blocks:
            self.out += bytes([len(b)]) + b
        self.out += b"\x00"
        return self

    def image(self, width, height, values, code_size=8, interlaced=False, local=None,
              left=0, top=0):
        packed = 0x40 if interlaced else 0
        if local is not None:
            bits = table_bits(len(local))
            packed |= 0x80 | (bits - 1)
        self.out += b"," + struct.pack("<HHHHB", left, top, width, height, packed)
        if local is not None:
            self.out += color_table(local, 2 << (packed & 7))
        if interlaced:
            rows = [values[r * width:(r + 1) * width] for r in range(height)]
            values = [v for r in interlace_order(height) for v in rows[r]]
        self.out += image_data(values, code_size)
        return self

    def raw(self, data):
        self.out += data
        return self

    def trailer(self):
        self.out += b";"
        return self

    def bytes(self):
        return bytes(self.out)

    def save(self, path):
        with open(path, "wb") as f:
            f.write(self.out)


def animation_bytes(width, height, colors, frames, delay=30, transparent=-1, loop=65535):
    """The exact file gifjoin writes for an animation record.

    A frame is a list of values, or (values, own colours or None, own
    transparent index) for a frame read from a further file: colours that
    differ from the animation's go into a local colour table. The delay is
    one for every frame or a list with one per frame.
    """
    delays = list(delay) if isinstance(delay, (list, tuple)) else [delay] * len(frames)
    bits = table_bits(len(colors))
    out = bytearray(b"GIF89a")
    bg = transparent if transparent >= 0 else 0
    out += struct.pack("<HHBBB", width, height, 0x80 | ((bits - 1) << 4) | (bits - 1),
                       bg & 0xFF, 0)
    out += color_table(colors, 1 << bits)
    if len(frames) > 1:
        out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01" + struct.pack("<H", loop) + b"\x00"
    code_size = bits
    for item, delay in zip(frames, delays):
        values, own, t = item if isinstance(item, tuple) else (item, None, transparent)
        if t >= 0:
            out += bytes([0x21, 0xF9, 4, 9]) + struct.pack("<H", delay) + bytes([t & 0xFF, 0])
        else:
            out += bytes([0x21, 0xF9, 4, 8]) + struct.pack("<H", delay) + b"\x00\x00"
        if own is not None and [tuple(c) for c in own] != [tuple(c) for c in colors]:
            b = table_bits(len(own))
            out += b"," + struct.pack("<HHHHB", 0, 0, width, height, 0x80 | (b - 1))
            out += color_table(own, 1 << b)
            out += image_data(values, max(b, 2))
            continue
        out += b"," + struct.pack("<HHHHB", 0, 0, width, height, (code_size - 1) & 7)
        code_size = max(code_size, 2)
        out += image_data(values, code_size)
    out += b";"
    return bytes(out)
