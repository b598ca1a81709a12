#!/usr/bin/env python3
"""Gathers the summaries of many recordings (NAME.csv.summary.csv, as
`tressel track` writes them) into one CSV table, the recording's name in a
first column. Recordings whose summaries have other columns (other zones)
keep theirs: the table has every column, empty where a recording has none.

    workflow/gather-summaries.py --out all.csv tracked/*.summary.csv
"""
import argparse
import csv
import os
import sys


def recording_name(path):
    name = os.path.basename(path)
    for suffix in (".summary.csv", ".csv", ".jsonl"):
        if name.endswith(suffix):
            name = name[: -len(suffix)]
    return name


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True, help="the gathered table")
    parser.add_argument("summaries", nargs="+", help="NAME.csv.summary.csv files")
    args = parser.parse_args()

    columns, rows = ["recording"], []
    for path in sorted(args.summaries, key=recording_name):
        try:
            with open(path, newline="") as f:
                reader = csv.DictReader(f)
                if not reader.fieldnames:
                    sys.exit(f"gather-summaries: {path}: empty, not a summary")
                columns += [c for c in reader.fieldnames if c not in columns]
                for row in reader:
                    rows.append(dict(row, recording=recording_name(path)))
        except OSError as e:
            sys.exit(f"gather-summaries: {path}: {e.strerror}")
    # Written aside and renamed: a complete table is never left half-replaced.
    partial = args.out + ".partial"
    with open(partial, "w", newline="") as f:
        writer = csv.DictWriter(f, columns, restval="", lineterminator="\n")
        writer.writeheader()
        writer.writerows(rows)
    os.replace(partial, args.out)


if __name__ == "__main__":
    main()
