#!/usr/bin/env bash
# The workflows of workflow/ run on three short generated recordings:
#   workflow_test.sh snakemake|slurm TRESSEL TRESSEL_ENCODE PYTHON SOURCE_DIR
# snakemake: the Snakefile on two cores tracks each and gathers one table;
# slurm: the job-array script's two tasks track each recording exactly once.
set -euo pipefail
mode=$1 tool=$(realpath "$2") encode=$3 python=$4 source=$(realpath "$5")
if [ "$mode" = snakemake ] && ! command -v snakemake >/dev/null; then
  echo "snakemake is not installed (scripts/install-packages installs it): skipped"
  exit 77
fi
work=$(mktemp -d /tmp/tressel-workflow-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/videos"
for seed in 1 2 3; do
  "$python" "$source/samples/scene.py" --preset clean --duration 1.5 --size 160x120 --fps 10 --seed $seed |
    "$encode" --size 160x120 --fps 10 "$work/videos/mouse$seed.mp4"
done
echo "not a recording" > "$work/videos/notes.txt"
fail() { echo "FAILED: $*" >&2; exit 1; }

if [ "$mode" = snakemake ]; then
  snakemake -s "$source/workflow/Snakefile" --cores 2 --directory "$work" --quiet \
    --config input="$work/videos" output="$work/tracked" tressel="$tool" options="--arena frame"
  table=$work/tracked/summaries.csv
  [ -f "$table" ] || fail "no gathered table"
  head -1 "$table" | grep -q '^recording,arena,period,' || fail "header: $(head -1 "$table")"
  # One overall row per recording, named after it.
  for seed in 1 2 3; do
    [ "$(grep -c "^mouse$seed,arena,all," "$table")" = 1 ] || fail "mouse$seed has no single overall row"
    grep -q '^# ' "$work/tracked/mouse$seed.csv" || fail "mouse$seed.csv has no header"
  done
  [ "$(grep -c ',all,' "$table")" = 3 ] || fail "rows of other recordings in the table"
else
  for task in 1 2; do
    SLURM_ARRAY_TASK_ID=$task SLURM_ARRAY_TASK_MIN=1 SLURM_ARRAY_TASK_COUNT=2 TRESSEL=$tool \
      bash "$source/workflow/slurm-track.sh" "$work/videos" "$work/tracked" >"$work/task$task.out"
  done
  cat "$work"/task*.out
  [ "$(grep -c ': done: ' "$work"/task*.out | awk -F: '{ s += $NF } END { print s }')" = 3 ] ||
    fail "not three recordings done"
  for seed in 1 2 3; do
    [ "$(cat "$work"/task*.out | grep -c "mouse$seed.mp4: done")" = 1 ] || fail "mouse$seed not tracked once"
    [ -f "$work/tracked/mouse$seed.csv.summary.csv" ] || fail "mouse$seed has no summary"
  done
  # A task run again finds its recordings complete.
  SLURM_ARRAY_TASK_ID=1 SLURM_ARRAY_TASK_COUNT=2 TRESSEL=$tool \
    bash "$source/workflow/slurm-track.sh" "$work/videos" "$work/tracked" >"$work/again.out"
  [ "$(grep -c ': skipped: ' "$work/again.out")" = 2 ] || fail "a task run again did not skip: $(cat "$work/again.out")"
  "$python" "$source/workflow/gather-summaries.py" --out "$work/all.csv" "$work"/tracked/*.summary.csv
  [ "$(grep -c ',all,' "$work/all.csv")" = 3 ] || fail "gathered table"
fi
echo "1 passed, 0 failed"
