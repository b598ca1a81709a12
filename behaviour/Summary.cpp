#include "behaviour/Summary.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "behaviour/Json.h"
#include "behaviour/Table.h"

namespace tressel::behaviour {
namespace {

constexpr std::int64_t kMaxBins = 100000;
constexpr double kTurnBack = 90;  // degrees: turning back further restarts the count of full turns  // a time that leaps ahead must not allocate without end

// What one row adds to every period it falls in.
struct Events {
  double step = 0;          // distance counted here
  bool measured = false;    // the step's time counts for the mean speed
  double stepSeconds = 0;
  bool flipStart = false;
  bool movingStart = false;
  bool freezingStart = false;
  double clockwise = 0, counterclockwise = 0;
  int rotationsCw = 0, rotationsCcw = 0;
  std::vector<bool> entries;
};

struct Field {
  std::string name;
  std::function<double(const Measures&)> get;
  bool integer;
};

double percent(std::int64_t part, std::int64_t whole) { return whole > 0 ? 100.0 * double(part) / double(whole) : NAN; }

// The measures of a period, in the order of SUMMARY.csv and SUMMARY.json.
std::vector<Field> fields(const std::string& u) {
  return {
      {"start_s", [](const Measures& m) { return m.start; }, false},
      {"end_s", [](const Measures& m) { return m.end; }, false},
      {"duration_s", [](const Measures& m) { return m.duration; }, false},
      {"frames", [](const Measures& m) { return double(m.frames); }, true},
      {"frames_tracked", [](const Measures& m) { return double(m.framesTracked); }, true},
      {"tracked_pct", [](const Measures& m) { return percent(m.framesTracked, m.frames); }, false},
      {"frames_with_tail", [](const Measures& m) { return double(m.framesWithTail); }, true},
      {"tail_pct", [](const Measures& m) { return percent(m.framesWithTail, m.frames); }, false},
      {"frames_interpolated", [](const Measures& m) { return double(m.framesInterpolated); }, true},
      {"jumps", [](const Measures& m) { return double(m.jumps); }, true},
      {"frames_reversed", [](const Measures& m) { return double(m.framesReversed); }, true},
      {"flips_corrected", [](const Measures& m) { return double(m.flipsCorrected); }, true},
      {"frames_nose_from_track", [](const Measures& m) { return double(m.framesNoseFromTrack); }, true},
      {"orientation_forced", [](const Measures& m) { return double(m.orientationForced); }, true},
      {"sharp_turns", [](const Measures& m) { return double(m.sharpTurns); }, true},
      {"distance_" + u, [](const Measures& m) { return m.distance; }, false},
      {"mean_speed_" + u + "_s", [](const Measures& m) { return m.meanSpeed(); }, false},
      {"time_moving_s", [](const Measures& m) { return m.timeMoving; }, false},
      {"moving_pct", [](const Measures& m) { return m.duration > 0 ? 100 * m.timeMoving / m.duration : NAN; }, false},
      {"mean_speed_moving_" + u + "_s", [](const Measures& m) { return m.meanSpeedMoving(); }, false},
      {"moving_bouts", [](const Measures& m) { return double(m.movingBouts); }, true},
      {"time_freezing_s", [](const Measures& m) { return m.timeFreezing; }, false},
      {"freezing_bouts", [](const Measures& m) { return double(m.freezingBouts); }, true},
      {"turned_cw_deg", [](const Measures& m) { return m.turnedClockwise; }, false},
      {"turned_ccw_deg", [](const Measures& m) { return m.turnedCounterclockwise; }, false},
      {"rotations_cw", [](const Measures& m) { return double(m.rotationsClockwise); }, true},
      {"rotations_ccw", [](const Measures& m) { return double(m.rotationsCounterclockwise); }, true},
  };
}

// The measures of each zone, in the order of zoneValue.
struct ZoneField {
  std::string name;
  bool integer;
};

std::vector<ZoneField> zoneFields(const std::string& u) {
  return {{"time_s", false}, {"entries", true}, {"latency_s", false}, {"distance_" + u, false}};
}

double zoneValue(const ZoneMeasures& z, std::size_t field) {
  switch (field) {
    case 0: return z.time;
    case 1: return double(z.entries);
    case 2: return z.latency;
    default: return z.distance;
  }
}

std::string number(double v, bool integer) {
  if (!std::isfinite(v)) return "";
  if (integer) return std::to_string(static_cast<std::int64_t>(v));
  Cell cell{Cell::Kind::real, 0, v, ""};
  return csvCell(cell, 6);
}

std::string jsonValue(double v, bool integer) {
  const std::string text = number(v, integer);
  return text.empty() ? "null" : text;
}

std::string csvName(const std::string& name) {
  Cell cell{Cell::Kind::text, 0, 0, name.c_str()};
  return csvCell(cell, 0);
}

// Zone names over every arena, in order of first appearance.
std::vector<std::string> zoneNames(const Summary& s) {
  std::vector<std::string> names;
  for (const ArenaSummary& a : s.arenas) {
    for (const Zone& z : a.info->zones) {
      if (std::find(names.begin(), names.end(), z.name) == names.end()) names.push_back(z.name);
    }
  }
  return names;
}

std::string periodJson(const Measures& m, const ArenaInfo& info, const std::string& unit) {
  std::string text = "{";
  for (const Field& f : fields(unit)) {
    text += (text.size() > 1 ? "," : "") + jsonQuoted(f.name) + ":" + jsonValue(f.get(m), f.integer);
  }
  text += ",\"zones\":{";
  const std::vector<ZoneField> zf = zoneFields(unit);
  for (std::size_t i = 0; i < info.zones.size(); ++i) {
    text += (i ? "," : "") + jsonQuoted(info.zones[i].name) + ":{";
    for (std::size_t k = 0; k < zf.size(); ++k) {
      text += (k ? "," : "") + jsonQuoted(zf[k].name) + ":" + jsonValue(zoneValue(m.zones[i], k), zf[k].integer);
    }
    text += "}";
  }
  return text + "}}";
}

}  // namespace

SummaryBuilder::SummaryBuilder(std::shared_ptr<const ArenaInfo> info, const BehaviourOptions& options)
    : binSeconds_(options.binSeconds) {
  summary_.overall.zones.resize(info->zones.size());
  inside_.assign(info->zones.size(), false);
  summary_.info = std::move(info);
}

Measures& SummaryBuilder::binFor(double time) {
  // NaN or an infinite time lands in the first or the last bin, not in
  // an undefined conversion.
  const double offset = std::max(0.0, time - origin_);
  const auto k = static_cast<std::int64_t>(std::min(offset / binSeconds_, double(kMaxBins - 1)));
  while (static_cast<std::int64_t>(summary_.bins.size()) <= k) {
    Measures m;
    m.start = origin_ + double(summary_.bins.size()) * binSeconds_;
    m.end = m.start + binSeconds_;
    m.zones.resize(summary_.info->zones.size());
    summary_.bins.push_back(std::move(m));
  }
  return summary_.bins[static_cast<std::size_t>(k)];
}

void SummaryBuilder::add(const BehaviourRow& row) {
  if (!started_ && !hasFirst_) {
    first_ = row;
    hasFirst_ = true;
    return;
  }
  if (hasFirst_) {
    hasFirst_ = false;
    account(first_, std::max(0.0, row.record.time - first_.record.time));
  }
  account(row, std::max(0.0, row.record.time - previousTime_));
}

void SummaryBuilder::finish(double bodyLengthPx) {
  if (hasFirst_) {
    hasFirst_ = false;
    account(first_, 0);
  }
  summary_.bodyLengthPx = bodyLengthPx;
  if (!summary_.bins.empty()) summary_.bins.back().end = std::min(summary_.bins.back().end, summary_.overall.end);
}

void SummaryBuilder::account(const BehaviourRow& row, double duration) {
  if (!started_) {
    started_ = true;
    origin_ = row.record.time;
    summary_.overall.start = row.record.time;
  }
  previousTime_ = row.record.time;
  summary_.overall.end = row.record.time;

  Events e;
  e.entries.assign(inside_.size(), false);
  if (row.hasPosition) {
    e.step = row.distance - lastDistance_;
    lastDistance_ = row.distance;
    e.measured = std::isfinite(row.stepSeconds) && !row.jump;
    e.stepSeconds = row.stepSeconds;
    for (std::size_t z = 0; z < inside_.size(); ++z) {
      const bool in = (row.zonesHolding >> z) & 1u;
      e.entries[z] = in && !inside_[z];
      inside_[z] = in;
    }
  }
  const bool reversed = row.orientation == Orientation::reversed;
  e.flipStart = reversed && !previousReversed_;
  previousReversed_ = reversed;
  e.movingStart = row.moving == 1 && previousMoving_ != 1;
  previousMoving_ = row.moving;
  e.freezingStart = row.freezing == 1 && previousFreezing_ != 1;
  previousFreezing_ = row.freezing;
  if (std::isfinite(row.headingDeg)) {
    if (std::isfinite(previousHeading_)) {
      double turn = std::fmod(row.headingDeg - previousHeading_, 360.0);
      if (turn > 180) turn -= 360;
      if (turn <= -180) turn += 360;
      (turn > 0 ? e.clockwise : e.counterclockwise) = std::fabs(turn);
      netTurn_ += turn;
      if (turnPeak_ >= 0 ? netTurn_ > turnPeak_ : netTurn_ < turnPeak_) turnPeak_ = netTurn_;
      if (std::fabs(netTurn_ - turnPeak_) > kTurnBack) {
        // Turned back: the count starts again in the new direction.
        netTurn_ -= turnPeak_;
        turnPeak_ = netTurn_;
      }
      if (std::fabs(netTurn_) >= 360) {
        (netTurn_ > 0 ? e.rotationsCw : e.rotationsCcw) = 1;
        const double full = netTurn_ > 0 ? 360 : -360;
        netTurn_ -= full;
        turnPeak_ -= full;
      }
    }
    previousHeading_ = row.headingDeg;
  } else {
    previousHeading_ = NAN;
  }

  auto apply = [&](Measures& m) {
    const bool periodStart = m.frames == 0;
    if (periodStart) m.firstFrameTime = row.record.time;
    m.duration += duration;
    m.frames += 1;
    m.framesTracked += row.record.hasPoints();
    m.framesWithTail += row.record.hasTail();
    m.framesInterpolated += row.interpolated;
    m.jumps += row.jump;
    m.framesReversed += reversed;
    m.flipsCorrected += e.flipStart;
    m.framesNoseFromTrack += row.orientation == Orientation::track;
    m.orientationForced += row.orientationForced;
    m.sharpTurns += row.sharpTurn;
    m.distance += e.step;
    if (e.measured) m.timeWithSpeed += e.stepSeconds;
    if (row.moving == 1) {
      m.timeMoving += duration;
      m.distanceMoving += e.step;
    }
    m.movingBouts += e.movingStart;
    if (row.freezing == 1) m.timeFreezing += duration;
    m.freezingBouts += e.freezingStart;
    m.turnedClockwise += e.clockwise;
    m.turnedCounterclockwise += e.counterclockwise;
    m.rotationsClockwise += e.rotationsCw;
    m.rotationsCounterclockwise += e.rotationsCcw;
    if (!row.hasPosition) return;
    for (std::size_t z = 0; z < m.zones.size(); ++z) {
      if (!((row.zonesHolding >> z) & 1u)) continue;
      ZoneMeasures& zm = m.zones[z];
      zm.time += duration;
      zm.distance += e.step;
      zm.entries += e.entries[z];
      if (!std::isfinite(zm.latency)) zm.latency = row.record.time - m.firstFrameTime;
    }
  };
  apply(summary_.overall);
  if (binSeconds_ > 0) apply(binFor(row.record.time));
}

std::string summaryJson(const Summary& s, const std::string& trackerJson) {
  const OrientationWeights& w = s.weights;
  std::string text = "{\n  \"settings\": {\"behaviour\": " + behaviourOptionsJson(s.options) +
                     ",\n    \"orientation_weights\": {\"tail\": " + jsonNumber(w.tail) +
                     ", \"motion\": " + jsonNumber(w.motion) + ", \"switch_ends\": " + jsonNumber(w.switchEnds) +
                     ", \"switch_any\": " + jsonNumber(w.switchAny) +
                     ", \"steady_speed_bl_s\": " + jsonNumber(w.steadySpeed) +
                     ", \"straightness\": " + jsonNumber(w.straightness) +
                     ", \"window_s\": " + jsonNumber(w.windowSeconds) + "},\n    \"tracker\": " +
                     (trackerJson.empty() ? "{}" : trackerJson) + "},\n  \"unit\": " + jsonQuoted(s.unit) +
                     ",\n  \"arenas\": [";
  for (std::size_t i = 0; i < s.arenas.size(); ++i) {
    const ArenaSummary& a = s.arenas[i];
    const ArenaInfo& info = *a.info;
    text += std::string(i ? "," : "") + "\n    {\"name\": " + jsonQuoted(info.arena.name) +
            ", \"source\": " + jsonQuoted(info.arena.source) + ", \"shape\": " + info.arena.shape.json() +
            ",\n     \"calibration\": {\"unit\": " + jsonQuoted(info.calibration.unit) +
            ", \"per_px_x\": " + jsonNumber(info.calibration.perPxX) +
            ", \"per_px_y\": " + jsonNumber(info.calibration.perPxY) +
            ", \"source\": " + jsonQuoted(info.calibration.source) + "}" +
            ",\n     \"body_length_px\": " + jsonNumber(a.bodyLengthPx) + ",\n     \"zones\": [";
    for (std::size_t z = 0; z < info.zones.size(); ++z) text += (z ? ", " : "") + info.zones[z].json();
    text += "],\n     \"overall\": " + periodJson(a.overall, info, s.unit) + ",\n     \"bins\": [";
    for (std::size_t b = 0; b < a.bins.size(); ++b) {
      text += (b ? ",\n       " : "\n       ") + periodJson(a.bins[b], info, s.unit);
    }
    text += "]}";
  }
  return text + "\n  ]\n}\n";
}

std::string summaryCsv(const Summary& s) {
  const std::vector<Field> f = fields(s.unit);
  const std::vector<ZoneField> zf = zoneFields(s.unit);
  const std::vector<std::string> names = zoneNames(s);
  std::string text = "arena,period";
  for (const Field& field : f) text += "," + field.name;
  for (const std::string& name : names) {
    for (const ZoneField& field : zf) text += "," + csvName("zone_" + name + "_" + field.name);
  }
  text += "\n";
  for (const ArenaSummary& a : s.arenas) {
    auto line = [&](const Measures& m, const std::string& period) {
      text += csvName(a.info->arena.name) + "," + period;
      for (const Field& field : f) text += "," + number(field.get(m), field.integer);
      for (const std::string& name : names) {
        std::size_t z = 0;
        while (z < a.info->zones.size() && a.info->zones[z].name != name) ++z;
        for (std::size_t k = 0; k < zf.size(); ++k) {
          text += "," + (z < a.info->zones.size() ? number(zoneValue(m.zones[z], k), zf[k].integer) : std::string());
        }
      }
      text += "\n";
    };
    line(a.overall, "all");
    for (std::size_t b = 0; b < a.bins.size(); ++b) line(a.bins[b], std::to_string(b + 1));
  }
  return text;
}

std::string summaryTable(const Summary& s) {
  struct Line {
    std::string label;
    std::function<std::string(const ArenaSummary&)> value;
  };
  auto fixed = [](double v, int decimals) {
    if (!std::isfinite(v)) return std::string("-");
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    return std::string(buffer);
  };
  const std::string u = s.unit;
  std::vector<Line> lines = {
      {"duration (s)", [&](const ArenaSummary& a) { return fixed(a.overall.duration, 1); }},
      {"frames tracked (%)", [&](const ArenaSummary& a) { return fixed(percent(a.overall.framesTracked, a.overall.frames), 1); }},
      {"frames with tail (%)", [&](const ArenaSummary& a) { return fixed(percent(a.overall.framesWithTail, a.overall.frames), 1); }},
      {"distance (" + u + ")", [&](const ArenaSummary& a) { return fixed(a.overall.distance, 1); }},
      {"mean speed (" + u + "/s)", [&](const ArenaSummary& a) { return fixed(a.overall.meanSpeed(), 2); }},
      {"time moving (s)", [&](const ArenaSummary& a) { return fixed(a.overall.timeMoving, 1); }},
      {"time freezing (s)", [&](const ArenaSummary& a) { return fixed(a.overall.timeFreezing, 1); }},
      {"rotations cw / ccw", [&](const ArenaSummary& a) {
         return std::to_string(a.overall.rotationsClockwise) + " / " + std::to_string(a.overall.rotationsCounterclockwise);
       }},
      {"flips corrected", [&](const ArenaSummary& a) { return std::to_string(a.overall.flipsCorrected); }},
      {"frames flagged", [&](const ArenaSummary& a) {
         return std::to_string(a.overall.sharpTurns) + " turns, " + std::to_string(a.overall.jumps) + " jumps";
       }},
  };
  for (const std::string& name : zoneNames(s)) {
    lines.push_back({"in " + name + " (s, entries)", [name, fixed](const ArenaSummary& a) {
                       for (std::size_t z = 0; z < a.info->zones.size(); ++z) {
                         if (a.info->zones[z].name == name) {
                           return fixed(a.overall.zones[z].time, 1) + ", " + std::to_string(a.overall.zones[z].entries);
                         }
                       }
                       return std::string("-");
                     }});
  }
  std::size_t labelWidth = 0;
  for (const Line& l : lines) labelWidth = std::max(labelWidth, l.label.size());
  std::vector<std::size_t> widths;
  for (const ArenaSummary& a : s.arenas) {
    std::size_t w = a.info->arena.name.size();
    for (const Line& l : lines) w = std::max(w, l.value(a).size());
    widths.push_back(w + 2);
  }
  auto pad = [](std::string t, std::size_t w) {
    if (t.size() < w) t.insert(0, w - t.size(), ' ');
    return t;
  };
  std::string text = std::string(labelWidth, ' ');
  for (std::size_t i = 0; i < s.arenas.size(); ++i) text += pad(s.arenas[i].info->arena.name, widths[i]);
  text += "\n";
  for (const Line& l : lines) {
    text += l.label + std::string(labelWidth - l.label.size(), ' ');
    for (std::size_t i = 0; i < s.arenas.size(); ++i) text += pad(l.value(s.arenas[i]), widths[i]);
    text += "\n";
  }
  return text;
}

}  // namespace tressel::behaviour
