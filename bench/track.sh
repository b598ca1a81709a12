#!/usr/bin/env bash
# Speed and memory of `tressel track` on generated H.264 recordings, beside a
# decode-only pass through the same reader and beside `ffmpeg -threads 1`;
# and the real recording's figures. Writes bench/TRACKING.md. `make bench`
# runs it after the analysis benchmarks (it needs their build, build/bench).
#
#   BENCH_TRACK_RUNS=N   runs of each timing, the fastest is kept (3)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_BUILD:-$root/build/bench}"
tool="$build/tools/tressel"
encode="$build/tools/tressel-encode"
decode="$build/bench/decode_only"
videos="$build/videos"
work="$build/track"
runs="${BENCH_TRACK_RUNS:-3}"
base_runs="$runs"
recording="$root/../shared/data/openfield-mouse.mp4"
results="$root/bench/TRACKING.md"
mkdir -p "$videos" "$work"

say() { printf '== %s\n' "$*" >&2; }

# make_video NAME SIZE SECONDS PRESET: a generated mouse, H.264 at 30 frames/s.
make_video() {
  local name="$1" size="$2" seconds="$3" preset="$4"
  [ -s "$videos/$name.mp4" ] && return 0
  say "drawing $name ($size, $seconds s)"
  /usr/bin/python3 "$root/samples/scene.py" --preset "$preset" --size "$size" --duration "$seconds" \
    | "$encode" --size "$size" --fps 30 --codec h264 "$videos/$name.mp4.partial.mp4"
  mv "$videos/$name.mp4.partial.mp4" "$videos/$name.mp4"
}

# fastest CMD...: the shortest wall time of $runs runs, in seconds.
fastest() {
  local best="" t
  for _ in $(seq "$runs"); do
    /usr/bin/time -f '%e' -o "$work/time.txt" "$@" >/dev/null 2>&1
    read -r t <"$work/time.txt"
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best="$t"; fi
  done
  echo "$best"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
rate() { awk -v n="$1" -v t="$2" 'BEGIN { printf "%.0f", n / t }'; }

make_video vga60 640x480 60 openfield
# Ten minutes: the minute drawn once and played ten times over (drawing takes
# far longer than tracking).
if [ ! -s "$videos/vga600.mp4" ]; then
  say "making vga600 (640x480, 600 s) from ten plays of a drawn minute"
  /usr/bin/python3 "$root/samples/scene.py" --preset openfield --size 640x480 --duration 60 --out "$work/minute.raw"
  for _ in $(seq 10); do cat "$work/minute.raw"; done \
    | "$encode" --size 640x480 --fps 30 --codec h264 "$videos/vga600.mp4.partial.mp4"
  mv "$videos/vga600.mp4.partial.mp4" "$videos/vga600.mp4"
  rm -f "$work/minute.raw"
fi
# The HD minute drawn once, encoded as it is and as five plays over: five
# minutes hold more key frames than the background's samples.
if [ ! -s "$videos/hd60.mp4" ] || [ ! -s "$videos/hd300.mp4" ]; then
  say "drawing the HD minute (1920x1080, 60 s) for hd60 and hd300"
  /usr/bin/python3 "$root/samples/scene.py" --preset hd --size 1920x1080 --duration 60 --out "$work/hd-minute.raw"
  if [ ! -s "$videos/hd60.mp4" ]; then
    "$encode" --size 1920x1080 --fps 30 --codec h264 "$videos/hd60.mp4.partial.mp4" <"$work/hd-minute.raw"
    mv "$videos/hd60.mp4.partial.mp4" "$videos/hd60.mp4"
  fi
  if [ ! -s "$videos/hd300.mp4" ]; then
    for _ in $(seq 5); do cat "$work/hd-minute.raw"; done \
      | "$encode" --size 1920x1080 --fps 30 --codec h264 "$videos/hd300.mp4.partial.mp4"
    mv "$videos/hd300.mp4.partial.mp4" "$videos/hd300.mp4"
  fi
  rm -f "$work/hd-minute.raw"
fi

{
  echo "# Tracking: speed and memory"
  echo
  echo "Written by \`bench/track.sh\` (\`make bench\`) on $(date -u +%Y-%m-%d), $(nproc) cores,"
  echo "load before: $(cut -d' ' -f1-3 /proc/loadavg). Wall times, the fastest of $runs runs (one of hd300). One core is"
  echo "\`taskset -c 0\` with one worker and one decoding thread; two cores are \`--jobs 2\` (two workers,"
  echo "two decoding threads, two readers for the samples). \`track\` includes everything from opening the"
  echo "file to the renamed table: the background's 51 samples, the calibration, the table and summary."
  echo "\`sampling\` is the samples alone (\`decode_only VIDEO --sample 51\`); the tracking pass is"
  echo "\`track\` less \`sampling\`. On a file with fewer key frames than samples each sample is decoded"
  echo "exactly from the key frame before it, which reads much of the file once more; with as many key"
  echo "frames as samples (a longer recording) only key frames are decoded."
  echo
  echo "| recording | frames | key frames | decode only (s) | sampling (s) | track, 1 core (s) | track / decode | tracking pass / decode | ffmpeg -threads 1 (s) | frames/s: decode, track, ffmpeg | decode, 2 threads (s) | track, 2 cores (s) | 2 cores / 1 core (frames/s) |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---|---:|---:|---:|"
} >"$results.partial"

declare -A peaks
for name in vga60 vga600 hd60 hd300 openfield; do
  video="$videos/$name.mp4"
  [ "$name" = openfield ] && video="$recording"
  # Five minutes of HD take minutes a pass: one run each.
  runs="$base_runs"
  [ "$name" = hd300 ] && runs=1
  [ -f "$video" ] || continue
  keys="$(ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 "$video" | grep -c K || true)"
  say "timing $name"
  d="$(fastest taskset -c 0 "$decode" "$video" 1)"
  s="$(fastest taskset -c 0 "$decode" "$video" --sample 51)"
  t="$(fastest taskset -c 0 "$tool" track "$video" --jobs 1 --out "$work/$name.csv")"
  # Frames as decoded: the table's rows, less its line of column names.
  n="$(($(grep -vc '^#' "$work/$name.csv") - 1))"
  /usr/bin/time -f '%M' -o "$work/memory.txt" "$tool" track "$video" --jobs 1 --out "$work/$name.csv" >/dev/null 2>&1
  peaks[$name]="$(cat "$work/memory.txt")"
  f="$(fastest taskset -c 0 ffmpeg -v error -threads 1 -i "$video" -f null -)"
  d2="$(fastest "$decode" "$video" 2)"
  two="$(fastest "$tool" track "$video" --jobs 2 --out "$work/$name-2.csv")"
  cmp -s <(grep -v '^#' "$work/$name.csv") <(grep -v '^#' "$work/$name-2.csv") || say "$name: --jobs 2 gave other rows"
  pass="$(awk -v t="$t" -v s="$s" 'BEGIN { printf "%.3f", t - s }')"
  echo "| $name | $n | $keys | $d | $s | $t | $(ratio "$t" "$d") | $(ratio "$pass" "$d") | $f | $(rate "$n" "$d"), $(rate "$n" "$t"), $(rate "$n" "$f") | $d2 | $two | $(ratio "$t" "$two") |" >>"$results.partial"
done

{
  echo
  echo "Peak resident memory, one worker: 1-minute 640x480 recording ${peaks[vga60]} KiB, 10-minute ${peaks[vga600]} KiB"
  echo "(ratio $(ratio "${peaks[vga600]}" "${peaks[vga60]}"))."
} >>"$results.partial"

if [ -f "$recording" ]; then
  say "the real recording"
  t="$(fastest "$tool" track "$recording" --out "$work/openfield-defaults.csv")"
  /usr/bin/python3 - "$work/openfield-defaults.csv" "$t" >>"$results.partial" <<'PY'
import csv, sys
rows = list(csv.DictReader(l for l in open(sys.argv[1]) if not l.startswith('#')))
times = [float(r['time_s']) for r in rows]
steps = [b - a for a, b in zip(times, times[1:])]
tails = sum(r['status'] == 'ok' for r in rows)
print()
print(f"`../shared/data/openfield-mouse.mp4` with default options (2 cores, one worker): {len(rows)} rows in {sys.argv[2]} s;")
print(f"time_s steps from {min(steps):.6f} to {max(steps):.6f} s; a tail in {tails} frames ({100 * tails / len(rows):.2f} %).")
PY
fi
mv "$results.partial" "$results"
say "wrote $results"
