#!/usr/bin/env python3
"""Writes the seed corpora of the video module's fuzzers.

    python3 fuzz/makeVideoSeeds.py [build/release/tools/tressel-encode]

The videos are made by the project's own writer, through tressel-encode: a
few 32x24 frames in each codec and container (grey and RGB, constant and
variable rate), stored without their extensions, as the fuzzer reads bytes.
The raw-stream seeds start with the frame's width and height less one; the
image-sequence seeds are small PNG, PGM and PPM files joined by "\\n--\\n".
"""
import os
import subprocess
import sys
import tempfile

from makeSeeds import png, write

WIDTH, HEIGHT = 32, 24


def grey_frame(i):
    return bytes(((x * 5 + y * 3 + i * 20) % 200 + (40 if 8 <= x - i < 16 and 8 <= y < 16 else 0)) & 255
                 for y in range(HEIGHT) for x in range(WIDTH))


def rgb_frame(i):
    return bytes(v for g in grey_frame(i) for v in (g, 255 - g, (g * 3) & 255))


def video_seeds(encoder):
    cases = [  # name, codec, extension, options
        ("h264_mp4", "h264", "mp4", ["--keyint", "2"]),
        ("h264_mkv_variable_rate", "h264", "mkv", ["--times"]),
        ("h264_rgb_mov", "h264", "mov", ["--rgb"]),
        ("mpeg4_avi", "mpeg4", "avi", ["--keyint", "2"]),
        ("mpeg4_mp4_variable_rate", "mpeg4", "mp4", ["--times"]),
        ("ffv1_mkv", "ffv1", "mkv", []),
        ("ffv1_rgb_avi", "ffv1", "avi", ["--rgb"]),
        ("mjpeg_mov", "mjpeg", "mov", []),
        ("mjpeg_avi", "mjpeg", "avi", []),
    ]
    seeds = {}
    with tempfile.TemporaryDirectory() as work:
        times = os.path.join(work, "times.txt")
        with open(times, "w") as f:
            f.write("0\n0.04\n0.1\n0.5\n")
        for name, codec, extension, options in cases:
            out = os.path.join(work, name + "." + extension)
            rgb = "--rgb" in options
            rate = ["--times", times] if "--times" in options else ["--fps", "25"]
            flags = [o for o in options if o not in ("--times",)]
            frames = b"".join((rgb_frame if rgb else grey_frame)(i) for i in range(4))
            subprocess.run([encoder, "--size", "%dx%d" % (WIDTH, HEIGHT), "--codec", codec] + rate + flags + [out],
                           input=frames, check=True)
            with open(out, "rb") as f:
                seeds[name] = f.read()
    return seeds


def raw_seeds():
    def stream(width, height, frames, extra=0):
        pixels = bytes((i * 7) & 255 for i in range(width * height * frames + extra))
        return bytes([width - 1, height - 1]) + pixels

    return {"two_frames_8x6": stream(8, 6, 2), "ends_mid_frame_5x3": stream(5, 3, 1, 7), "one_pixel": stream(1, 1, 3)}


def sequence_seeds():
    def pgm(width, height, maximum=255, kind=b"P5", channels=1):
        samples = bytes((i * 11) & 255 for i in range(width * height * channels * (2 if maximum > 255 else 1)))
        return kind + b" %d %d %d\n" % (width, height, maximum) + samples

    grey_png = png([[(x * 30,) for x in range(6)] for _ in range(4)], 0, 8)
    colour_png = png([[(x * 30, 255 - x * 30, 90, 200) for x in range(6)] for _ in range(4)], 6, 8)
    sep = b"\n--\n"
    return {
        "pgm_png_ppm": sep.join([pgm(6, 4), grey_png, pgm(6, 4, kind=b"P6", channels=3)]),
        "sixteen_bit_and_alpha": sep.join([pgm(6, 4, 65535), colour_png]),
        "mixed_sizes": sep.join([pgm(6, 4), pgm(3, 2), grey_png, b"not an image"]),
        "one_png": grey_png,
    }


def main():
    encoder = sys.argv[1] if len(sys.argv) > 1 else os.path.join("build", "release", "tools", "tressel-encode")
    write("video_fuzzer", video_seeds(encoder))
    write("rawstream_fuzzer", raw_seeds())
    write("sequence_fuzzer", sequence_seeds())


if __name__ == "__main__":
    main()
