#!/usr/bin/env python3
"""Writes bench/RESULTS.md from the files bench/run.sh leaves in build/bench/results.

    report.py RESULTS_DIR OUTPUT.md

Reads machine.tsv, load.tsv, masks.tsv, after.json and, when present,
before.json, after-counts.tsv and before-counts.tsv. Python 3 standard library only.
"""

import json
import os
import sys

# The targets.
TARGET_MASK = "L200_1920x1080"
MOVE_FROM, MOVE_TO = "50_50", "1700_900"
STAGES = [
    ("0_record", "record: the nine empty lists and the grid"),
    ("1_input", "input: copy the spans into the outline list and sort them"),
    ("2_trace", "trace: bounding box, contour, spurs removed"),
    ("3_area_fill", "area fill and centre of the whole area"),
    ("4_width_grid", "width grid: the width at every contour pixel"),
    ("5_tail_search", "tail search"),
    ("6_segments_cuts", "tail base segment and the cut"),
    ("7_limbs", "limbs: search, segments and cuts"),
    ("8_nose", "body centres and the nose"),
]


def read_tsv(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return [line.rstrip("\n").split("\t") for line in f if line.strip()]


def read_medians(path):
    """{case name: median CPU time in ns}, and the run's context, minima and spreads."""
    if not os.path.exists(path):
        return {}, {}
    with open(path) as f:
        data = json.load(f)
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
    stats = {"median": {}, "min": {}, "cv": {}}
    for b in data["benchmarks"]:
        kind = b.get("aggregate_name")
        if b.get("run_type") == "aggregate" and kind in stats:
            stats[kind][b["run_name"]] = b["cpu_time"] * (1.0 if kind == "cv" else scale[b["time_unit"]])
    return stats["median"], {"context": data.get("context", {}), "cv": stats["cv"], "min": stats["min"]}


def read_counts(path):
    return {row[0]: int(row[1]) for row in read_tsv(path) if len(row) == 2 and row[1].isdigit()}


def us(ns):
    if ns is None:
        return "–"
    v = ns / 1000.0
    if v >= 100:
        return "%.0f" % v
    if v >= 10:
        return "%.1f" % v
    if v >= 1:
        return "%.2f" % v
    return "%.3f" % v


def ratio(a, b, digits=2):
    if a is None or b is None or b == 0:
        return "–"
    return "%.*f" % (digits, a / b)


def mcount(n):
    if n is None:
        return "–"
    return "%.2f M" % (n / 1e6) if n >= 1e5 else "%.1f k" % (n / 1e3)


def table(header, rows):
    out = ["| " + " | ".join(header) + " |", "|" + "|".join("---" if i == 0 else "---:" for i in range(len(header))) + "|"]
    out += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(out)


def mask_order(masks):
    return [m[0] for m in masks[1:]]


def main(results, output):
    machine = read_tsv(os.path.join(results, "machine.tsv"))
    load = read_tsv(os.path.join(results, "load.tsv"))
    masks = read_tsv(os.path.join(results, "masks.tsv"))
    after, after_info = read_medians(os.path.join(results, "after.json"))
    targets, targets_info = read_medians(os.path.join(results, "targets.json"))
    if not targets:
        targets, targets_info = after, after_info
    before, before_info = read_medians(os.path.join(results, "before.json"))
    counts_after = read_counts(os.path.join(results, "after-counts.tsv"))
    counts_before = read_counts(os.path.join(results, "before-counts.tsv"))
    names = mask_order(masks)
    frame_pixels = {m[0]: int(m[2].split("x")[0]) * int(m[2].split("x")[1]) for m in masks[1:]}
    full_hd = [n for n in names if n.endswith("1920x1080")]
    vga = [n for n in names if n.endswith("640x480")]
    machine_info = dict((r[0], r[1]) for r in machine if len(r) == 2)
    reps = machine_info.get("Repetitions", "?")
    single = "analyzer/single/" + TARGET_MASK in before

    A = lambda case: after.get(case)
    B = lambda case: before.get(case)
    L = []
    w = L.append

    w("# Benchmark results")
    w("")
    w("Written by `make bench` (`bench/run.sh`, then `bench/report.py`); do not edit by hand.")
    w("Times are medians of %s repetitions of the CPU time of one call, in microseconds (µs)," % reps.split(" ")[0])
    w("all cases of a build in one binary and one run, with their repetitions randomly interleaved")
    w("so that a change of load hits every case alike. OpenCV runs on one thread, as the analysis does.")
    w("Instruction counts are of exactly one call under callgrind (after one uncounted warm-up call):")
    w("they do not depend on the load, and they are the second measure of every ratio.")
    w("")

    w("## Machine")
    w("")
    w(table(["", ""], [(k, v) for k, v in machine_info.items()]))
    w("")
    w("Load average (1, 5, 15 minutes) around the timed runs; the machine is shared with other builds,")
    w("so absolute times vary between runs by tens of percent; ratios within one run are steadier.")
    w("")
    w(table(["moment", "UTC", "load average"], [(r[0], r[1], r[2]) for r in load if len(r) == 3]))
    w("")

    w("## The silhouettes")
    w("")
    w("Drawn by `samples/generate.py` from `bench/masks.txt` at build time: the same rodent (a tail curving")
    w("by 120°, four legs, ears) at body lengths 50 to 400 px, centred on (400, 300) in a 640 x 480 frame")
    w("and on (1200, 700) in a 1920 x 1080 frame. Spans: entry and exit points of the runs (the input")
    w("of `CTressel::Tressel`); contour: the cleaned contour's length. The result columns are the")
    w("analysis' output (identical through `CTressel`, `tressel_analyze_mask` and both analyzer paths:")
    w("the benchmark checks this before it times anything).")
    w("")
    if masks:
        w(table(masks[0], masks[1:]))
    w("")

    # ---- targets
    w("## Targets")
    w("")
    T = lambda case: targets.get(case)
    Tmin = lambda case: targets_info["min"].get(case)
    am, fc, rd = A("tressel_analyze_mask/" + TARGET_MASK), A("findContours/" + TARGET_MASK), A("read/" + TARGET_MASK)
    tam, tfc, trd = (T(c + "/" + TARGET_MASK) for c in ("tressel_analyze_mask", "findContours", "read"))
    mam, mfc, mrd = (Tmin(c + "/" + TARGET_MASK) for c in ("tressel_analyze_mask", "findContours", "read"))
    c_am, c_fc, c_rd = (counts_after.get(c + "/" + TARGET_MASK) for c in ("tressel_analyze_mask", "findContours", "read"))
    from_case, to_case = ("CTressel_at/%s/%s" % (at, TARGET_MASK) for at in (MOVE_FROM, MOVE_TO))
    t_from, t_to = A(from_case), A(to_case)
    c_from, c_to = counts_after.get(from_case), counts_after.get(to_case)

    def verdict(ok):
        return "**met**" if ok else "**missed**"

    def change(a, b):
        return "%.1f %%" % (100.0 * abs(b - a) / a) if a and b else "–"

    rows = []
    if tam and tfc:
        rows.append(("`tressel_analyze_mask` / `cv::findContours`, 1920 x 1080, 200 px", "<= 1.0", ratio(tam, tfc),
                     ratio(mam, mfc), ratio(c_am, c_fc), verdict(tam / tfc <= 1.0)))
    if tam and trd:
        rows.append(("`tressel_analyze_mask` / one plain read of the mask", "<= 3.0", ratio(tam, trd), ratio(mam, mrd),
                     ratio(c_am, c_rd), verdict(tam / trd <= 3.0)))
    if T(from_case) and T(to_case):
        rows.append(("`CTressel::Tressel`, 200 px silhouette moved from (50, 50) to (1700, 900)", "< 20 %",
                     change(T(from_case), T(to_case)), change(Tmin(from_case), Tmin(to_case)), change(c_from, c_to),
                     verdict(abs(T(to_case) - T(from_case)) / T(from_case) < 0.2)))
    w(table(["target", "bound", "median time", "fastest time", "instructions", "in this run"], rows))
    w("")
    w("Measured in a run of their own: only these five cases (`tressel_analyze_mask`, `findContours`, `read`")
    w("on %s and `CTressel::Tressel` at the two places), their repetitions interleaved, right after" % TARGET_MASK)
    w("the full run. The verdict is on the medians; the fastest repetitions and the exact instruction counts")
    w("say how much of a ratio is the machine's load. A move is of the silhouette's bounding box: its")
    w("top-left corner goes from (50, 50) to (1700, 900), the shape staying pixel for pixel the same.")
    w("")
    ms, ct = A("tressel_mask_spans/" + TARGET_MASK), A("CTressel/" + TARGET_MASK)
    if am and ms and ct and rd and fc:
        w("Where `tressel_analyze_mask`'s %s µs go on %s (full run): finding the largest component's runs" % (us(am), TARGET_MASK))
        w("(`tressel_mask_spans`) %s µs, %.1f reads of the mask; analysing its spans (`CTressel::Tressel`)" % (us(ms), ms / rd))
        w("%s µs, %.1f reads or %.2f `findContours` by itself. Three reads are %s µs." % (us(ct), ct / rd, ct / fc, us(3 * rd)))
        w("")

    # ---- every mask against findContours
    w("## Every mask against `findContours`")
    w("")
    w("The targets on every mask of the set: the drawn silhouettes at both frame sizes and the masks")
    w("the tracker's segmentation makes of the real recording (`real_NNNNNN`, the frame; made by")
    w("`bench/real_masks` into the build tree when the recording is there). Times are medians of the")
    w("full run (µs); instructions are exact, for the masks that were counted.")
    w("")
    rows = []
    met_fc = met_rd = timed = 0
    for n in names:
        am_n, fc_n, ms_n, rd_n = (A(c + "/" + n) for c in ("tressel_analyze_mask", "findContours", "tressel_mask_spans", "read"))
        c_am_n, c_fc_n, c_ms_n, c_rd_n = (counts_after.get(c + "/" + n) for c in
                                          ("tressel_analyze_mask", "findContours", "tressel_mask_spans", "read"))
        if am_n and fc_n and ms_n and rd_n:
            timed += 1
            met_fc += am_n <= fc_n
            met_rd += ms_n <= rd_n
        rows.append((n, us(fc_n), us(am_n), ratio(am_n, fc_n), ratio(c_am_n, c_fc_n), us(rd_n), us(ms_n),
                     ratio(ms_n, rd_n), ratio(c_ms_n, c_rd_n)))
    w(table(["mask", "findContours", "analyze_mask", "analyze_mask / findContours", "(instructions)", "read",
             "mask_spans", "mask_spans / read", "(instructions)"], rows))
    w("")
    w("`tressel_analyze_mask` <= 1.0 `findContours`: %d of %d masks; `tressel_mask_spans` <= 1.0 plain read: %d of %d."
      % (met_fc, timed, met_rd, timed))
    w("")
    growth = []
    for case in ("CTressel", "tressel_analyze_mask"):
        prev_t = prev_c = None
        for n in full_hd:
            t, c = A(case + "/" + n), counts_after.get(case + "/" + n)
            if prev_t and t:
                growth.append((case, n.split("_")[0][1:] + " px", "%.2f" % (t / prev_t),
                               "%.2f" % (c / prev_c) if c and prev_c else "–"))
            prev_t, prev_c = t, c
    if growth:
        w("Growth per doubling of the body length, 1920 x 1080 (target for `CTressel`: <= 2.2, like the contour):")
        w("")
        w(table(["entry point", "to", "time factor", "instruction factor"], growth))
        w("")

    # ---- main table
    w("## Every entry point and its peers")
    w("")
    w("µs per call. `read`: one plain read of every mask byte (eight-byte words summed, vectorised by the")
    w("compiler; the floor of any analysis that looks at every pixel). `findContours`: `cv::findContours`")
    w("with `RETR_EXTERNAL`, `CHAIN_APPROX_NONE`; `distance`: `cv::distanceTransform` with `DIST_L2`, a 3 x 3")
    w("mask, float output. `mask_spans`: `tressel_mask_spans` (runs of the largest component); `analyze_mask`:")
    w("`tressel_analyze_mask` (that, then the analysis). `CTressel` and `SortOutline` take the spans; a")
    w("`SortOutline` call includes copying the spans into its arrays, which it overwrites. `fast` / `plain`:")
    w("the internal analyzer's two paths, whole, on the spans.")
    w("")
    rows = []
    for n in names:
        rows.append((n, us(A("read/" + n)), us(A("findContours/" + n)), us(A("distanceTransform/" + n)),
                     us(A("tressel_mask_spans/" + n)), us(A("tressel_analyze_mask/" + n)), us(A("CTressel/" + n)),
                     us(A("SortOutline/" + n)), us(A("analyzer/fast/" + n)), us(A("analyzer/plain/" + n)),
                     ratio(A("tressel_analyze_mask/" + n), A("findContours/" + n)),
                     ratio(A("tressel_analyze_mask/" + n), A("read/" + n), 1)))
    w(table(["mask", "read", "findContours", "distance", "mask_spans", "analyze_mask", "CTressel", "SortOutline",
             "fast", "plain", "analyze_mask / findContours", "analyze_mask / read"], rows))
    w("")
    rows = []
    for n in names:
        r = A("read/" + n)
        if r:
            size = frame_pixels[n]
            rows.append((n, "%.1f" % (size / r), "%.1f" % (size / A("findContours/" + n)) if A("findContours/" + n) else "–",
                         "%.1f" % (size / A("tressel_mask_spans/" + n)) if A("tressel_mask_spans/" + n) else "–"))
    w("Bytes of mask per nanosecond (GB/s): the plain read is the machine's speed for this access.")
    w("")
    w(table(["mask", "read", "findContours", "mask_spans"], rows))
    w("")

    # ---- scaling
    w("## How time grows")
    w("")
    w("With the silhouette (1920 x 1080 frame), µs, and the factor from one body length to the next")
    w("(twice the length is four times the area and twice the contour):")
    w("")
    rows = []
    prev = {}
    for n in full_hd:
        row = [n.split("_")[0][1:] + " px"]
        for case in ("CTressel", "tressel_analyze_mask", "findContours", "read"):
            t = A(case + "/" + n)
            row.append(us(t) + ((" (x%.1f)" % (t / prev[case])) if case in prev and t and prev[case] else ""))
            prev[case] = t
        rows.append(row)
    w(table(["body length", "CTressel", "analyze_mask", "findContours", "read"], rows))
    w("")
    w("With the frame (the same silhouettes in a 640 x 480 and a 1920 x 1080 frame, 6.75 times the pixels):")
    w("")
    rows = []
    for v, f in zip(vga, full_hd):
        row = [v.split("_")[0][1:] + " px"]
        for case in ("CTressel", "tressel_analyze_mask", "findContours", "read"):
            a, b = A(case + "/" + v), A(case + "/" + f)
            row.append("%s → %s (x%s)" % (us(a), us(b), ratio(b, a, 1)))
        rows.append(row)
    w(table(["body length", "CTressel", "analyze_mask", "findContours", "read"], rows))
    w("")
    w("`CTressel` sees only the spans, so its frame column shows the move by (800, 400) alone.")
    w("")

    # ---- stages
    w("## Where the time goes: the stages")
    w("")
    w("The internal analyzer's steps, on the spans of the 1920 x 1080 masks. Each step changes the record,")
    w("so each group of steps is timed as a prefix: a fresh record runs every step up to and including the")
    w("group, and is destroyed; a group's time is its prefix minus the one before (so it includes freeing")
    w("what the group allocated). The prefixes' fastest repetitions are used here (the load only ever adds")
    w("time); small differences are still within the noise and can come out negative. The instruction")
    w("counts below are exact.")
    w("")
    for n in full_hd:
        w("**%s** (µs)" % n)
        w("")
        rows = []
        variants = [("fast", after_info["min"], "stage/%s/fast/" + n), ("plain", after_info["min"], "stage/%s/plain/" + n)]
        if single:
            variants.append(("before", before_info["min"], "stage/%s/single/" + n))
        prev = {v[0]: 0.0 for v in variants}
        totals = {v[0]: v[1].get(v[2] % STAGES[-1][0]) for v in variants}
        for key, label in STAGES:
            row = [label]
            for vname, source, pattern in variants:
                t = source.get(pattern % key)
                if t is None:
                    row.append("–")
                    continue
                d = t - prev[vname]
                prev[vname] = t
                share = (" (%.0f %%)" % (100.0 * d / totals[vname])) if totals[vname] else ""
                row.append(us(d) + share)
            rows.append(row)
        rows.append(["whole (last prefix)"] + [us(totals[v[0]]) for v in variants])
        w(table(["stage"] + [v[0] for v in variants], rows))
        w("")
    for n in full_hd:
        if "stage/%s/fast/%s" % (STAGES[-1][0], n) not in counts_after:
            continue
        w("Instructions per stage, %s (prefix differences of exact counts):" % n)
        w("")
        rows = []
        prev = {"fast": 0, "plain": 0, "single": 0}
        total = {v: c.get("stage/%s/%s/%s" % (STAGES[-1][0], v, n)) for v, c in
                 (("fast", counts_after), ("plain", counts_after), ("single", counts_before))}
        for k, label in STAGES:
            row = [label]
            for vname, counts in (("fast", counts_after), ("plain", counts_after), ("single", counts_before)):
                c = counts.get("stage/%s/%s/%s" % (k, vname, n))
                if c is None:
                    row.append("–")
                    continue
                row.append("%s (%.0f %%)" % (mcount(c - prev[vname]), 100.0 * (c - prev[vname]) / total[vname]))
                prev[vname] = c
            rows.append(row)
        rows.append(["whole"] + [mcount(total[v]) for v in ("fast", "plain", "single")])
        w(table(["stage", "fast", "plain", "before"], rows))
        w("")

    # ---- fast vs plain and placement
    w("## Fast and plain path, and placement")
    w("")
    rows = []
    for n in names:
        f, p = A("analyzer/fast/" + n), A("analyzer/plain/" + n)
        rows.append((n, us(f), us(p), ratio(p, f, 1)))
    for at in (MOVE_FROM, MOVE_TO):
        f, p = A("analyzer_at/%s/fast/%s" % (at, TARGET_MASK)), A("analyzer_at/%s/plain/%s" % (at, TARGET_MASK))
        rows.append(("%s moved to (%s)" % (TARGET_MASK, at.replace("_", ", ")), us(f), us(p), ratio(p, f, 1)))
    w(table(["silhouette", "fast", "plain", "plain / fast"], rows))
    w("")
    w("The plain path draws every base segment into a raster that spans from the origin, so its time")
    w("grows with the silhouette's distance from (0, 0); the fast path's does not.")
    w("")

    # ---- before / after
    if before:
        w("## Before and after the speed work")
        w("")
        w("Before: the same benchmark sources built against the code at commit 705b982 (the class and its")
        w("core before the speed work) with the C interface of commit f124574, which has the same core (the")
        w("analysis, support and facade sources of the two commits are identical). Timed in its own binary")
        w("right after this one, same masks, same options; its peers are timed again in that run and the")
        w("before ratios use them.")
        w("")
        rows = []
        keyed = ["tressel_analyze_mask/" + n for n in full_hd] + ["CTressel/" + n for n in names] + \
                ["SortOutline/" + TARGET_MASK, "tressel_mask_spans/" + TARGET_MASK,
                 "CTressel_at/%s/%s" % (MOVE_FROM, TARGET_MASK), "CTressel_at/%s/%s" % (MOVE_TO, TARGET_MASK)]
        for case in keyed:
            rows.append(("`%s`" % case, us(B(case)), us(A(case)), ratio(B(case), A(case), 1),
                         mcount(counts_before.get(case)), mcount(counts_after.get(case)),
                         ratio(counts_before.get(case), counts_after.get(case), 1)))
        w(table(["case", "before µs", "after µs", "speed-up", "before instr.", "after instr.", "instr. ratio"], rows))
        w("")
        rows = []
        bam, bfc, brd = B("tressel_analyze_mask/" + TARGET_MASK), B("findContours/" + TARGET_MASK), B("read/" + TARGET_MASK)
        cb = lambda c: counts_before.get(c + "/" + TARGET_MASK)
        rows.append(("analyze_mask / findContours (<= 1.0)", ratio(bam, bfc), ratio(am, fc),
                     ratio(cb("tressel_analyze_mask"), cb("findContours")), ratio(c_am, c_fc)))
        rows.append(("analyze_mask / read (<= 3.0)", ratio(bam, brd, 1), ratio(am, rd, 1),
                     ratio(cb("tressel_analyze_mask"), cb("read"), 1), ratio(c_am, c_rd, 1)))
        bf, bt = B("CTressel_at/%s/%s" % (MOVE_FROM, TARGET_MASK)), B("CTressel_at/%s/%s" % (MOVE_TO, TARGET_MASK))
        cbf = counts_before.get("CTressel_at/%s/%s" % (MOVE_FROM, TARGET_MASK))
        cbt = counts_before.get("CTressel_at/%s/%s" % (MOVE_TO, TARGET_MASK))
        pct = lambda a, b: "%+.0f %%" % (100.0 * (b - a) / a) if a and b else "–"
        rows.append(("CTressel moved (50, 50) → (1700, 900) (< 20 %)", pct(bf, bt), pct(t_from, t_to), pct(cbf, cbt),
                     pct(c_from, c_to)))
        w(table(["ratio (%s)" % TARGET_MASK, "before, time", "after, time", "before, instr.", "after, instr."], rows))
        w("")

    # ---- counts
    if counts_after:
        w("## Instruction counts")
        w("")
        w("One call each, under `valgrind --tool=callgrind`; `tressel_count CASE` runs a case.")
        w("")
        rows = []
        order = {n: i for i, n in enumerate(names)}
        for case in sorted(counts_after, key=lambda c: (order.get(c.split("/")[-1], len(order)), c)):
            if case.startswith("stage/"):
                continue
            rows.append(("`%s`" % case, mcount(counts_before.get(case)), mcount(counts_after[case])))
        w(table(["case", "before", "after"], rows))
        w("")

    w("## Notes")
    w("")
    w("- Debian's Google Benchmark library prints that it was built as DEBUG; that concerns the harness")
    w("  only (timer loop), not the code measured, which is built with `-O3` (CMake's Release).")
    cv = targets_info.get("cv", {})
    spreads = ["`%s` %.1f %%" % (case, 100.0 * cv[case]) for case in
               ("tressel_analyze_mask/" + TARGET_MASK, "findContours/" + TARGET_MASK, "read/" + TARGET_MASK,
                "CTressel_at/%s/%s" % (MOVE_FROM, TARGET_MASK), "CTressel_at/%s/%s" % (MOVE_TO, TARGET_MASK))
               if case in cv]
    if spreads:
        w("- The relative spread (coefficient of variation over the repetitions) of the target cases: " +
          ", ".join(spreads) + ".")
    w("")

    with open(output, "w") as f:
        f.write("\n".join(L).rstrip() + "\n")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: report.py RESULTS_DIR OUTPUT.md")
    main(sys.argv[1], sys.argv[2])
