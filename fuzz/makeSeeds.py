#!/usr/bin/env python3
"""Writes the seed corpora of the outline and C interface fuzzers.

    python3 fuzz/makeSeeds.py        # rewrites every directory under fuzz/seeds

The format is described in outlineInput.h. Files named regression_* are
inputs with which a fuzzer once found a fault; they are kept as they are. The seeds are animal-like
silhouettes (with and without tails, limbs and loops) and a few degenerate
outlines, placed at the origin, at negative coordinates and near the
segment raster's size bound, with default, notable and raw parameters.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# Indices into origins[] of outlineInput.h.
AT_0, AT_7, AT_MINUS_300, AT_1000, AT_16000, AT_16300, AT_17000, AT_MINUS_2E9, AT_2147480000 = 0, 3, 6, 7, 10, 11, 12, 14, 15


class Mask:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.on = [[False] * width for _ in range(height)]

    def set(self, x, y):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.on[y][x] = True

    def ellipse(self, cx, cy, rx, ry):
        for y in range(self.height):
            for x in range(self.width):
                if ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0:
                    self.set(x, y)

    def band(self, path, start_half, end_half, samples):
        for i in range(samples + 1):
            t = i / samples
            cx, cy = path(t)
            half = start_half + (end_half - start_half) * t
            for y in range(math.floor(cy - half), math.ceil(cy + half) + 1):
                for x in range(math.floor(cx - half), math.ceil(cx + half) + 1):
                    if (x - cx) ** 2 + (y - cy) ** 2 <= half * half:
                        self.set(x, y)

    def runs(self):
        for y in range(self.height):
            x = 0
            while x < self.width:
                if not self.on[y][x]:
                    x += 1
                    continue
                first = x
                while x < self.width and self.on[y][x]:
                    x += 1
                yield y, first, x - 1


def rodent(length, tail=True, bend=0.0, limbs=0, loop=False):
    width, height = int(length * 2.4) + 12, int(length * 1.2) + 12
    m = Mask(min(width, 255), height)
    cx, cy = 6 + length * 0.6, height / 2
    m.ellipse(cx, cy, length * 0.5, length * 0.22)
    m.ellipse(cx - length * 0.5, cy, length * 0.16, length * 0.12)
    if tail:
        tail_length = length * 1.1
        m.band(lambda t: (cx + length * 0.45 + t * tail_length, cy + bend * length * math.sin(t * 3)),
               max(2.0, length * 0.03), 1.0, int(tail_length * 2))
    for i in range(limbs):
        along = cx - length * 0.25 + (i // 2) * length * 0.4
        side = -1 if i % 2 else 1
        m.band(lambda t: (along + t * length * 0.05, cy + side * (length * 0.18 + t * length * 0.2)),
               1.2, 0.8, 40)
    if loop:
        for k in range(6):
            m.set(int(cx) + k, int(cy - length * 0.22) - 3)
    return m


def records(mask, dup_rows=(), odd_rows=()):
    out = bytearray()
    runs = list(mask.runs())
    row = runs[0][0] if runs else 0  # the top row becomes row 0
    for y, first, last in runs:
        step = y - row
        assert step <= 7, "rows more than 7 apart need a record in between"
        ctl = step
        if y in dup_rows:
            ctl |= 0x10
        if y in odd_rows:
            ctl |= 0x08
        row = y
        out += bytes([ctl, first, min(last - first, 255)])
    return bytes(out)


def header(params=None, call=0, frame_x=AT_0, frame_y=AT_0, layout=0):
    out = bytearray()
    for i in range(9):
        if params is None or params[i] is None:
            out.append(0)
        elif isinstance(params[i], tuple):  # ('notable', index) / ('small', v) / ('raw', v)
            kind, v = params[i]
            if kind == "notable":
                out.append(0x40 | v)
            elif kind == "small":
                out.append(0x80 | v)
            else:
                out.append(0xC0)
                out += struct.pack("<i", v)
    out.append(call)
    out.append(frame_x | (frame_y << 4))
    out.append(layout)
    return bytes(out)


def raw_point(x, y):
    return bytes([0x80]) + struct.pack("<ff", x, y)


def outline_seeds():
    body = rodent(60)
    bent = rodent(70, bend=0.15, limbs=4)
    looped = rodent(50, limbs=2, loop=True)
    plain = rodent(40, tail=False)
    square = Mask(10, 10)
    square.ellipse(4.5, 4.5, 100, 100)
    ring = Mask(30, 30)
    ring.ellipse(15, 15, 12, 12)
    ring.on = [[ring.on[y][x] and (x - 15) ** 2 + (y - 15) ** 2 > 25 for x in range(30)] for y in range(30)]
    two = Mask(60, 20)
    two.ellipse(10, 10, 8, 8)
    two.ellipse(45, 10, 12, 6)
    line = Mask(80, 3)
    for x in range(80):
        line.set(x, 1)

    seeds = {
        "rodent": header() + records(body),
        "rodent_bent_limbs": header() + records(bent),
        "rodent_loop": header(params=[None] * 8 + [("small", 30)]) + records(looped),
        "no_tail": header() + records(plain),
        "square": header() + records(square),
        "ring": header() + records(ring),
        "two_blobs": header() + records(two),
        "line": header() + records(line),
        "pixel": header() + bytes([0, 5, 0]),
        "shuffled_fractions": header(layout=(5 << 2) | (1 << 5)) + records(body),
        "negative_reversed": header(frame_x=AT_MINUS_300, frame_y=AT_MINUS_300, layout=(1 << 2) | (3 << 5))
        + records(bent),
        "near_bound": header(frame_x=AT_16000, frame_y=AT_16000) + records(body),
        "beyond_bound": header(frame_x=AT_16300, frame_y=AT_16300) + records(body),
        "far_x": header(frame_x=AT_17000, frame_y=AT_7) + records(bent),
        "int_range_ends": header(frame_x=AT_MINUS_2E9, frame_y=AT_2147480000) + records(square),
        "scaled_twice": header(layout=1 | 0x80) + records(looped),
        "odd_rows": header() + records(body, odd_rows={20, 21}),
        "duplicates": header(layout=4 << 2) + records(body, dup_rows=set(range(10, 40))),
        "specials": header() + records(square) + raw_point(float("nan"), 3.0) + raw_point(float("inf"), 4.0)
        + raw_point(-1e30, float("-inf")) + raw_point(3.99, -3.99),
        "notable_params": header(params=[("notable", 15), ("notable", 0), ("notable", 3), ("notable", 13),
                                         ("notable", 4), ("notable", 12), ("notable", 1), ("notable", 15),
                                         ("notable", 13)]) + records(bent),
        "raw_params": header(params=[("raw", 25), ("raw", 5), ("raw", 2), ("raw", 1000), ("raw", 40),
                                     ("raw", 1), ("raw", 1), ("raw", 100000), ("raw", 50)]) + records(looped),
        "early_stop": header(params=[("notable", 4)] + [None] * 8) + records(body),
        "null_x": header(call=1) + records(square),
        "negative_count": header(call=3 | 4) + records(square),
    }
    return seeds


def capi_seeds(outlines):
    seeds = {}
    for i, name in enumerate(["rodent", "rodent_bent_limbs", "specials", "near_bound", "null_x"]):
        params = bytes([1]) + bytes(9) if i % 2 else bytes([0])
        seeds["outline_" + name] = bytes([0, i]) + params + outlines[name]
    def mask_seed(name, mask, stride_selector=0, flags=0, capacity=2, params=0):
        bits = bytearray((mask.width * mask.height + 7) // 8)
        for y in range(mask.height):
            for x in range(mask.width):
                if mask.on[y][x]:
                    i = y * mask.width + x
                    bits[i // 8] |= 1 << (i % 8)
        seeds["mask_" + name] = bytes([1, mask.width, mask.height, stride_selector, flags, capacity, params]) + bits
    small = rodent(36, limbs=2)
    specks = rodent(30)
    specks.set(1, 1)
    specks.set(specks.width - 2, specks.height - 2)
    mask_seed("rodent", small)
    mask_seed("rodent_padded_all", specks, stride_selector=13, flags=1, capacity=4)
    mask_seed("specks", specks, capacity=5)
    grid = Mask(16, 16)
    for y in range(0, 16, 3):
        for x in range(0, 16, 3):
            grid.set(x, y)
    mask_seed("grid", grid, capacity=3)
    seeds["mask_wide_row"] = bytes([1, 0xF0 | 9, 1, 0, 1, 1, 0, 0x55, 0xF0])
    seeds["mask_bad_stride"] = bytes([1, 20, 5, 0xE0, 0, 2, 0, 0xFF])
    seeds["mask_huge_stride"] = bytes([1, 20, 1, 0xE4, 0, 2, 0, 0x0F])
    seeds["mask_bad_flags"] = bytes([1, 8, 8, 0, 0xC2, 2, 0, 0x3C])
    return seeds


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


def png(pixels, color_type, depth, palette=None, trns=None, interlace=False):
    """pixels: rows of tuples of samples (one per channel)."""
    height, width = len(pixels), len(pixels[0])

    def scanlines(xs, ys, xstep, ystep):
        out = bytearray()
        for y in range(ys, height, ystep):
            samples = [v for x in range(xs, width, xstep) for v in pixels[y][x]]
            if not samples:
                continue
            out.append(0)
            if depth < 8:
                bits = "".join(format(v, "0%db" % depth) for v in samples)
                bits += "0" * (-len(bits) % 8)
                out += bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
            elif depth == 8:
                out += bytes(samples)
            else:
                out += b"".join(struct.pack(">H", v) for v in samples)
        return out

    raw = bytearray()
    for xs, ys, xstep, ystep in (ADAM7 if interlace else [(0, 0, 1, 1)]):
        raw += scanlines(xs, ys, xstep, ystep)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, color_type, 0, 0,
                                                             1 if interlace else 0))
    if palette:
        out += chunk(b"PLTE", bytes(v for rgb in palette for v in rgb))
    if trns is not None:
        out += chunk(b"tRNS", trns)
    return out + chunk(b"IDAT", zlib.compress(bytes(raw))) + chunk(b"IEND", b"")


def image_seeds():
    m = rodent(24, limbs=2)
    width, height = m.width, m.height

    def samples(channels, on, off):
        return [[(on if m.on[y][x] else off)[:channels] for x in range(width)] for y in range(height)]

    pngs = {
        "grey8": png(samples(1, (200,), (10,)), 0, 8),
        "grey1": png(samples(1, (1,), (0,)), 0, 1),
        "grey2": png(samples(1, (3,), (1,)), 0, 2),
        "grey4": png(samples(1, (12,), (2,)), 0, 4),
        "grey16": png(samples(1, (40000,), (300,)), 0, 16),
        "grey8_trns": png(samples(1, (200,), (10,)), 0, 8, trns=struct.pack(">H", 10)),
        "grey_alpha8": png(samples(2, (250, 128), (250, 0)), 4, 8),
        "rgb8": png(samples(3, (30, 220, 40), (0, 0, 90)), 2, 8),
        "rgb16": png(samples(3, (0, 65535, 0), (100, 100, 100)), 2, 16),
        "rgba8_interlaced": png(samples(4, (255, 255, 255, 255), (255, 255, 255, 0)), 6, 8, interlace=True),
        "rgba16": png(samples(4, (65535, 0, 0, 65535), (0, 0, 0, 65535)), 6, 16),
        "grey8_interlaced": png(samples(1, (255,), (0,)), 0, 8, interlace=True),
        "palette8_trns": png(samples(1, (1,), (0,)), 3, 8, palette=[(0, 0, 0), (255, 255, 255)], trns=b"\xff\x80"),
        "palette1": png(samples(1, (1,), (0,)), 3, 1, palette=[(0, 0, 0), (255, 255, 255)]),
        "pixel": png([[(255,)]], 0, 8),
    }
    whole = pngs["grey8"]
    pngs["truncated"] = whole[:len(whole) // 2]
    pngs["bad_crc"] = whole[:-5] + b"\x00" + whole[-4:]
    # An ancillary chunk that declares far more than the file holds.
    pngs["huge_chunk"] = whole[:33] + struct.pack(">I", 0x7FFF0000) + b"sPLTa\x00bc" + whole[33:]

    def text_rows(values, per_line=12):
        items = [str(v) for v in values]
        return "\n".join(" ".join(items[i:i + per_line]) for i in range(0, len(items), per_line)) + "\n"

    bits = [1 if m.on[y][x] else 0 for y in range(height) for x in range(width)]
    grey = [200 if b else 10 for b in bits]
    packed = bytearray()
    for y in range(height):
        row = "".join(str(bits[y * width + x]) for x in range(width))
        row += "0" * (-len(row) % 8)
        packed += bytes(int(row[i:i + 8], 2) for i in range(0, len(row), 8))
    head = "%d %d\n" % (width, height)
    pbm = {
        "p1": ("P1\n# a rodent\n" + head + text_rows(bits)).encode(),
        "p1_run_together": ("P1 " + head + "\n".join("".join(map(str, bits[y * width:(y + 1) * width]))
                                                    for y in range(height)) + "\n").encode(),
        "p2": ("P2\n" + head + "255\n" + text_rows(grey)).encode(),
        "p3": ("P3 " + head + "65535\n" + text_rows([v * 257 for g in grey for v in (g, 0, g // 2)])).encode(),
        "p4": ("P4\n" + head).encode() + bytes(packed),
        "p5": ("P5 #c\n" + head + "255\n").encode() + bytes(grey),
        "p5_16": ("P5\n" + head + "1000\n").encode() + b"".join(struct.pack(">H", g * 3) for g in grey),
        "p6": ("P6\n" + head + "255\n").encode() + bytes(v for g in grey for v in (0, g, 0)),
        "p5_truncated": ("P5\n" + head + "255\n").encode() + bytes(grey[:50]),
        "p2_over_max": b"P2 2 1 7 3 9\n",
        "p4_huge_header": b"P4\n1048576 256\n\x00",
    }
    spans = Mask.runs(m)
    lines = ["# x y"]
    for y, first, last in spans:
        lines += ["%d %d" % (first, y), "%d,%d" % (last, y)]
    points = {
        "rodent": ("\n".join(lines) + "\n").encode(),
        "decimals": b"3.99 -3.99\n  +12.5\t7e2\r\n\n# comment\n1e9 -2147483648\n",
        "bad_line": b"1 2\n3\n",
        "too_large": b"1 4294967296\n",
        "nan": b"nan 1\ninf 2\n",
    }
    return pngs, pbm, points


def write(directory, seeds):
    path = os.path.join(HERE, "seeds", directory)
    os.makedirs(path, exist_ok=True)
    for old in os.listdir(path):
        if not old.startswith("regression_"):  # inputs that once found a fault are kept
            os.remove(os.path.join(path, old))
    for name, data in seeds.items():
        with open(os.path.join(path, name), "wb") as f:
            f.write(data)


def main():
    outlines = outline_seeds()
    write("class_fuzzer", outlines)
    write("paths_fuzzer", {k: v for k, v in outlines.items() if k not in ("near_bound",)})
    write("capi_fuzzer", capi_seeds(outlines))
    pngs, pbm, points = image_seeds()
    write("png_fuzzer", pngs)
    write("netpbm_fuzzer", pbm)
    write("points_fuzzer", points)


if __name__ == "__main__":
    main()
