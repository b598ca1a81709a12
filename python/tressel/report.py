"""A report a person reads: a folder with report.html and its pictures, made
from a table of `tressel track` and the side files beside it (the background,
the summary, the settings).

    folder = tressel.report.write_report("mouse.csv")          # mouse.csv.report/
    folder = tressel.report.write_report("mouse.csv", "out/")  # or a folder of one's own

The folder is written as DIR.partial and renamed when complete; an existing
DIR is replaced only when it is an earlier report. The page loads nothing from
the network. The measures are the tracker's own (the table's columns and its
summary): nothing here measures again.
"""

import html
import json
import os
import shutil
from pathlib import Path

from . import formats

PICTURES = (("trajectory.png", "Trajectory over the background"),
            ("occupancy.png", "Occupancy"),
            ("speed.png", "Speed, with moving and freezing shaded"),
            ("zones.png", "Time per zone"),
            ("confidence.png", "Orientation confidence"))
_MARK = ".tressel-report"  # in every report folder: what may be replaced


def write_report(table_path, out=None):
    table = formats.read_table(table_path)
    formats.require_rows(table)
    folder = Path(out) if out else Path(str(table.path) + ".report")
    if folder.exists() and not (folder / _MARK).exists():
        raise formats.TableError("%s: exists and is not an earlier report; give another --out" % folder)
    summary = _side_json(table.path, ".summary.json")
    import matplotlib
    matplotlib.use("Agg")

    partial = Path(str(folder) + ".partial")
    shutil.rmtree(partial, ignore_errors=True)
    partial.mkdir(parents=True)
    try:
        (partial / _MARK).write_text("made by tressel report\n")
        background = _background(table.path)
        _trajectory(table, background, partial / "trajectory.png")
        _occupancy(table, background, partial / "occupancy.png")
        _speed(table, partial / "speed.png")
        _zones(table, summary, partial / "zones.png")
        _confidence(table, partial / "confidence.png")
        (partial / "report.html").write_text(_page(table, summary, background is not None), encoding="utf-8")
    except BaseException:
        shutil.rmtree(partial, ignore_errors=True)
        raise
    # Swap the finished folder in: the old report stays whole until then.
    old = Path(str(folder) + ".old")
    if folder.exists():
        shutil.rmtree(old, ignore_errors=True)
        os.replace(folder, old)
    os.replace(partial, folder)
    shutil.rmtree(old, ignore_errors=True)
    return str(folder)


def _side_json(path, suffix):
    try:
        return json.loads(Path(str(path) + suffix).read_text(encoding="utf-8"))
    except (OSError, ValueError):
        return None


def _background(path):
    import matplotlib.image
    try:
        return matplotlib.image.imread(str(path) + ".background.png")
    except (OSError, ValueError, SyntaxError):
        return None


def _figure(width=8, height=4.5):
    import matplotlib.pyplot as plt
    return plt.subplots(figsize=(width, height), dpi=100)


def _save(figure, path):
    import matplotlib.pyplot as plt
    figure.tight_layout()
    figure.savefig(path)
    plt.close(figure)


def _arena_rows(table):
    for name in table.arenas:
        yield name, table.frame[table.frame["arena"] == name]


def _picture_axes(axes, table, background):
    if background is not None:
        axes.imshow(background, cmap="gray", vmin=0, vmax=1 if background.dtype.kind == "f" else 255,
                    interpolation="nearest")
    else:
        f = table.frame
        axes.axis("equal")
        axes.set_xlim(0, max(1, f["center_sub_x"].max() * 1.05))
        axes.set_ylim(max(1, f["center_sub_y"].max() * 1.05), 0)
    axes.set_xlabel("x (px)")
    axes.set_ylabel("y (px)")


def _trajectory(table, background, path):
    figure, axes = _figure(8, 6)
    _picture_axes(axes, table, background)
    for name, rows in _arena_rows(table):
        line = axes.plot(rows["center_sub_x"], rows["center_sub_y"], lw=0.8, alpha=0.9,
                         label=name or "the animal")[0]
        positions = rows[["center_sub_x", "center_sub_y"]].dropna()
        if len(positions):
            axes.plot(*positions.iloc[0], "o", color=line.get_color(), ms=6, mec="white")
            axes.plot(*positions.iloc[-1], "s", color=line.get_color(), ms=6, mec="white")
    axes.set_title("Body centre (circle: first position, square: last)")
    if len(table.arenas) > 1:
        axes.legend(loc="upper right", fontsize="small")
    _save(figure, path)


def _occupancy(table, background, path):
    import numpy as np
    figure, axes = _figure(8, 6)
    _picture_axes(axes, table, background)
    f = table.frame.dropna(subset=["center_sub_x", "center_sub_y"])
    if background is not None:
        height, width = background.shape[:2]
    else:
        width, height = axes.get_xlim()[1], axes.get_ylim()[0]
    cell = max(width, height) / 60
    counts, xs, ys = np.histogram2d(f["center_sub_x"], f["center_sub_y"],
                                    bins=(max(1, int(width / cell)), max(1, int(height / cell))),
                                    range=((0, width), (0, height)))
    counts = np.ma.masked_equal(counts.T, 0)
    image = axes.imshow(counts, extent=(0, width, height, 0), cmap="inferno", alpha=0.75, interpolation="nearest")
    figure.colorbar(image, ax=axes, label="frames per cell (%.0f px square)" % cell, shrink=0.8)
    axes.set_title("Where the body centre was")
    _save(figure, path)


def _spans(axes, time, flags, colour, label):
    """Shades the stretches where flags is 1."""
    import numpy as np
    on = np.nan_to_num(flags.to_numpy(dtype=float)) == 1
    axes.fill_between(time, 0, 1, where=on, step="mid", color=colour, alpha=0.3, lw=0, label=label,
                      transform=axes.get_xaxis_transform())


def _speed(table, path):
    speed = "speed_%s_s" % table.unit
    arenas = list(_arena_rows(table))
    import matplotlib.pyplot as plt
    figure, all_axes = plt.subplots(len(arenas), 1, figsize=(9, 2.6 * len(arenas) + 0.6), dpi=100, sharex=True,
                                    squeeze=False)
    all_axes = all_axes[:, 0]
    for axes, (name, rows) in zip(all_axes, arenas):
        time = rows["time_s"].to_numpy()
        _spans(axes, time, rows["moving"], "tab:green", "moving")
        _spans(axes, time, rows["freezing"], "tab:blue", "freezing")
        axes.plot(time, rows[speed], color="black", lw=0.7, label="speed")
        axes.set_ylabel("speed (%s/s)" % table.unit)
        axes.set_ylim(bottom=0)
        if len(arenas) > 1:
            axes.set_title(name, fontsize="small")
        axes.legend(loc="upper right", fontsize="small", ncol=3)
    all_axes[-1].set_xlabel("time (s)")
    _save(figure, path)


def _zone_times(summary):
    """{arena: [(zone, seconds)]} from the summary's whole-recording period."""
    out = {}
    for arena in (summary or {}).get("arenas", []):
        zones = arena.get("overall", {}).get("zones", [])
        if isinstance(zones, dict):
            zones = [dict(v, name=k) for k, v in zones.items()]
        out[arena.get("name", "")] = [(z.get("name", "?"), z.get("time_s", 0) or 0) for z in zones]
    return out


def _zones(table, summary, path):
    figure, axes = _figure(8, 3.5)
    times = _zone_times(summary)
    labels, values = [], []
    for arena, zones in times.items():
        for zone, seconds in zones:
            labels.append("%s: %s" % (arena, zone) if len(times) > 1 else zone)
            values.append(seconds)
    if values:
        axes.barh(labels[::-1], values[::-1], color="tab:purple")
        for y, v in enumerate(values[::-1]):
            axes.text(v, y, " %.1f s" % v, va="center", fontsize="small")
        axes.set_xlabel("time (s)")
        axes.margins(x=0.15)
    else:
        axes.axis("off")
        axes.text(0.5, 0.5, "no zones in the summary" if summary else "no summary beside the table",
                  ha="center", va="center", transform=axes.transAxes)
    _save(figure, path)


def _confidence(table, path):
    figure, axes = _figure(9, 3)
    for name, rows in _arena_rows(table):
        several = len(table.arenas) > 1
        axes.plot(rows["time_s"], rows["orientation_confidence"], lw=0.7, label=name if several else "confidence")
    reversed_rows = table.frame[table.frame["orientation"] == "reversed"]
    if len(reversed_rows):
        axes.plot(reversed_rows["time_s"], reversed_rows["orientation_confidence"], "|", color="tab:red",
                  ms=8, label="ends swapped by the track")
    axes.set_ylim(-0.02, 1.02)
    axes.set_xlabel("time (s)")
    axes.set_ylabel("confidence of the head end")
    axes.legend(loc="lower right", fontsize="small")
    _save(figure, path)


def _flatten(value, prefix=""):
    if isinstance(value, dict):
        for key, item in value.items():
            yield from _flatten(item, prefix + "." + key if prefix else key)
    elif isinstance(value, list) and any(isinstance(v, (dict, list)) for v in value):
        for i, item in enumerate(value):
            yield from _flatten(item, "%s[%d]" % (prefix, i))
    else:
        yield prefix, value


def _cell(value):
    if isinstance(value, float):
        return "%.4g" % value
    if isinstance(value, list):
        return ", ".join(_cell(v) for v in value)
    if value is None:
        return "&ndash;"
    return html.escape(str(value))


def _rows(pairs):
    return "\n".join("<tr><th>%s</th><td>%s</td></tr>" % (html.escape(k), _cell(v)) for k, v in pairs)


def _page(table, summary, has_background):
    f = table.frame
    title = "Tracking report: %s" % table.path.name
    measures = []
    for arena in (summary or {}).get("arenas", []):
        overall = [(k, v) for k, v in _flatten(arena.get("overall", {})) if not k.startswith("zones")]
        heading = "<h3>%s</h3>" % html.escape(arena.get("name", "")) if len((summary or {}).get("arenas", [])) > 1 else ""
        measures.append(heading + "<table>%s</table>" % _rows(overall))
    # The tracker's settings repeat the measures' options: shown once.
    settings = [(k, v) for k, v in _flatten((summary or {}).get("settings") or table.settings or {})
                if not k.startswith("tracker.behaviour.")]
    pictures = "\n".join('<figure><img src="%s" alt="%s"><figcaption>%s</figcaption></figure>'
                         % (name, html.escape(caption), html.escape(caption)) for name, caption in PICTURES)
    statuses = f["status"].value_counts()
    facts = [("table", str(table.path)), ("rows", len(f)),
             ("time", "%.2f s to %.2f s" % (f["time_s"].min(), f["time_s"].max())),
             ("frames by status", ", ".join("%s %d" % kv for kv in statuses.items())),
             ("unit of lengths", table.unit)]
    if not has_background:
        facts.append(("background", "no background picture beside the table"))
    return _TEMPLATE % {
        "title": html.escape(title),
        "facts": _rows(facts),
        "pictures": pictures,
        "measures": "\n".join(measures) or "<p>No summary beside the table (%s.summary.json).</p>"
                    % html.escape(table.path.name),
        "settings": _rows(settings),
        "comments": _rows((k, v) for k, v in table.comments.items() if k != "settings"),
    }


_TEMPLATE = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>%(title)s</title>
<style>
body { font-family: sans-serif; margin: 2em auto; max-width: 980px; color: #222; }
figure { margin: 1.5em 0; }
img { max-width: 100%%; border: 1px solid #ddd; }
figcaption { color: #555; font-size: 0.9em; }
table { border-collapse: collapse; margin: 0.5em 0 1.5em; font-size: 0.9em; }
th, td { border-bottom: 1px solid #eee; padding: 0.2em 0.8em; text-align: left; vertical-align: top; }
th { font-weight: normal; color: #555; }
</style>
</head>
<body>
<h1>%(title)s</h1>
<table>%(facts)s</table>
%(pictures)s
<h2>Summary</h2>
%(measures)s
<h2>Options used</h2>
<table>%(settings)s</table>
<h2>The table's header</h2>
<table>%(comments)s</table>
<script>
// Marks the page once every picture has loaded, for a check without a person.
window.addEventListener("load", function () {
  var images = document.images, loaded = 0;
  for (var i = 0; i < images.length; i++) if (images[i].complete && images[i].naturalWidth > 0) loaded++;
  document.body.setAttribute("data-images", images.length);
  document.body.setAttribute("data-images-loaded", loaded);
});
</script>
</body>
</html>
"""
