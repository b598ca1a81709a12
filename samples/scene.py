#!/usr/bin/python3
"""Draws videos of generated rodents on an open-field floor, with their truth.

    scene.py --preset demo | tressel-encode --size 640x480 --fps 30 --codec h264 demo.mp4
    scene.py --preset vfr --out vfr.raw --times vfr.times --truth vfr.csv --info vfr.json
    scene.py --preset openfield --duration 600 --seed 7 --truth t.csv --snapshot 300:f300.png > of.raw

Frames are raw 8-bit grey bytes, width x height per frame without header, on
standard output or --out. The animals are the rodents of generate.py, moving
along scripted paths (--script, see SCRIPT_HELP): walking with the nose along
the path, stopping, turning in place, sitting with the tail curled under the
body, leaving the frame or being lifted out. One animal per arena; several
arenas stand side by side.

The truth CSV has one row per frame and arena (TRUTH_COLUMNS). Coordinates are
sub-pixel pixel indices, as generate.py's truth: (0, 0) is the centre of the
top-left pixel. `center` is the centroid of the body without tail, legs and
ears, of its part inside the frame; `visible` is the fraction of the body's
area inside the frame (0: no animal in view); points outside the frame are
empty. heading_deg is the direction of the nose, 0 = +x, 90 = +y (clockwise
on screen). tail_visible is 1 when the tail is drawn at full length (not
curled, nor curling) with base and tip in the frame; moving is 1 while the
animal walks. The --info JSON
holds the settings, the arenas and the measures derived from the rows.

Every scene is deterministic: the same options and --seed give the same bytes.
Needs NumPy (Debian's python3-numpy).
"""

import argparse
import bisect
import json
import math
import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import generate  # noqa: E402  (the rodent drawing)

TRUTH_COLUMNS = ("frame,time_s,arena,visible,center_x,center_y,nose_x,nose_y,tail_base_x,tail_base_y,"
                 "tail_tip_x,tail_tip_y,heading_deg,tail_visible,moving")

# Grey levels at unit lighting, and the opacity of the tail from root to tip
# and of the legs and ears: they are body-coloured but lighter (skin, not fur),
# and the tail thins and fades toward its tip.
PALETTES = {
    "dark": dict(floor=210.0, wall=112.0, body=28.0, line=0.93, shadow=0.18,
                 opacity={"tail": (0.55, 0.3), "limb": (0.35, 0.2), "ear": (0.6, 0.6)}),
    "light": dict(floor=42.0, wall=24.0, body=222.0, line=1.3, shadow=0.25,
                  opacity={"tail": (0.5, 0.3), "limb": (0.35, 0.2), "ear": (0.6, 0.6)}),
}

SCRIPT_HELP = """script: comma-separated steps, e.g. "walk,centre,still:2,turn:2,curl:3,roam"
  at:X:Y:H      start with the body centre at pixel X,Y (in the arena's frame), nose toward H degrees
  walk[:N]      walk along a smooth curve to a random place, N times (1)
  centre[:N]    walk to a random place in the centre square (half the arena's side), N times
  to:X:Y[:S]    face X,Y and walk straight there (in S seconds; default at a random speed)
  still:S       stand still for S seconds
  turn:N[:S]    turn N full turns in place, clockwise on screen if N > 0 (in S seconds; 1 s a turn)
  curl:S        sit still for S seconds with the tail curled under the body (hidden)
  exit:S        walk out of the nearest frame edge, stay out S seconds, come back
  away:S        lifted out of the arena for S seconds, put back at a random place
  roam          random steps of the kinds above until --duration"""

# The presets: settings over DEFAULTS, and options given on the command line
# over those.
PRESETS = {
    "demo": dict(script="walk,turn:1,centre,turn:-1:0.8,walk"),
    "openfield": dict(duration=60, script="walk,centre,still:2,turn:2,walk,curl:3,walk,turn:-1,centre,roam"),
    "clean": dict(duration=10, flat=True, blur=0.0, script="walk,centre,still:1,turn:1,walk,turn:-1,walk"),
    "light": dict(duration=30, polarity="light", script="walk,centre,still:1,turn:1,walk,curl:2,walk,turn:-1,roam"),
    "sitter": dict(duration=60, script="walk,still:50,walk,roam"),
    "exit": dict(duration=30, margin=0, script="walk,exit:3,walk,away:2,centre,walk,exit:1,roam"),
    "arenas": dict(duration=30, size=(1280, 480), arenas=2, script="walk,centre,still:1,turn:1,walk,turn:-1,roam"),
    "vfr": dict(duration=20, jitter=0.25, drop=3, script="walk,centre,turn:1,walk,still:1,roam"),
    "hd": dict(duration=20, size=(1920, 1080), length=300, script="walk,centre,still:1,turn:1,walk,turn:-1,roam"),
}

DEFAULTS = dict(size=(640, 480), fps=30.0, duration=None, length=None, arenas=1, margin=None,
                polarity="dark", flat=False, noise=1.5, drift=1.0, blur=0.5, legs=4, ears=True,
                tail=True, tail_length=0.95, jitter=0.0, drop=0, seed=1, script="roam")

SPEED = (0.8, 2.5)          # mean walking speed of a leg, body lengths per second
TURN_SECONDS = 1.0          # per full turn in place
FACE_DEG_PER_S = 300.0      # turning to face a target before a straight walk
WAG_DEG = (50.0, 20.0)      # the tail's bend: two slow sine waves
WAG_HZ = (0.4, 1.1)
CURL_LENGTH = 0.12          # tail length while curled under the body, body lengths
STRIDE = 0.6                # body lengths walked per stride
LEG_SWING = 0.35            # radians
WALL_SHARE = 0.7            # of the places walked to (outside the centre steps) near a wall


def ease(f, ramp=0.25):
    """Fraction of a move done at time fraction f: speeding up over the
    first `ramp` of the time, steady, slowing down over the last."""
    f = min(max(f, 0.0), 1.0)

    def up(x):
        return x / 2 - ramp / (2 * math.pi) * math.sin(math.pi * x / ramp)
    if f < ramp:
        done = up(f)
    elif f > 1 - ramp:
        done = (1 - ramp) - up(1 - f)
    else:
        done = ramp / 2 + (f - ramp)
    return done / (1 - ramp)


class Segment:
    """One step of a motion over [t0, t1]: the body centre and heading
    (degrees, not wrapped) as functions of the time fraction."""

    def __init__(self, t0, t1, kind, place, heading, walked=0.0, path=None, turn=0.0):
        self.t0, self.t1, self.kind = t0, t1, kind
        self.place, self.heading, self.walked = place, heading, walked
        self.path = path          # walks: (arc, x, y, heading) tables
        self.turn = turn          # turns: degrees

    def state(self, t):
        f = ease((t - self.t0) / (self.t1 - self.t0)) if self.t1 > self.t0 else 1.0
        if self.path is not None:
            arc, xs, ys, hs = self.path
            a = f * arc[-1]
            return (np.interp(a, arc, xs), np.interp(a, arc, ys)), np.interp(a, arc, hs), self.walked + a
        return self.place, self.heading + f * self.turn, self.walked

    def end(self):
        return self.state(self.t1)


class Track:
    """An animal's motion through one arena, built from a script."""

    def __init__(self, script, arena, length, duration, rng):
        self.arena = arena
        self.length = length
        self.rng = rng
        self.segments = []
        self.turns = [0, 0]       # scripted full turns clockwise, counter-clockwise
        self.t = 0.0
        self.walked = 0.0
        self.place = None
        x0, y0, x1, y1 = arena.continuous
        m = 0.6 * length          # the body stays inside the arena
        self.safe = (x0 + m, y0 + m, x1 - m, y1 - m)
        if self.safe[0] >= self.safe[2] or self.safe[1] >= self.safe[3]:
            raise ValueError("an arena of %dx%d px is too small for a body of %g px"
                             % (arena.rect[2], arena.rect[3], length))
        steps = parse_script(script)
        if steps and steps[0][0] == "at":
            _, (x, y, h) = steps.pop(0)
            self.place = (x + 0.5 + x0, y + 0.5 + y0)
            if not self._is_safe(self.place):
                raise ValueError("at:%g:%g is not %g px inside the arena" % (x, y, m))
            self.heading = h
        else:
            self.place = self._random_place(outside_centre=True)
            self.heading = rng.uniform(0, 360)
        for name, args in steps:
            if name == "roam":
                if duration is None:
                    raise ValueError("the script step roam needs --duration")
                while self.t < duration:
                    self._roam_step()
            else:
                self._step(name, args)
        if not self.segments:
            self._hold("still", 1.0)
        self.starts = [s.t0 for s in self.segments]

    # Building the motion.

    def _step(self, name, args):
        if name == "walk":
            for _ in range(int(args[0]) if args else 1):
                self._walk_to(self._random_place())
        elif name == "centre":
            for _ in range(int(args[0]) if args else 1):
                self._walk_to(self._random_place(inside_centre=True))
        elif name == "to":
            x0, y0 = self.arena.continuous[:2]
            target = (args[0] + 0.5 + x0, args[1] + 0.5 + y0)
            if not self._is_safe(target):
                raise ValueError("to:%g:%g is not %g px inside the arena" % (args[0], args[1], 0.6 * self.length))
            self._straight_to(target, args[2] if len(args) > 2 else None)
        elif name == "still":
            self._hold("still", args[0])
        elif name == "curl":
            self._hold("curl", args[0])
        elif name == "turn":
            self._turn(360.0 * args[0], args[1] if len(args) > 1 else TURN_SECONDS * abs(args[0]))
            if args[0] > 0:
                self.turns[0] += args[0]
            else:
                self.turns[1] -= args[0]
        elif name == "exit":
            self._exit(args[0])
        elif name == "away":
            self._hold("away", args[0])
            self.place = self._random_place()
            self.heading = self.rng.uniform(0, 360)

    def _roam_step(self):
        kind = self.rng.choice(["walk", "centre", "still", "turn", "curl"], p=[0.57, 0.08, 0.15, 0.12, 0.08])
        if kind == "still":
            self._step(kind, [round(self.rng.uniform(0.5, 3.0), 2)])
        elif kind == "curl":
            self._step(kind, [round(self.rng.uniform(2.0, 4.0), 2)])
        elif kind == "turn":
            self._step(kind, [int(self.rng.choice([-2, -1, 1, 2]))])
        else:
            self._step(kind, [])

    def _add(self, duration, kind, **motion):
        seg = Segment(self.t, self.t + duration, kind, self.place, self.heading, self.walked, **motion)
        self.segments.append(seg)
        self.t = seg.t1
        self.place, self.heading, self.walked = seg.end()
        self.place = (float(self.place[0]), float(self.place[1]))
        self.heading = float(self.heading)
        return seg

    def _hold(self, kind, seconds):
        if seconds > 0:
            self._add(seconds, kind)

    def _turn(self, degrees, seconds):
        if degrees != 0:
            self._add(max(seconds, 1e-3), "turn", turn=degrees)

    def _walk_seconds(self, arc):
        return arc / (self.rng.uniform(*SPEED) * self.length)

    def _walk_to(self, target):
        """A smooth curve leaving along the current heading, or, where no
        such curve fits the arena, a turn to face the target and a straight
        walk."""
        for _ in range(60):
            chord = math.degrees(math.atan2(target[1] - self.place[1], target[0] - self.place[0]))
            path = self._curve(target, chord + self.rng.uniform(-50, 50))
            if path is not None:
                self._add(self._walk_seconds(path[0][-1]), "walk", path=path)
                return
            target = self._random_place()
        self._straight_to(target, None)

    def _straight_to(self, target, seconds):
        dx, dy = target[0] - self.place[0], target[1] - self.place[1]
        if math.hypot(dx, dy) < 1e-6:
            return
        face = math.degrees(math.atan2(dy, dx))
        turn = (face - self.heading + 180) % 360 - 180
        if abs(turn) > 1e-9:
            self._turn(turn, abs(turn) / FACE_DEG_PER_S)
        heading = self.heading
        steps = max(int(math.hypot(dx, dy)), 2)
        f = np.linspace(0, 1, steps + 1)
        xs, ys = self.place[0] + f * dx, self.place[1] + f * dy
        path = (f * math.hypot(dx, dy), xs, ys, np.full_like(f, heading))
        self._add(seconds if seconds else self._walk_seconds(path[0][-1]), "walk", path=path)

    def _curve(self, target, end_heading):
        """Arc-length tables of a Hermite curve from here, leaving along the
        heading, to target, arriving along end_heading; None when it leaves
        the safe area, loops or bends tighter than a third of a body length."""
        p0, p1 = np.array(self.place), np.array(target)
        span = np.linalg.norm(p1 - p0)
        if span < 0.5 * self.length:
            return None
        a0, a1 = math.radians(self.heading), math.radians(end_heading)
        m0 = span * np.array([math.cos(a0), math.sin(a0)])
        m1 = span * np.array([math.cos(a1), math.sin(a1)])
        u = np.linspace(0, 1, max(int(span * 2), 64))[:, None]
        pts = ((2 * u**3 - 3 * u**2 + 1) * p0 + (u**3 - 2 * u**2 + u) * m0
               + (-2 * u**3 + 3 * u**2) * p1 + (u**3 - u**2) * m1)
        tangent = ((6 * u**2 - 6 * u) * p0 + (3 * u**2 - 4 * u + 1) * m0
                   + (-6 * u**2 + 6 * u) * p1 + (3 * u**2 - 2 * u) * m1)
        x0, y0, x1, y1 = self.safe
        if not ((pts[:, 0] >= x0) & (pts[:, 0] <= x1) & (pts[:, 1] >= y0) & (pts[:, 1] <= y1)).all():
            return None
        arc = np.concatenate([[0.0], np.cumsum(np.linalg.norm(np.diff(pts, axis=0), axis=1))])
        heading = np.unwrap(np.arctan2(tangent[:, 1], tangent[:, 0]))
        heading = np.degrees(heading - heading[0]) + self.heading
        bend = np.abs(np.diff(np.radians(heading))) / np.maximum(np.diff(arc), 1e-9)
        if arc[-1] > 2.5 * span or bend.max() > 3.0 / self.length:
            return None
        return arc, pts[:, 0], pts[:, 1], heading

    def _exit(self, seconds):
        """Out through the nearest frame edge until nothing of the animal
        (tail included) is in view, and back in."""
        width, height = self.arena.frame
        x, y = self.place
        gaps = [(x, (-1, 0)), (width - x, (1, 0)), (y, (0, -1)), (height - y, (0, 1))]
        gap, (ux, uy) = min(gaps)
        out = gap + 2.0 * self.length
        back = self.place
        self._straight_to((x + ux * out, y + uy * out), None)
        self._hold("still", seconds)
        self._straight_to(back, None)

    # Places.

    def _is_safe(self, p):
        x0, y0, x1, y1 = self.safe
        return x0 <= p[0] <= x1 and y0 <= p[1] <= y1

    def _random_place(self, inside_centre=False, outside_centre=False):
        x0, y0, x1, y1 = self.safe
        zx0, zy0, zx1, zy1 = self.arena.centre_continuous
        if inside_centre:
            # Well inside the centre square, where it and the safe area meet.
            inset = 0.15 * min(zx1 - zx0, zy1 - zy0)
            x0, y0 = max(x0, zx0 + inset), max(y0, zy0 + inset)
            x1, y1 = min(x1, zx1 - inset), min(y1, zy1 - inset)
        for _ in range(1000):
            p = (self.rng.uniform(x0, x1), self.rng.uniform(y0, y1)) if x0 < x1 and y0 < y1 else None
            if p and not inside_centre and self.rng.random() < WALL_SHARE:
                # Rodents keep to the walls: near one side.
                band = min(0.5 * self.length, (x1 - x0) / 2, (y1 - y0) / 2)
                side = self.rng.integers(4)
                inset = self.rng.uniform(0, band)
                p = ((x0 + inset, p[1]), (x1 - inset, p[1]), (p[0], y0 + inset), (p[0], y1 - inset))[side]
            if p is None or (outside_centre and zx0 <= p[0] <= zx1 and zy0 <= p[1] <= zy1):
                continue
            # A body length at least from where the animal is.
            if self.place is None or math.hypot(p[0] - self.place[0], p[1] - self.place[1]) >= self.length:
                return p
        raise ValueError("the arena is too small for a body of %g px to move about" % self.length)

    # Reading the motion.

    def state(self, t):
        """(segment, body centre, heading in degrees, distance walked,
        kind of motion) at time t."""
        i = max(bisect.bisect_right(self.starts, t) - 1, 0)
        seg = self.segments[i]
        if t > seg.t1:          # after the script's end: stays where it stopped
            place, heading, walked = seg.end()
            return seg, place, heading, walked, "still"
        place, heading, walked = seg.state(t)
        return seg, place, heading, walked, seg.kind

    def curled(self, t, seg, kind):
        """How far the tail is curled under the body, 0 to 1: it curls and
        uncurls over 0.3 s at the ends of a curl step."""
        if kind != "curl":
            return 0.0
        ramp = min(0.3, (seg.t1 - seg.t0) / 3)
        return min(max(min(t - seg.t0, seg.t1 - t) / ramp, 0.0), 1.0)


def parse_script(text):
    takes = {"at": (3, 3), "walk": (0, 1), "centre": (0, 1), "to": (2, 3), "still": (1, 1),
             "turn": (1, 2), "curl": (1, 1), "exit": (1, 1), "away": (1, 1), "roam": (0, 0)}
    steps = []
    for i, token in enumerate(t.strip() for t in text.split(",")):
        name, *args = token.split(":")
        if name not in takes:
            raise ValueError("unknown script step %r (steps: %s)" % (token, ", ".join(takes)))
        low, high = takes[name]
        if not low <= len(args) <= high:
            raise ValueError("script step %r takes %s" % (token, "%d to %d values" % (low, high)
                                                         if low != high else "%d values" % low))
        try:
            values = [float(a) for a in args]
        except ValueError:
            raise ValueError("script step %r: values must be numbers" % token) from None
        if name == "at" and i != 0:
            raise ValueError("script step at: must come first")
        if name in ("still", "curl", "exit", "away") and not values[0] > 0:
            raise ValueError("script step %r needs a positive time" % token)
        if name in ("walk", "centre") and values and (values[0] != int(values[0]) or values[0] < 1):
            raise ValueError("script step %r needs a whole count of at least 1" % token)
        if name in ("to", "turn") and len(values) == high and not values[-1] > 0:
            raise ValueError("script step %r needs a positive time" % token)
        steps.append((name, values))
    return steps


class Arena:
    """A rectangle of floor in the frame: `rect` (x, y, w, h) are its pixel
    columns x .. x+w-1 and rows y .. y+h-1."""

    def __init__(self, index, rect, frame):
        self.index, self.rect, self.frame = index, rect, frame
        x, y, w, h = rect
        self.continuous = (x, y, x + w, y + h)              # pixel x spans [x, x + 1)
        self.centre_continuous = (x + w / 4, y + h / 4, x + 3 * w / 4, y + 3 * h / 4)
        self.centre_zone = tuple(v - 0.5 for v in self.centre_continuous)   # in pixel indices


def arena_rects(width, height, count, margin):
    """Arenas side by side with walls around them; margin: the wall's width
    at the sides and bottom in pixels (the far wall at the top is deeper),
    by default 3 % of the frame's height."""
    side = round(0.03 * height) if margin is None else margin
    top = round(0.08 * height) if margin is None else margin
    inner = (width - 2 * side * count) // count
    return [(side + i * (inner + 2 * side), top, inner, height - top - side) for i in range(count)]


# The floor and the light.

def smooth_noise(shape, cell, rng):
    """Noise of unit deviation varying over `cell` pixels (bilinear)."""
    h, w = shape
    gh, gw = h // cell + 2, w // cell + 2
    grid = rng.standard_normal((gh, gw))
    ys, xs = np.arange(h) / cell, np.arange(w) / cell
    iy, ix = ys.astype(int), xs.astype(int)
    fy, fx = (ys - iy)[:, None], (xs - ix)[None, :]
    top = grid[iy][:, ix] * (1 - fx) + grid[iy][:, ix + 1] * fx
    bottom = grid[iy + 1][:, ix] * (1 - fx) + grid[iy + 1][:, ix + 1] * fx
    out = top * (1 - fy) + bottom * fy
    return (out / max(out.std(), 1e-9)).astype(np.float32)


def draw_line(darkness, p, q, width, strength):
    """Darkens `darkness` (a 0..1 array, by maximum) along the segment p-q
    (continuous coordinates), anti-aliased."""
    h, w = darkness.shape
    x0 = max(int(min(p[0], q[0]) - width - 2), 0)
    x1 = min(int(max(p[0], q[0]) + width + 2), w)
    y0 = max(int(min(p[1], q[1]) - width - 2), 0)
    y1 = min(int(max(p[1], q[1]) + width + 2), h)
    if x0 >= x1 or y0 >= y1:
        return
    px = np.arange(x0, x1)[None, :] + 0.5
    py = np.arange(y0, y1)[:, None] + 0.5
    dx, dy = q[0] - p[0], q[1] - p[1]
    f = np.clip(((px - p[0]) * dx + (py - p[1]) * dy) / max(dx * dx + dy * dy, 1e-9), 0, 1)
    dist = np.hypot(px - p[0] - f * dx, py - p[1] - f * dy)
    cover = np.clip(0.5 + (width / 2 - dist), 0, 1) * strength
    np.maximum(darkness[y0:y1, x0:x1], cover, out=darkness[y0:y1, x0:x1])


def build_floor(width, height, arenas, palette, flat, rng):
    """(reflected grey levels at unit light, lighting) as float32 frames."""
    scale = height / 480
    light = np.ones((height, width), np.float32)
    base = np.full((height, width), palette["wall"], np.float32)
    xs = np.arange(width, dtype=np.float32)[None, :] + 0.5
    ys = np.arange(height, dtype=np.float32)[:, None] + 0.5
    if not flat:
        # A vignette, darker by a third in the corners, and a hot spot off centre.
        cx, cy = width / 2, height / 2
        light = 1 - 0.3 * ((xs - cx) ** 2 + (ys - cy) ** 2) / (cx * cx + cy * cy)
        hx, hy = rng.uniform(0.55, 0.85) * width, rng.uniform(0.35, 0.65) * height
        light = light + 0.25 * np.exp(-((xs - hx) ** 2 + (ys - hy) ** 2) / (2 * (0.22 * width) ** 2))
        light = light.astype(np.float32)
        base *= 1 + 0.04 * smooth_noise((height, width), max(int(80 * scale), 2), rng)
    darkness = np.zeros((height, width), np.float32)
    for arena in arenas:
        x0, y0, x1, y1 = arena.continuous
        floor = np.full((y1 - y0, x1 - x0), palette["floor"], np.float32)
        if not flat:
            shape = floor.shape
            floor *= (1 + 0.015 * smooth_noise(shape, max(int(120 * scale), 2), rng)
                      + 0.006 * smooth_noise(shape, max(int(4 * scale), 2), rng)
                      + 0.004 * rng.standard_normal(shape).astype(np.float32))
            # The floor darkens toward the foot of the walls.
            ax = np.arange(x1 - x0)[None, :] + 0.5
            ay = np.arange(y1 - y0)[:, None] + 0.5
            gap = np.minimum(np.minimum(ax, (x1 - x0) - ax), np.minimum(ay, (y1 - y0) - ay))
            if (x0, y0, x1, y1) != (0, 0, width, height):
                floor *= 1 - 0.4 * np.exp(-gap / (3 * scale))
            arena_lines(darkness, arena, scale, rng)
        base[y0:y1, x0:x1] = floor
    if not flat:
        line = palette["line"]
        base *= 1 + (line - 1) * darkness
    return base, light


def arena_lines(darkness, arena, scale, rng):
    """Thin lines drawn on the floor: a faint grid of quarters and a few
    strokes by hand."""
    x0, y0, x1, y1 = arena.continuous
    w, h = x1 - x0, y1 - y0
    width = 1.6 * scale
    for f in (0.25, 0.5, 0.75):
        draw_line(darkness, (x0 + f * w, y0), (x0 + f * w, y1), width, 0.6)
        draw_line(darkness, (x0, y0 + f * h), (x1, y0 + f * h), width, 0.6)
    for _ in range(2):
        p = (rng.uniform(x0, x1), rng.uniform(y0, y1))
        for _ in range(int(rng.integers(2, 5))):
            q = (np.clip(p[0] + rng.normal(0, 0.3 * w), x0, x1), np.clip(p[1] + rng.normal(0, 0.3 * h), y0, y1))
            draw_line(darkness, p, q, width, rng.uniform(0.7, 1.0))
            p = q


def lighting_gain(t, drift, phases):
    """The light's slow drift: an overall gain and a left-right tilt."""
    gain = 1 + 0.03 * drift * math.sin(2 * math.pi * t / 37.0 + phases[0])
    tilt = 0.04 * drift * math.sin(2 * math.pi * t / 23.0 + phases[1])
    return gain, tilt


def box_blur(a, radius):
    """Mean over a (2 radius + 1)^2 square, twice (close to a Gaussian)."""
    for _ in range(2):
        for axis in (0, 1):
            pad = [(0, 0), (0, 0)]
            pad[axis] = (radius + 1, radius)
            c = np.cumsum(np.pad(a, pad), axis=axis)
            n = a.shape[axis]
            hi = np.take(c, np.arange(2 * radius + 1, 2 * radius + 1 + n), axis=axis)
            lo = np.take(c, np.arange(0, n), axis=axis)
            a = (hi - lo) / (2 * radius + 1)
    return a


# The animals.

class Animal:
    """One arena's rodent: its track, its drawing at any time and its truth."""

    def __init__(self, arena, settings, rng):
        self.arena = arena
        self.settings = settings
        self.length = settings["length"]
        self.tail_length = settings["tail_length"] if settings["tail"] else 0.0
        self.track = Track(settings["script"], arena, self.length, settings["duration"], rng)
        self.wag_phase = rng.uniform(0, 2 * math.pi, 2)
        # Where the body's centroid lies on its axis, and its contour.
        probe = self._rodent(0.0, 0.0, 0.0, 0.0)
        s, t = probe.outline()
        self.outline_local = (s, t)
        area, cs, _ = polygon_centroid(s, t)
        self.centroid_offset = cs
        self.area = abs(area)

    def _rodent(self, heading, curled, bend, walked):
        st = self.settings
        phase = 2 * math.pi * walked / (STRIDE * self.length)
        swing = [LEG_SWING * v * math.sin(phase) for v in (1, -1, -1, 1)]   # diagonal pairs
        tail = self.tail_length - curled * (self.tail_length - min(self.tail_length, CURL_LENGTH))
        return generate.Rodent(self.length, heading, "curved" if tail > 0 else "none", bend, tail,
                               st["legs"], st["ears"], limb_swing=swing, arrays=True)

    def bend(self, t):
        """The tail's bend in degrees: it wags."""
        return sum(a * math.sin(2 * math.pi * f * t + p) for a, f, p in zip(WAG_DEG, WAG_HZ, self.wag_phase))

    def pose(self, t):
        """The rodent as drawn at time t, placed, with its motion's state;
        None when it is lifted out."""
        seg, place, heading, walked, kind = self.track.state(t)
        if kind == "away":
            return None
        rodent = self._rodent(heading, self.track.curled(t, seg, kind), self.bend(t), walked)
        a = math.radians(heading)
        rodent.centre = (place[0] - self.centroid_offset * math.cos(a), place[1] - self.centroid_offset * math.sin(a))
        return rodent, place, heading, kind

    def draw(self, t, exposure):
        """The animal's drawing, averaged over the exposure (motion blur),
        and its pose at t (None when it is lifted out). The drawing is
        (window, cover, body cover) over a pixel window, or None when
        nothing of it is in view."""
        now = self.pose(t)
        if now is None:
            return None, None
        times = [t]
        sweep = self._sweep(t - exposure / 2, t + exposure / 2) if exposure > 0 else 0.0
        if sweep > self.settings["soft"]:
            # Poses 3 px apart or closer over the exposure, t in the middle;
            # a smear narrower than the soft edge does not show.
            count = min(1 + 2 * math.ceil(sweep / 6.0), 9)
            times = [t + exposure * (i / (count - 1) - 0.5) for i in range(count)]
        # Lifted out during the exposure: it shows for the part before.
        poses = [p for p in (now if u == t else self.pose(u) for u in times) if p]
        width, height = self.arena.frame
        soft = self.settings["soft"]
        boxes = [p[0].bounds(soft + 1) for p in poses]
        pad = self._shadow_pad()
        box = (max(min(b[0] for b in boxes) - pad, 0), max(min(b[1] for b in boxes) - pad, 0),
               min(max(b[2] for b in boxes) + pad, width), min(max(b[3] for b in boxes) + pad, height))
        if box[0] >= box[2] or box[1] >= box[3]:
            return None, now
        cover = np.zeros((box[3] - box[1], box[2] - box[0]), np.float32)
        body = np.zeros_like(cover)
        for rodent, *_ in poses:
            solid, faint = rodent.coverage(box, soft, self.settings["palette"]["opacity"])
            cover += 1 - (1 - solid) * (1 - faint)
            body += solid
        return (box, cover / len(times), body / len(times)), now

    def _sweep(self, t0, t1):
        """How far any point of the animal moves from t0 to t1, roughly: the
        body's shift, its turn at the tail's tip, and the wag."""
        _, pa, ha, _, _ = self.track.state(t0)
        _, pb, hb, _, _ = self.track.state(t1)
        tail = self.tail_length * self.length
        return (math.hypot(pb[0] - pa[0], pb[1] - pa[1]) + abs(math.radians(hb - ha)) * (self.length / 2 + tail)
                + abs(math.radians(self.bend(t1) - self.bend(t0))) * tail / 2)

    def _shadow_pad(self):
        return self.shadow_radius() * 2 + max(self.shadow_offset()) + 2

    def shadow_radius(self):
        return max(int(0.04 * self.length), 1)

    def shadow_offset(self):
        return max(int(0.02 * self.length), 1), max(int(0.03 * self.length), 1)

    def truth(self, pose):
        """The truth row's values (visible, centre, nose, tail base, tail
        tip, heading, tail visible, moving) for a pose."""
        if pose is None:
            return dict(visible=0.0, moving=0, tail_visible=0)
        rodent, place, heading, kind = pose
        width, height = self.arena.frame
        s, t = self.outline_local
        xs, ys = rodent._world_arrays(s, t)
        if xs.min() >= 0 and ys.min() >= 0 and xs.max() <= width and ys.max() <= height:
            visible, centre = 1.0, place
        else:
            xs, ys = clip_polygon(xs, ys, width, height)
            area, cx, cy = polygon_centroid(xs, ys) if len(xs) >= 3 else (0.0, 0.0, 0.0)
            visible = min(abs(area) / self.area, 1.0)
            centre = (cx, cy) if visible > 0 else None
        row = dict(visible=visible, moving=int(kind == "walk"), tail_visible=0)
        if visible <= 0:
            return row

        def in_frame(p):
            return (p[0] - 0.5, p[1] - 0.5) if 0 <= p[0] < width and 0 <= p[1] < height else None
        row.update(centre=(centre[0] - 0.5, centre[1] - 0.5), heading=heading % 360,
                   nose=in_frame(rodent.world(self.length / 2, 0.0)),
                   tail_base=in_frame(rodent.world(-self.length / 2, 0.0)))
        tip = tail_tip(rodent)
        if tip is not None and kind != "curl":
            row["tail_tip"] = in_frame(rodent.world(tip[0], tip[1]))
            row["tail_visible"] = int(row["tail_tip"] is not None and row["tail_base"] is not None)
        return row


def tail_tip(rodent):
    """The last stroke of the tail, (s, t) in the animal's frame, or None."""
    for part, first, end in rodent.bands:
        if part == "tail":
            return rodent.strokes[end - 1][:2]
    return None


def polygon_centroid(xs, ys):
    """Signed area and centroid of a closed polygon."""
    xn, yn = np.roll(xs, -1), np.roll(ys, -1)
    cross = xs * yn - xn * ys
    area = cross.sum() / 2
    if area == 0:
        return 0.0, 0.0, 0.0
    return float(area), float(((xs + xn) * cross).sum() / (6 * area)), float(((ys + yn) * cross).sum() / (6 * area))


def clip_polygon(xs, ys, width, height):
    """The polygon clipped to [0, width] x [0, height] (Sutherland-Hodgman)."""
    for axis, bound, sign in ((0, 0.0, 1), (0, width, -1), (1, 0.0, 1), (1, height, -1)):
        if len(xs) == 0:
            break
        pts = np.column_stack([xs, ys])
        nxt = np.roll(pts, -1, axis=0)
        v = sign * (pts[:, axis] - bound)
        vn = np.roll(v, -1)
        inside = v >= 0
        crosses = inside != (vn >= 0)
        f = np.where(crosses, v / np.where(crosses, v - vn, 1), 0)[:, None]
        cut = pts + f * (nxt - pts)
        both = np.stack([pts, cut], axis=1).reshape(-1, 2)
        keep = np.column_stack([inside, crosses]).reshape(-1)
        xs, ys = both[keep, 0], both[keep, 1]
    return xs, ys


# Frames, times and truth.

def frame_times(settings, rng):
    """(times of the frames written, nominal indices of the dropped frames)."""
    fps, count = settings["fps"], max(int(round(settings["duration"] * settings["fps"])), 1)
    times = np.arange(count) / fps
    if settings["jitter"] > 0:
        times[1:] += rng.uniform(-settings["jitter"], settings["jitter"], count - 1) / fps
    dropped = []
    if settings["drop"] and settings["drop"] > min(count // 2, count - 2):   # never the first or last
        raise ValueError("--drop must leave at least half of the %d frames" % count)
    if settings["drop"]:
        dropped = sorted(int(i) for i in rng.choice(np.arange(1, count - 1), settings["drop"], replace=False))
    return np.delete(times, dropped), dropped


def derived_truth(rows, times, fps, arena, turns):
    """The measures a tracker should report, from the truth rows of one arena."""
    visible = np.array([r["visible"] for r in rows])
    seen = visible > 0
    full = visible >= 1.0
    centre = np.array([r.get("centre") or (np.nan, np.nan) for r in rows], dtype=float)
    heading = np.array([r.get("heading", np.nan) for r in rows], dtype=float)
    moving = np.array([r["moving"] for r in rows], dtype=bool)
    durations = np.diff(np.append(times, times[-1] + 1 / fps))
    steps = np.hypot(*np.diff(centre, axis=0).T)
    path = steps[full[:-1] & full[1:]].sum()
    zx0, zy0, zx1, zy1 = arena.centre_zone
    inside = seen & (centre[:, 0] >= zx0) & (centre[:, 0] < zx1) & (centre[:, 1] >= zy0) & (centre[:, 1] < zy1)
    seen_inside = inside[seen]
    entries = int(seen_inside[0]) + int((seen_inside[1:] & ~seen_inside[:-1]).sum()) if seen.any() else 0
    turn = (np.diff(heading) + 180) % 360 - 180
    turn = turn[seen[:-1] & seen[1:]]
    return {
        "path_length_px": round(float(path), 3),
        "centre_time_s": round(float(durations[inside].sum()), 6),
        "centre_entries": entries,
        "turns_cw": round(float(turn[turn > 0].sum() / 360), 4) + 0.0,
        "turns_ccw": round(float(-turn[turn < 0].sum() / 360), 4) + 0.0,
        "scripted_turns_cw": turns[0],
        "scripted_turns_ccw": turns[1],
        "still_time_s": round(float(durations[seen & ~moving].sum()), 6),
        "frames_visible": int(seen.sum()),
        "frames_fully_visible": int(full.sum()),
        "frames_tail_visible": int(sum(r["tail_visible"] for r in rows)),
    }


DEFINITIONS = {
    "coordinates": "pixel indices: (0, 0) is the centre of the top-left pixel; rect is x, y, w, h in pixels",
    "centre_zone": "x0, y0, x1, y1 in pixel indices: the central rectangle of half the arena's sides",
    "path_length_px": "sum of the body centre's steps between consecutive frames that both show the whole body",
    "centre_time_s": "sum of the frame durations (time to the next frame; 1/fps for the last) of frames whose "
                     "body centre is in the centre zone",
    "centre_entries": "frames in the centre zone whose previous frame with the animal in view was outside it, "
                      "and the first such frame if it is inside",
    "turns_cw": "cumulative clockwise (on screen, heading increasing) rotation of the heading in full turns, "
                "over consecutive frames with the animal in view; turns_ccw the other way",
    "scripted_turns_cw": "full turns in place of the script's turn steps",
    "still_time_s": "sum of the durations of frames with the animal in view and not walking "
                    "(standing, turning in place or curled)",
}


def fmt(value, digits=3):
    return "" if value is None else "%.*f" % (digits, value)


def truth_line(frame, time, arena, row):
    def point(name):
        p = row.get(name)
        return [fmt(p[0]), fmt(p[1])] if p else ["", ""]
    return ",".join([str(frame), "%.6f" % time, str(arena), "%.4f" % row["visible"]] + point("centre")
                    + point("nose") + point("tail_base") + point("tail_tip")
                    + [fmt(row.get("heading"), 2), str(row["tail_visible"]), str(row["moving"])])


def write_picture(path, frame):
    height, width = frame.shape
    with open(path, "wb") as f:
        if path.lower().endswith(".pgm"):
            f.write(b"P5 %d %d 255\n" % (width, height) + frame.tobytes())
        else:
            f.write(generate.grey_png(width, height, frame, level=6))


class Scene:
    def __init__(self, settings):
        self.settings = settings
        width, height = settings["size"]
        seeds = np.random.SeedSequence(settings["seed"]).spawn(4 + settings["arenas"])
        rects = arena_rects(width, height, settings["arenas"], settings["margin"])
        self.arenas = [Arena(i, r, (width, height)) for i, r in enumerate(rects)]
        if any(r[2] <= 0 or r[3] <= 0 for r in rects):
            raise ValueError("a frame of %dx%d px has no room for %d arenas" % (width, height, len(rects)))
        self.palette = settings["palette"] = PALETTES[settings["polarity"]]
        self.animals = [Animal(a, settings, np.random.default_rng(s)) for a, s in zip(self.arenas, seeds[4:])]
        if settings["duration"] is None:
            # Up to the first frame at or after the script's end.
            end = max(a.track.t for a in self.animals) * settings["fps"]
            settings["duration"] = (math.ceil(end - 1e-9) + 1) / settings["fps"]
        self.times, self.dropped = frame_times(settings, np.random.default_rng(seeds[0]))
        self.base, self.light = build_floor(width, height, self.arenas, self.palette, settings["flat"],
                                            np.random.default_rng(seeds[1]))
        self.lit = self.base * self.light
        self.tilt_field = (np.arange(width, dtype=np.float32) - width / 2) / (width / 2)
        self.lit_tilted = self.lit * self.tilt_field[None, :]
        # Sensor noise: a few frames of it, shifted at random for each frame.
        # They also hold the 0.5 that rounds the frame to whole grey levels.
        noise_rng = np.random.default_rng(seeds[2])
        self.noise_margin = 32
        noise = 0.0 if settings["flat"] else settings["noise"]
        self.noise_bank = [noise * noise_rng.standard_normal((height + 32, width + 32), dtype=np.float32) + 0.5
                           for _ in range(8 if noise > 0 else 1)]
        self.noise_rng = noise_rng
        self.drift_phases = np.random.default_rng(seeds[3]).uniform(0, 2 * math.pi, 2)
        self.rows = [[] for _ in self.animals]

    def frames(self):
        """Yields (index, time, uint8 frame), and gathers the truth rows.
        Each frame is valid until the next is made."""
        st = self.settings
        exposure = st["blur"] / st["fps"]
        drift = 0.0 if st["flat"] else st["drift"]
        frame = np.empty_like(self.lit)
        tilted = np.empty_like(self.lit)
        grey = np.empty(frame.shape, np.uint8)
        height, width = frame.shape
        for index, t in enumerate(self.times):
            gain, tilt = lighting_gain(t, drift, self.drift_phases)
            np.multiply(self.lit, gain, out=frame)
            if tilt:
                frame += np.multiply(self.lit_tilted, tilt, out=tilted)
            for animal, rows in zip(self.animals, self.rows):
                drawing, pose = animal.draw(t, exposure)
                rows.append(animal.truth(pose))
                if drawing:
                    self._composite(frame, drawing, animal, gain, tilt)
            k = self.noise_rng.integers(len(self.noise_bank))
            ox, oy = self.noise_rng.integers(0, self.noise_margin, 2)
            frame += self.noise_bank[k][oy:oy + height, ox:ox + width]
            np.clip(frame, 0, 255, out=frame)
            np.copyto(grey, frame, casting="unsafe")
            yield index, t, grey

    def _composite(self, frame, drawing, animal, gain, tilt):
        (x0, y0, x1, y1), cover, body = drawing
        region = frame[y0:y1, x0:x1]
        if not self.settings["flat"]:
            radius = animal.shadow_radius()
            ox, oy = animal.shadow_offset()
            soft = box_blur(body, radius)
            shadow = np.zeros_like(soft)
            shadow[oy:, ox:] = soft[:soft.shape[0] - oy, :soft.shape[1] - ox]
            region *= 1 - self.palette["shadow"] * shadow
        light = self.light[y0:y1, x0:x1] * (gain + tilt * self.tilt_field[None, x0:x1])
        region *= 1 - cover
        region += cover * (self.palette["body"] * light)

    def info(self):
        st = self.settings
        fps = st["fps"]
        settings = {k: (list(v) if isinstance(v, tuple) else v) for k, v in st.items() if k not in ("palette",)}
        arenas = []
        for animal, rows in zip(self.animals, self.rows):
            a = animal.arena
            arenas.append({
                "index": a.index,
                "rect": list(a.rect),
                "centre_zone": [round(v, 3) for v in a.centre_zone],
                "body_length_px": animal.length,
                "body_area_px": round(animal.area, 3),
                "truth": derived_truth(rows, self.times, fps, a, animal.track.turns),
            })
        return {
            "generator": "samples/scene.py",
            "settings": settings,
            "width": st["size"][0], "height": st["size"][1],
            "fps": fps,
            "frames": len(self.times),
            "duration_s": st["duration"],
            "variable_rate": bool(st["jitter"] > 0 or self.dropped),
            "dropped_frames": self.dropped,
            "columns": TRUTH_COLUMNS.split(","),
            "arenas": arenas,
            "definitions": DEFINITIONS,
        }


def parse_size(text):
    try:
        w, h = (int(v) for v in text.lower().split("x"))
    except ValueError:
        raise argparse.ArgumentTypeError("--size must look like 640x480, not %r" % text)
    return w, h


def parser():
    p = argparse.ArgumentParser(
        description="Draw a video of generated rodents with known truth, as raw 8-bit grey frames.",
        formatter_class=argparse.RawDescriptionHelpFormatter,
        epilog="presets: %s\n\n%s" % (", ".join(PRESETS), SCRIPT_HELP))
    p.add_argument("--preset", choices=PRESETS, help="a ready scene; other options change it")
    p.add_argument("--seed", type=int, help="random seed (1)")
    p.add_argument("--size", type=parse_size, metavar="WxH", help="frame size (640x480)")
    p.add_argument("--fps", type=float, help="frames per second (30)")
    p.add_argument("--duration", type=float, metavar="S", help="seconds (default: the script's length)")
    p.add_argument("--script", help="the animals' steps (see below; default roam)")
    p.add_argument("--length", type=float, metavar="PX", help="body length, rump to nose (25 %% of the height)")
    p.add_argument("--tail-length", type=float, metavar="F", help="tail length in body lengths (0.95)")
    p.add_argument("--no-tail", dest="tail", action="store_const", const=False, help="draw no tail")
    p.add_argument("--legs", type=int, choices=range(0, 5), help="legs drawn (4)")
    p.add_argument("--no-ears", dest="ears", action="store_const", const=False, help="leave the ears off")
    p.add_argument("--arenas", type=int, metavar="N", help="arenas side by side, one animal each (1)")
    p.add_argument("--margin", type=int, metavar="PX", help="wall width around the arenas (3 %% of the height)")
    p.add_argument("--polarity", choices=PALETTES, help="dark animal on a light floor, or light on dark (dark)")
    p.add_argument("--flat", action="store_const", const=True,
                   help="even light, plain floor without lines, no noise, drift or shadow")
    p.add_argument("--noise", type=float, metavar="SD", help="sensor noise, grey levels (1.5)")
    p.add_argument("--drift", type=float, metavar="F", help="strength of the lighting drift (1)")
    p.add_argument("--blur", type=float, metavar="F", help="exposure as a fraction of the frame time (0.5); 0: none")
    p.add_argument("--soft", type=float, metavar="PX", help="width of the animal's edge (3 per 480 rows)")
    p.add_argument("--jitter", type=float, metavar="F", help="frame times jitter by up to F frame times (0)")
    p.add_argument("--drop", type=int, metavar="N", help="frames dropped at random (0)")
    p.add_argument("--out", default="-", metavar="RAW", help="frames to this file (default: standard output)")
    p.add_argument("--times", metavar="FILE", help="write the time of each frame in seconds, one a line")
    p.add_argument("--truth", metavar="CSV", help="write the truth, one row per frame and arena")
    p.add_argument("--info", metavar="JSON", help="write the settings, arenas and derived truth")
    p.add_argument("--snapshot", action="append", default=[], metavar="N:FILE",
                   help="also write frame N as a .png or .pgm picture; may be repeated")
    return p


def settings_from(args, p):
    settings = dict(DEFAULTS)
    if args.preset:
        settings.update(PRESETS[args.preset])
    settings["preset"] = args.preset
    for key in ("seed", "size", "fps", "duration", "script", "length", "tail_length", "tail", "legs", "ears",
                "arenas", "margin", "polarity", "flat", "noise", "drift", "blur", "soft", "jitter", "drop"):
        value = getattr(args, key)
        if value is not None:
            settings[key] = value
    width, height = settings["size"]
    if settings["length"] is None:
        settings["length"] = round(0.25 * height)
    if settings.get("soft") is None:
        settings["soft"] = round(3.0 * height / 480, 2)
    checks = [
        (64 <= width <= 8192 and 64 <= height <= 8192, "--size must be from 64x64 to 8192x8192"),
        (0 < settings["fps"] <= 1000, "--fps must be above 0 and at most 1000"),
        (settings["duration"] is None or 0 < settings["duration"] <= 86400, "--duration must be 0 to 86400 s"),
        (20 <= settings["length"] <= 1000, "--length must be from 20 to 1000 px"),
        (0 <= settings["tail_length"] <= 2, "--tail-length must be from 0 to 2 body lengths"),
        (1 <= settings["arenas"] <= 8, "--arenas must be from 1 to 8"),
        (settings["margin"] is None or 0 <= settings["margin"] < min(width, height) // 4, "--margin is too wide"),
        (settings["noise"] >= 0 and settings["drift"] >= 0, "--noise and --drift must not be negative"),
        (0 <= settings["blur"] <= 1, "--blur must be from 0 to 1"),
        (0.5 <= settings["soft"] <= 20, "--soft must be from 0.5 to 20 px"),
        (0 <= settings["jitter"] <= 0.45, "--jitter must be from 0 to 0.45 frame times"),
        (settings["drop"] >= 0, "--drop must not be negative"),
    ]
    for ok, message in checks:
        if not ok:
            p.error(message)
    return settings


def main(argv):
    p = parser()
    args = p.parse_args(argv)
    snapshots = {}
    for item in args.snapshot:
        number, _, path = item.partition(":")
        if not number.isdigit() or not path:
            p.error("--snapshot takes N:FILE, not %r" % item)
        snapshots[int(number)] = path
    settings = settings_from(args, p)
    try:
        scene = Scene(settings)
    except ValueError as e:
        p.error(str(e))
    count = len(scene.times)
    beyond = sorted(n for n in snapshots if n >= count)
    if beyond:
        p.error("--snapshot %d: the scene has %d frames" % (beyond[0], count))
    if args.out == "-" and sys.stdout.isatty():
        p.error("the frames are raw bytes: pipe them into a program or give --out FILE")
    out = sys.stdout.buffer if args.out == "-" else open(args.out, "wb")
    written = 0
    try:
        for index, t, frame in scene.frames():
            out.write(frame.data)
            written += 1
            if index in snapshots:
                write_picture(snapshots[index], frame)
        out.flush()
    except BrokenPipeError:
        sys.stderr.write("scene.py: the output was closed after %d of %d frames\n" % (written, count))
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())   # no second error at exit
        return 1
    finally:
        if out is not sys.stdout.buffer:
            out.close()
    if args.times:
        with open(args.times, "w") as f:
            f.write("".join("%.6f\n" % t for t in scene.times))
    if args.truth:
        with open(args.truth, "w") as f:
            f.write(TRUTH_COLUMNS + "\n")
            for index, t in enumerate(scene.times):
                for arena, rows in enumerate(scene.rows):
                    f.write(truth_line(index, t, arena, rows[index]) + "\n")
    if args.info:
        with open(args.info, "w") as f:
            json.dump(scene.info(), f, indent=1)
            f.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
