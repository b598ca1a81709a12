#!/usr/bin/env bash
# Tracks a folder of recordings as a Slurm job array: task I of N tracks
# every N-th recording (`tressel track --shard I/N`) into one shared folder.
# Tasks may be resubmitted or overlap: complete recordings are skipped and a
# recording being tracked elsewhere is left to it.
#
#   sbatch --array=1-16 workflow/slurm-track.sh videos tracked [tressel track options]
#   # when all tasks are done:
#   workflow/gather-summaries.py --out tracked/summaries.csv tracked/*.summary.csv
#
# Each task gets the cores it asks for (--cpus-per-task, default 1) and runs
# that many recordings at a time. TRESSEL names the tool (default: tressel).
#SBATCH --job-name=tressel-track
#SBATCH --cpus-per-task=1
#SBATCH --output=slurm-track-%A_%a.out
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: slurm-track.sh INPUT_DIR OUTPUT_DIR [tressel track options]" >&2
  exit 2
fi
input=$1 output=$2
shift 2
: "${SLURM_ARRAY_TASK_ID:?not a job array task: submit with sbatch --array=1-N}"
: "${SLURM_ARRAY_TASK_COUNT:?not a job array task: submit with sbatch --array=1-N}"
# The array's first index may be 0 or 1 (or any): the shard counts from 1.
shard=$((SLURM_ARRAY_TASK_ID - ${SLURM_ARRAY_TASK_MIN:-1} + 1))

shopt -s nullglob nocaseglob
recordings=("$input"/*.mp4 "$input"/*.avi "$input"/*.mkv "$input"/*.mov)
if [ ${#recordings[@]} -eq 0 ]; then
  echo "slurm-track.sh: $input: no recordings (*.mp4, *.avi, *.mkv, *.mov)" >&2
  exit 1
fi
exec "${TRESSEL:-tressel}" track "${recordings[@]}" --out-dir "$output" \
  --shard "$shard/$SLURM_ARRAY_TASK_COUNT" --jobs "${SLURM_CPUS_PER_TASK:-1}" "$@"
