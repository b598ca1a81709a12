#!/usr/bin/env bash
# Builds and runs the benchmarks and rewrites bench/RESULTS.md (`make bench`).
#
#   bench/run.sh            everything: install what is missing, build, time,
#                           count instructions, measure the code before the
#                           speed work, write the results
#   BENCH_BEFORE=0          skip the build of the code before the speed work
#   BENCH_COUNT=0           skip the instruction counts (valgrind)
#   BENCH_REPETITIONS=N     repetitions of every case (7); medians are reported
#   BENCH_MIN_TIME=S        seconds of timing per repetition (0.15)
#   BENCH_QUIET_LOAD=L      wait for the 1-minute load average to drop to L
#   BENCH_QUIET_WAIT=S      ... for at most S seconds before each timed run
#                           (defaults 1.0 and 120; the load is recorded either way)
#   BENCH_TARGET_REPETITIONS=N  repetitions of the target cases' own run (21)
#
# Works on a fresh Debian 12 machine: packages that are missing are installed
# with apt-get (as root, or through sudo).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="$root/build/bench"
out="$build/results"
repetitions="${BENCH_REPETITIONS:-7}"
min_time="${BENCH_MIN_TIME:-0.15}"
quiet_load="${BENCH_QUIET_LOAD:-1.0}"
quiet_wait="${BENCH_QUIET_WAIT:-120}"
target_repetitions="${BENCH_TARGET_REPETITIONS:-21}"
jobs="$(nproc 2>/dev/null || echo 2)"

# The commits before the speed work: the class and its core at the first one,
# the C interface over the same core at the second.
before_class=705b982
before_capi=f124574

say() { printf '== %s\n' "$*" >&2; }

install_missing() {
  local packages=(cmake g++ make pkg-config python3 python3-numpy libpng-dev libbenchmark-dev libopencv-dev)
  # The tracking benchmark: FFmpeg's libraries, and the ffmpeg program as a yardstick.
  packages+=(libavformat-dev libavcodec-dev libavutil-dev libswscale-dev ffmpeg time)
  [ "${BENCH_COUNT:-1}" = 0 ] || packages+=(valgrind)
  local missing=()
  for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update
  "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}

load1() { cut -d' ' -f1 /proc/loadavg; }

# Waits (a bounded time) for the machine to be quiet, then records the load.
wait_for_quiet() {
  local label="$1" waited=0
  while awk -v l="$(load1)" -v q="$quiet_load" 'BEGIN { exit !(l > q) }' && [ "$waited" -lt "$quiet_wait" ]; do
    [ "$waited" -eq 0 ] && say "load $(load1) above $quiet_load: waiting up to ${quiet_wait}s"
    sleep 10
    waited=$((waited + 10))
  done
  printf '%s\t%s\t%s\n' "$label" "$(date -u +%H:%M:%S)" "$(cut -d' ' -f1-3 /proc/loadavg)" >>"$out/load.tsv"
}

# time_build LABEL BINARY [REPETITIONS [FILTER]]
time_build() {
  local label="$1" binary="$2" reps="${3:-$repetitions}" filter="${4:-.}"
  wait_for_quiet "$label start"
  say "timing $label"
  "$binary" --benchmark_repetitions="$reps" --benchmark_min_time="$min_time" --benchmark_filter="$filter" \
    --benchmark_report_aggregates_only=true --benchmark_enable_random_interleaving=true \
    --benchmark_out="$out/$label.json" --benchmark_out_format=json >"$out/$label.txt"
  printf '%s\t%s\t%s\n' "$label end" "$(date -u +%H:%M:%S)" "$(cut -d' ' -f1-3 /proc/loadavg)" >>"$out/load.tsv"
}

# Instructions of one call of each key case, under callgrind.
count_build() {
  local label="$1" binary="$2"
  local tsv="$out/$label-counts.tsv"
  say "counting instructions ($label)"
  local mask=L200_1920x1080 cases=()
  for c in read findContours distanceTransform tressel_mask_spans tressel_analyze_mask CTressel SortOutline; do
    cases+=("$c/$mask")
  done
  # Only the cases this build has (the analyzer's paths differ).
  local known
  known="$("$binary" --list)"
  # Every silhouette, and the first three masks of the real recording.
  local others
  others="$( (printf '%s\n' L{50,100,400}_1920x1080 L{50,100,200,400}_640x480
             sed -n 's|^read/\(real_.*\)$|\1|p' <<<"$known" | head -3) )"
  for m in $others; do
    cases+=("CTressel/$m" "tressel_analyze_mask/$m" "tressel_mask_spans/$m" "read/$m" "findContours/$m")
  done
  cases+=("CTressel_at/50_50/$mask" "CTressel_at/1700_900/$mask")
  for c in $(grep -E "^(analyzer|analyzer_at/[0-9_]+|stage/[^/]+)/[a-z]+/$mask\$" <<<"$known"); do cases+=("$c"); done
  for c in $(grep -E "^stage/[^/]+/[a-z]+/L400_1920x1080\$" <<<"$known"); do cases+=("$c"); done
  : >"$tsv"
  printf '%s\n' "${cases[@]}" | while read -r c; do
    grep -qxF "$c" <<<"$known" && printf '%s\n' "$c"
  done | xargs -P "$jobs" -I{} sh -c '
    f=$(mktemp) && valgrind --tool=callgrind --collect-atstart=no --toggle-collect=tressel_count_measured \
      --callgrind-out-file="$f" "$1" "$2" >/dev/null 2>&1 &&
    printf "%s\t%s\n" "$2" "$(sed -n "s/^summary: //p" "$f")" && rm -f "$f"' _ "$binary" {} >>"$tsv"
}

# The code before the speed work, with these benchmark sources built against
# it, in a throwaway tree under the build directory.
build_before() {
  if ! git -C "$root" cat-file -e "$before_capi^{commit}" 2>/dev/null ||
     ! git -C "$root" cat-file -e "$before_class^{commit}" 2>/dev/null; then
    say "commits $before_class and $before_capi are not in this clone: no numbers before the speed work"
    return 1
  fi
  # The class, its core and its support code are the same at both commits;
  # the second adds the C interface. One tree serves both.
  if ! git -C "$root" diff --quiet "$before_class" "$before_capi" -- analysis support facade include/tressel/Tressel.h; then
    say "the core differs between $before_class and $before_capi: the before numbers use $before_capi"
  fi
  local src="$build/before/src" bin="$build/before/build"
  rm -rf "$src"
  mkdir -p "$src"
  git -C "$root" archive "$before_capi" | tar -x -C "$src"
  printf '\nadd_subdirectory(%s %s)\n' "$root/bench" "$bin/bench" >>"$src/CMakeLists.txt"
  say "building the code at $before_capi"
  cmake -S "$src" -B "$bin" -DCMAKE_BUILD_TYPE=Release -DTRESSEL_TESTS=OFF >"$build/before-configure.log"
  cmake --build "$bin" -j "$jobs" --target tressel_bench tressel_count >"$build/before-build.log"
}

main() {
  install_missing
  say "building"
  mkdir -p "$build"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTRESSEL_BENCH=ON -DTRESSEL_TESTS=OFF \
    -DTRESSEL_WARNINGS_AS_ERRORS=ON >"$build/configure.log"
  cmake --build "$build" -j "$jobs" --target bench_masks tressel_bench tressel_count real_masks

  # Masks the tracker's segmentation makes of the real recording, when it is
  # there: generated into the build tree, never committed.
  local recording="$root/../shared/data/openfield-mouse.mp4"
  if [ -f "$recording" ]; then
    say "masks of the real recording"
    rm -rf "$build/real-masks"
    mkdir -p "$build/real-masks"
    "$build/bench/real_masks" "$recording" "$build/real-masks" 12 >/dev/null
    export TRESSEL_BENCH_REAL_MASKS="$build/real-masks"
  fi

  local have_before=0
  if [ "${BENCH_BEFORE:-1}" != 0 ] && build_before; then have_before=1; fi


  rm -rf "$out"
  mkdir -p "$out"
  local after_bin="$build/bench" before_bin="$build/before/build/bench"
  export TRESSEL_BENCH_MASKS="$build/bench/masks"  # both builds read the same masks
  "$after_bin/tressel_count" --describe >"$out/masks.tsv"
  {
    lscpu | sed -n 's/^\(Model name\|Architecture\|CPU(s)\|Thread(s) per core\|Core(s) per socket\|L2 cache\|L3 cache\|CPU max MHz\|Hypervisor vendor\):\s*/\1\t/p'
    printf 'Memory\t%s\n' "$(awk '/^MemTotal:/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
    printf 'Kernel\t%s\n' "$(uname -r)"
    printf 'Compiler\t%s\n' "$(c++ --version | head -1)"
    printf 'OpenCV\t%s\n' "$(dpkg-query -W -f='${Version}' libopencv-dev 2>/dev/null || echo '?')"
    printf 'Google Benchmark\t%s\n' "$(dpkg-query -W -f='${Version}' libbenchmark-dev 2>/dev/null || echo '?')"
    printf 'Commit\t%s\n' "$(git -C "$root" describe --always --dirty 2>/dev/null || echo '?')"
    printf 'Repetitions\t%s x %ss (the targets: %s)\n' "$repetitions" "$min_time" "$target_repetitions"
  } >"$out/machine.tsv"

  time_build after "$after_bin/tressel_bench"
  # The cases the targets compare, once more on their own with more repetitions.
  time_build targets "$after_bin/tressel_bench" "$target_repetitions" \
    '^(tressel_analyze_mask|findContours|read)/L200_1920x1080$|^CTressel_at/'
  if [ "$have_before" = 1 ]; then time_build before "$before_bin/tressel_bench"; fi

  if [ "${BENCH_COUNT:-1}" != 0 ] && command -v valgrind >/dev/null; then
    count_build after "$after_bin/tressel_count"
    if [ "$have_before" = 1 ]; then count_build before "$before_bin/tressel_count"; fi
  fi

  python3 "$root/bench/report.py" "$out" "$root/bench/RESULTS.md"
  say "wrote bench/RESULTS.md"

  # Whole recordings: tracking beside decoding (bench/TRACKING.md), with the
  # tool, the encoder and the decode-only pass built from this checkout, so
  # that a tool left over from an earlier build is never the one timed.
  say "building the tracking tools"
  cmake --build "$build" -j "$jobs" --target tressel tressel-encode decode_only >"$build/track-build.log"
  bash "$root/bench/track.sh"
}

main "$@"
