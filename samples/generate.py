#!/usr/bin/env python3
"""Draws silhouettes of rodents seen from above as binary PNG masks.

    generate.py --samples DIR          the bundled sample set, with truth.csv
    generate.py --out mouse.png --length 100 --tail curved --limbs 4 \
                --frame 640x480 --at 400,300 --heading 30

The animal's axis runs from the rump to the nose; --length is that body length
in pixels (the tail comes on top). --heading is the direction the nose points
in, in degrees, 0 to the right and 90 downward (image y grows downward).
Without --frame the picture is the animal's bounding box plus --margin.

Every drawing is deterministic: the same options give the same pixels. With
--truth the script prints where a person would put the tail base, the body
centre and the nose, as one CSV row (see TRUTH_HEADER).

Python 3 standard library only; the anti-aliased drawing into arrays that the
video scenes use (Rodent.coverage, samples/scene.py) needs NumPy.
"""

import argparse
import math
import os
import struct
import sys
import zlib

TRUTH_HEADER = "file,has_tail,tail_base_x,tail_base_y,center_x,center_y,nose_x,nose_y"

# Half-width of the body along its axis, as a fraction of the widest point:
# (position from rump 0 to nose 1, fraction). A round rump, the widest part
# behind the middle, a neck, a slightly wider head and a pointed snout.
BODY_PROFILE = [
    (0.00, 0.00), (0.03, 0.50), (0.08, 0.78), (0.18, 0.95), (0.32, 1.00),
    (0.48, 0.96), (0.60, 0.84), (0.68, 0.70), (0.75, 0.63), (0.82, 0.54),
    (0.90, 0.36), (0.96, 0.16), (1.00, 0.00),
]

BODY_WIDTH = 0.40        # widest full width, in body lengths
TAIL_WIDTH = 0.045       # full width at the root, in body lengths
LIMB_WIDTH = 0.035       # full width of a leg, in body lengths
EAR_RADIUS = 0.065       # in body lengths
LIMB_REACH = 0.07        # how far a leg reaches beyond the body's side
MIN_RADIUS = 0.75        # thinnest stroke that still gives a connected chain


def profile(u):
    """Half-width fraction at position u along the body (Catmull-Rom)."""
    if u <= 0.0 or u >= 1.0:
        return 0.0
    pts = BODY_PROFILE
    i = 0
    while pts[i + 1][0] < u:
        i += 1
    p0 = pts[max(i - 1, 0)][1]
    p1, p2 = pts[i][1], pts[i + 1][1]
    p3 = pts[min(i + 2, len(pts) - 1)][1]
    t = (u - pts[i][0]) / (pts[i + 1][0] - pts[i][0])
    v = 0.5 * (2 * p1 + (p2 - p0) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t * t
               + (3 * p1 - p0 - 3 * p2 + p3) * t * t * t)
    return max(v, 0.0)


class Mask:
    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.rows = [bytearray(width) for _ in range(height)]

    def set(self, x, y):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = 255

    def disc(self, cx, cy, r):
        """Every pixel whose centre lies within r of (cx, cy)."""
        r = max(r, MIN_RADIUS)
        for y in range(math.floor(cy - r - 0.5), math.ceil(cy + r - 0.5) + 1):
            for x in range(math.floor(cx - r - 0.5), math.ceil(cx + r - 0.5) + 1):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.set(x, y)

    def png(self):
        return grey_png(self.width, self.height, self.rows)


def grey_png(width, height, rows, level=9):
    """An 8-bit grey PNG of `rows` (height byte strings of width bytes)."""
    raw = b"".join(b"\x00" + bytes(row) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, level)) + chunk(b"IEND", b""))


class Rodent:
    """The animal in its own frame: s along the axis (rump -L/2, nose +L/2),
    t across it; placed at `centre` with the nose pointing along `heading`."""

    def __init__(self, length, heading, tail, tail_bend, tail_length, limbs, ears, limb_swing=None,
                 arrays=False):
        # arrays: compute the strokes with NumPy, for the video scenes; the
        # masks keep the plain loop, whose rounding their pixels depend on.
        self.arrays = arrays
        self.length = float(length)
        self.half = BODY_WIDTH * self.length / 2
        a = math.radians(heading)
        self.d = (math.cos(a), math.sin(a))      # toward the nose
        self.n = (-math.sin(a), math.cos(a))     # to the animal's right
        self.centre = (0.0, 0.0)
        self.strokes = []                        # (s, t, radius) in the animal's frame
        self.bands = []                          # (part, first, end): strokes[first:end] form one band
        self._blocks = []                        # with arrays: the bands' strokes, as arrays
        if tail != "none":
            self._tail(tail, math.radians(tail_bend), tail_length * self.length)
        self._limbs(limbs, limb_swing or (0.0,) * 4)
        if ears:
            s = (0.72 - 0.5) * self.length
            for side in (1, -1):
                first = self._stroke_count()
                self._add_strokes([(s, side * self.half_width(s) * 0.8, EAR_RADIUS * self.length)])
                self.bands.append(("ear", first, first + 1))
        if arrays:
            import numpy as np
            self.strokes = np.concatenate(self._blocks) if self._blocks else np.zeros((0, 3))

    def _stroke_count(self):
        return sum(len(b) for b in self._blocks) if self.arrays else len(self.strokes)

    def _add_strokes(self, strokes):
        if self.arrays:
            import numpy as np
            self._blocks.append(np.asarray(strokes, dtype=float).reshape(-1, 3))
        else:
            self.strokes.extend(strokes)

    def world(self, s, t):
        return (self.centre[0] + s * self.d[0] + t * self.n[0],
                self.centre[1] + s * self.d[1] + t * self.n[1])

    def local(self, x, y):
        dx, dy = x - self.centre[0], y - self.centre[1]
        return (dx * self.d[0] + dy * self.d[1], dx * self.n[0] + dy * self.n[1])

    def half_width(self, s):
        return self.half * profile(s / self.length + 0.5)

    def _band(self, part, s, t, heading, length, r0, r1, turn):
        """A stroke of `part` from (s, t) that starts out along `heading`
        (radians in the animal's frame), bends by `turn(a)` after arc length a
        and tapers from radius r0 to r1."""
        step = 0.25
        first = self._stroke_count()
        if self.arrays:
            self._band_arrays(s, t, heading, length, r0, r1, turn, step)
        else:
            a = 0.0
            while a <= length:
                f = a / length if length > 0 else 0.0
                self.strokes.append((s, t, r0 + (r1 - r0) * f))
                phi = heading + turn(f)
                s += step * math.cos(phi)
                t += step * math.sin(phi)
                a += step
        self.bands.append((part, first, self._stroke_count()))

    def _band_arrays(self, s, t, heading, length, r0, r1, turn, step):
        """The strokes of _band's loop, computed with NumPy."""
        import numpy as np
        count = int(length // step) + 1 if length >= 0 else 0
        f = np.arange(count) * step / length if length > 0 else np.zeros(count)
        phi = heading + turn(f) + np.zeros(count)
        ss = s + np.concatenate([[0.0], np.cumsum(step * np.cos(phi[:-1]))])
        ts = t + np.concatenate([[0.0], np.cumsum(step * np.sin(phi[:-1]))])
        self._add_strokes(np.column_stack([ss, ts, r0 + (r1 - r0) * f]))

    def _tail(self, shape, bend, length):
        root = TAIL_WIDTH * self.length / 2
        if self.arrays:
            import numpy as np
            sin = np.sin
        else:
            sin = math.sin
        turns = {
            "straight": lambda f: 0.0,
            "curved": lambda f: bend * f,
            "wavy": lambda f: bend * sin(2 * math.pi * f),
        }
        # Starts a little inside the rump so that it joins the body smoothly.
        self._band("tail", -self.length / 2 + 0.04 * self.length, 0.0, math.pi, length, root, MIN_RADIUS,
                   turns[shape])

    def _limbs(self, count, swing):
        # Front legs reach forward and out, hind legs back and out; `swing`
        # turns each leg (radians) from that rest angle, as in a stride.
        legs = [(0.62, 1, 1.0), (0.62, -1, -1.0), (0.24, 1, 2.3), (0.24, -1, -2.3)]
        r = max(LIMB_WIDTH * self.length / 2, MIN_RADIUS + 0.25)
        for (u, side, angle), turn in zip(legs[:count], swing):
            s = (u - 0.5) * self.length
            t0 = side * self.half_width(s) * 0.6
            reach = self.half_width(s) * 0.4 + LIMB_REACH * self.length
            self._band("limb", s, t0, angle + turn, reach / abs(math.sin(angle)), r, r * 0.8, lambda f: 0.0)

    def extent(self):
        """Bounding box (x0, y0, x1, y1) in the current placement."""
        points = []
        steps = max(int(self.length), 8)
        for i in range(steps + 1):
            s = -self.length / 2 + self.length * i / steps
            h = self.half_width(s)
            points += [self.world(s, h), self.world(s, -h)]
        for s, t, r in self.strokes:
            x, y = self.world(s, t)
            points += [(x - r, y - r), (x + r, y + r)]
        xs, ys = [p[0] for p in points], [p[1] for p in points]
        return min(xs), min(ys), max(xs), max(ys)

    def draw(self, mask):
        x0, y0, x1, y1 = self.extent()
        total_x = total_y = count = 0
        for y in range(max(math.floor(y0) - 1, 0), min(math.ceil(y1) + 2, mask.height)):
            for x in range(max(math.floor(x0) - 1, 0), min(math.ceil(x1) + 2, mask.width)):
                s, t = self.local(x + 0.5, y + 0.5)
                h = self.half_width(s)
                if h > 0 and abs(t) <= h:  # h is 0 beyond rump and nose
                    mask.set(x, y)
                    total_x += x
                    total_y += y
                    count += 1
        for s, t, r in self.strokes:
            x, y = self.world(s, t)
            mask.disc(x, y, r)
        centre = (round(total_x / count), round(total_y / count)) if count else None
        return centre

    def nose(self):
        x, y = self.world(self.length / 2, 0.0)
        return (round(x - 0.5), round(y - 0.5))

    def tail_base(self):
        x, y = self.world(-self.length / 2, 0.0)
        return (round(x - 0.5), round(y - 0.5))

    # Anti-aliased drawing into NumPy arrays, for the videos of
    # samples/scene.py; the masks above do not use it, and NumPy is imported
    # only here.

    def outline(self):
        """The body's contour without tail, legs and ears, in the animal's
        frame: arrays s, t down the right side from rump to nose and back up
        the left side."""
        import numpy as np
        u, h, _ = profile_table()
        s = (u - 0.5) * self.length
        t = h * self.half
        return np.concatenate([s, s[-2:0:-1]]), np.concatenate([t, -t[-2:0:-1]])

    def _world_arrays(self, s, t):
        return (self.centre[0] + s * self.d[0] + t * self.n[0],
                self.centre[1] + s * self.d[1] + t * self.n[1])

    def bounds(self, pad=0.0, strokes=True):
        """Pixel window (x0, y0, x1, y1), ends exclusive, holding everything
        drawn (or only the body, with strokes=False) plus `pad` pixels."""
        import numpy as np
        corners = np.array([[1, 1], [1, -1], [-1, 1], [-1, -1]]) * [self.length / 2, self.half]
        s, t, r = corners[:, 0], corners[:, 1], np.zeros(4)
        if strokes:
            seg = self._segments()
            s, t, r = (np.concatenate([s, seg["s0"], seg["s1"]]), np.concatenate([t, seg["t0"], seg["t1"]]),
                       np.concatenate([r, seg["r0"], seg["r1"]]))
        xs, ys = self._world_arrays(s, t)
        r = r + pad + 1
        return (math.floor((xs - r).min()), math.floor((ys - r).min()),
                math.ceil((xs + r).max()), math.ceil((ys + r).max()))

    def coverage(self, box, soft=1.0, opacity=None):
        """Draws the animal into the pixel window box = (x0, y0, x1, y1), ends
        exclusive: two float32 arrays of (y1 - y0) rows by (x1 - x0) in 0..1.
        The first holds the body and the parts not named in `opacity`; the
        second the parts named there ("tail", "limb", "ear"), each fading
        from opacity[part][0] where it starts (the tail's root) to [1] at its
        end. Edges ramp over `soft` pixels (1 is plain anti-aliasing, more an
        edge out of focus); the ramp is centred on the contour, so areas and
        centroids keep their values."""
        import numpy as np
        opacity = opacity or {}
        x0, y0, x1, y1 = box
        solid = np.zeros((y1 - y0, x1 - x0), np.float32)
        faint = np.zeros_like(solid)
        self._cover_body(solid, box, soft)
        seg = self._segments()
        weight = np.ones((len(seg["part"]), 2))
        named = np.zeros(len(seg["part"]), bool)
        for name, (first, last) in opacity.items():
            pick = seg["part"] == PARTS.index(name)
            weight[pick] = first + (last - first) * seg["along"][pick]
            named |= pick
        self._cover_segments(solid, box, seg, ~named, weight, soft)
        self._cover_segments(faint, box, seg, named, weight, soft)
        return solid, faint

    def _segments(self):
        """The bands as chains of straight tapered segments of 12 strokes
        (3 px; along a tail bent by 110 degrees their chords stray 0.02 px from
        the curve): arrays s0, t0, s1, t1, r0, r1 of their ends, part (an
        index into PARTS) and along (n x 2: where the ends lie along the band,
        0 to 1). A band of one stroke gives a segment of length 0, a disc."""
        import numpy as np
        cached = getattr(self, "_segment_arrays", None)
        if cached is not None:
            return cached
        strokes = np.asarray(self.strokes, dtype=float).reshape(-1, 3)
        starts, ends, part, along = [], [], [], []
        for name, first, end in self.bands:
            ends_of = np.union1d(np.arange(first, end, 12), [end - 1])
            a, b = (ends_of[:-1], ends_of[1:]) if len(ends_of) > 1 else (ends_of, ends_of)
            starts.append(a)
            ends.append(b)
            part.append(np.full(len(a), PARTS.index(name)))
            span = max(end - 1 - first, 1)
            along.append(np.column_stack([(a - first) / span, (b - first) / span]))
        a = np.concatenate(starts) if starts else np.zeros(0, int)
        b = np.concatenate(ends) if ends else np.zeros(0, int)
        r = np.maximum(strokes[:, 2], MIN_RADIUS) if len(strokes) else np.zeros(0)
        self._segment_arrays = dict(
            s0=strokes[a, 0] if len(a) else np.zeros(0), t0=strokes[a, 1] if len(a) else np.zeros(0),
            s1=strokes[b, 0] if len(b) else np.zeros(0), t1=strokes[b, 1] if len(b) else np.zeros(0),
            r0=r[a] if len(a) else np.zeros(0), r1=r[b] if len(b) else np.zeros(0),
            part=np.concatenate(part) if part else np.zeros(0, int),
            along=np.concatenate(along) if along else np.zeros((0, 2)))
        return self._segment_arrays

    def _cover_body(self, out, box, soft):
        import numpy as np
        x0, y0, x1, y1 = box
        bx0, by0, bx1, by1 = self.bounds(soft, strokes=False)
        bx0, by0, bx1, by1 = max(bx0, x0), max(by0, y0), min(bx1, x1), min(by1, y1)
        if bx0 >= bx1 or by0 >= by1:
            return
        dx = (np.arange(bx0, bx1, dtype=np.float32) + np.float32(0.5 - self.centre[0]))[None, :]
        dy = (np.arange(by0, by1, dtype=np.float32) + np.float32(0.5 - self.centre[1]))[:, None]
        s = dx * np.float32(self.d[0]) + dy * np.float32(self.d[1])
        t = np.abs(dx * np.float32(self.n[0]) + dy * np.float32(self.n[1]))
        # The half-width and the slope at s, from the profile's table
        # (linear between its entries; np.interp is several times slower).
        h, slope = profile_table(np.float32)[1:]
        steps = len(h) - 1
        at = np.clip(s * np.float32(steps / self.length) + np.float32(steps / 2), 0, steps - 0.001)
        i = at.astype(np.int32)
        frac = at - i
        h0 = h[i]
        half = (h0 + frac * (h[i + 1] - h0)) * np.float32(self.half)
        rise = slope[i] * np.float32(self.half / self.length)
        # Signed distance to the contour, to first order: across the side,
        # and past the rump or the nose.
        side = (half - t) / np.sqrt(1 + rise * rise)
        ends = np.float32(self.length / 2) - np.abs(s)
        cover = np.minimum(side, ends)
        cover *= np.float32(1 / soft)
        cover += np.float32(0.5)
        np.clip(cover, 0, 1, out=cover)
        window = out[by0 - y0:by1 - y0, bx0 - x0:bx1 - x0]
        np.maximum(window, cover, out=window)

    def _cover_segments(self, out, box, seg, pick, weight, soft):
        """The union (maximum) of the picked tapered segments, each one's
        cover scaled by its weight (n x 2, at its ends)."""
        import numpy as np
        if not pick.any():
            return
        x0, y0, x1, y1 = box
        ax, ay = self._world_arrays(seg["s0"][pick], seg["t0"][pick])
        bx, by = self._world_arrays(seg["s1"][pick], seg["t1"][pick])
        r0, r1, w = seg["r0"][pick], seg["r1"][pick], weight[pick]
        # A segment covers the pixels whose centres lie within its radius
        # plus soft / 2: a square window from (left, top).
        outer = np.maximum(r0, r1) + soft / 2
        left = np.ceil(np.minimum(ax, bx) - outer - 0.5).astype(int)
        top = np.ceil(np.minimum(ay, by) - outer - 0.5).astype(int)
        sides = np.floor(np.maximum(np.abs(bx - ax), np.abs(by - ay)) + 2 * outer).astype(int) + 1
        buckets = -(-sides // 6) * 6                   # a few window sizes: few passes, little waste
        for size in np.unique(buckets):
            g = buckets == size
            self._cover_windows(out, box, size, left[g], top[g], ax[g], ay[g], bx[g], by[g], r0[g], r1[g],
                                w[g], soft)

    @staticmethod
    def _cover_windows(out, box, size, left, top, ax, ay, bx, by, r0, r1, w, soft):
        import numpy as np
        x0, y0, x1, y1 = box
        offsets = np.arange(size)
        lx = left[:, None] + offsets - x0                # window columns and rows in `out`
        ly = top[:, None] + offsets - y0
        px = (lx + (x0 + 0.5) - ax[:, None])[:, None, :]   # pixel centres from the start
        py = (ly + (y0 + 0.5) - ay[:, None])[:, :, None]
        dx, dy = (bx - ax)[:, None, None], (by - ay)[:, None, None]
        f = (px * dx + py * dy) / np.maximum(dx * dx + dy * dy, 1e-12)
        np.clip(f, 0, 1, out=f)
        dist = np.hypot(px - f * dx, py - f * dy)
        radius = r0[:, None, None] + f * (r1 - r0)[:, None, None]
        strength = w[:, 0, None, None] + f * (w[:, 1] - w[:, 0])[:, None, None]
        edge = (radius + soft / 2 - dist) / soft
        np.clip(edge, 0, 1, out=edge)
        cover = (edge * strength).astype(np.float32)
        valid = (((lx >= 0) & (lx < x1 - x0))[:, None, :] & ((ly >= 0) & (ly < y1 - y0))[:, :, None]
                 & (cover > 0))
        index = ly[:, :, None] * (x1 - x0) + lx[:, None, :]
        np.maximum.at(out.reshape(-1), index[valid], cover[valid])


PARTS = ("tail", "limb", "ear")     # the kinds of band a Rodent draws


_profile_tables = {}


def profile_table(dtype=float):
    """profile() at 2049 even steps of u, and its slope d/du, as NumPy arrays
    (u, half-width fraction, slope) of dtype."""
    import numpy as np
    if dtype not in _profile_tables:
        u = np.linspace(0.0, 1.0, 2049)
        h = np.array([profile(v) for v in u])
        _profile_tables[dtype] = tuple(a.astype(dtype) for a in (u, h, np.gradient(h, u)))
    return _profile_tables[dtype]


def parse_pair(text, sep, name):
    try:
        a, b = text.split(sep)
        return float(a), float(b)
    except ValueError:
        raise argparse.ArgumentTypeError("%s must look like A%sB, not %r" % (name, sep, text))


def render(args):
    """The mask and the truth row for one set of options."""
    rodent = Rodent(args.length, args.heading, args.tail, args.tail_bend, args.tail_length, args.limbs,
                    not args.no_ears)
    if args.frame:
        width, height = (int(v) for v in args.frame)
        rodent.centre = tuple(args.at) if args.at else (width / 2, height / 2)
    else:
        x0, y0, x1, y1 = rodent.extent()
        width = math.ceil(x1 - x0) + 2 * args.margin
        height = math.ceil(y1 - y0) + 2 * args.margin
        rodent.centre = (args.margin - x0, args.margin - y0)
    if width <= 0 or height <= 0 or width * height > 1 << 26:
        sys.exit("generate.py: frame %dx%d is empty or too large" % (width, height))
    mask = Mask(width, height)
    centre = rodent.draw(mask)
    for x, y, r in args.speck:
        mask.disc(x, y, r)
    has_tail = args.tail != "none"
    base = rodent.tail_base() if has_tail else ("", "")
    centre = centre or ("", "")
    nose = rodent.nose()
    truth = [int(has_tail), base[0], base[1], centre[0], centre[1], nose[0], nose[1]]
    return mask, truth


def write(path, mask):
    with open(path, "wb") as f:
        f.write(mask.png())


# The bundled samples: a few sizes, tails straight, curved, wavy and absent,
# legs, and one frame with a speck of segmentation noise beside the animal.
SAMPLES = [
    ("straight.png", "--length 120 --tail straight"),
    ("curved.png", "--length 120 --tail curved --tail-bend 110 --heading 30"),
    ("wavy_legs.png", "--length 150 --tail wavy --tail-bend 35 --limbs 4 --heading -60"),
    ("no_tail.png", "--length 110 --tail none --heading 90"),
    ("rat_legs.png", "--length 240 --tail curved --tail-bend -70 --limbs 4 --heading 200"),
    ("pup.png", "--length 50 --tail curved --tail-bend 60 --heading 160"),
    ("speck.png", "--length 120 --tail straight --heading 10 --frame 320x200 --at 180,110"
                  " --speck 40,30,3 --speck 290,180,2"),
]


def parser():
    p = argparse.ArgumentParser(description="Draw a rodent silhouette seen from above as a PNG mask.")
    p.add_argument("--samples", metavar="DIR", help="write the bundled sample set and truth.csv into DIR")
    p.add_argument("--out", metavar="PNG", help="output file")
    p.add_argument("--length", type=float, default=100, help="body length, rump to nose, in pixels (100)")
    p.add_argument("--heading", type=float, default=0, help="direction of the nose in degrees, 90 = down (0)")
    p.add_argument("--tail", choices=["straight", "curved", "wavy", "none"], default="straight")
    p.add_argument("--tail-bend", type=float, default=90, help="total turn of a curved tail, swing of a wavy one, degrees (90)")
    p.add_argument("--tail-length", type=float, default=0.9, help="tail length in body lengths (0.9)")
    p.add_argument("--limbs", type=int, choices=range(0, 5), default=0, help="number of legs drawn, 0 to 4 (0)")
    p.add_argument("--no-ears", action="store_true", help="leave the ears off")
    p.add_argument("--frame", type=lambda v: parse_pair(v, "x", "--frame"), metavar="WxH",
                   help="picture size; default: the animal's bounding box plus --margin")
    p.add_argument("--at", type=lambda v: parse_pair(v, ",", "--at"), metavar="X,Y",
                   help="middle of the body axis within --frame (default: the frame's centre)")
    p.add_argument("--margin", type=int, default=12, help="border around the animal without --frame (12)")
    p.add_argument("--speck", action="append", default=[], metavar="X,Y,R",
                   type=lambda v: tuple(float(c) for c in v.split(",")),
                   help="add a disc of noise; may be repeated")
    p.add_argument("--truth", action="store_true", help="print the truth row (CSV) on stdout")
    return p


def main(argv):
    p = parser()
    args = p.parse_args(argv)
    if any(len(s) != 3 for s in args.speck):
        p.error("--speck takes X,Y,R")
    if args.length < 8:
        p.error("--length must be at least 8")
    if args.at and not args.frame:
        p.error("--at places the animal within --frame; give both")
    if args.samples:
        os.makedirs(args.samples, exist_ok=True)
        rows = [TRUTH_HEADER]
        for name, options in SAMPLES:
            mask, truth = render(p.parse_args(options.split()))
            write(os.path.join(args.samples, name), mask)
            rows.append(",".join(str(v) for v in [name] + truth))
        with open(os.path.join(args.samples, "truth.csv"), "w") as f:
            f.write("\n".join(rows) + "\n")
        return 0
    if not args.out:
        p.error("give --out PNG or --samples DIR")
    mask, truth = render(args)
    write(args.out, mask)
    if args.truth:
        print(TRUTH_HEADER)
        print(",".join(str(v) for v in [os.path.basename(args.out)] + truth))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
