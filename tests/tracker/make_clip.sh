#!/bin/sh
# The clip that the tracker's C and Python tests share, in FOLDER: a
# generated rodent as raw grey frames (clip.raw) and as a video (clip.mp4),
# and the tool's tables of both (clip.csv, clip-raw.csv: every frame a
# background sample, as the tests push them).
# Usage: make_clip.sh PYTHON SCENE ENCODE TRESSEL FOLDER
set -eu
python=$1 scene=$2 encode=$3 tool=$4 dir=$5
mkdir -p "$dir"
"$python" "$scene" --preset demo --size 320x240 --fps 20 --duration 2 --out "$dir/clip.raw"
"$encode" --size 320x240 --fps 20 "$dir/clip.mp4" < "$dir/clip.raw"
"$tool" track "$dir/clip.mp4" --out "$dir/clip.csv"
"$tool" track - --size 320x240 --fps 20 --background-samples 40 --out "$dir/clip-raw.csv" < "$dir/clip.raw"
