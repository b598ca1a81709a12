#include "behaviour/Options.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "behaviour/Json.h"

namespace tressel::behaviour {

bool readInt(std::string_view text, int min, int max, int& value) {
  int v = 0;
  const char* end = text.data() + text.size();
  const auto [next, status] = std::from_chars(text.data(), end, v);
  if (status != std::errc() || next != end || v < min || v > max) return false;
  value = v;
  return true;
}

namespace {

// A whole decimal number (from_chars: no locale, no leading '+' or spaces).
bool readNumber(std::string_view text, double& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [next, status] = std::from_chars(text.data(), end, value);
  return status == std::errc() && next == end && std::isfinite(value);
}

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// "40cm", "400mm", "0.4m" in centimetres.
bool readLength(std::string_view text, double& cm) {
  struct UnitFactor {
    const char* unit;
    double cm;
  };
  for (const UnitFactor u : {UnitFactor{"mm", 0.1}, UnitFactor{"cm", 1}, UnitFactor{"m", 100}}) {
    if (endsWith(text, u.unit)) {
      double v = 0;
      if (!readNumber(text.substr(0, text.size() - std::string_view(u.unit).size()), v) || !(v > 0)) return false;
      cm = v * u.cm;
      return true;
    }
  }
  return false;
}

// "60s", "500ms", "2min", or a plain number of seconds.
bool readSeconds(std::string_view text, double& seconds) {
  double factor = 1;
  if (endsWith(text, "ms")) {
    factor = 0.001;
    text.remove_suffix(2);
  } else if (endsWith(text, "min")) {
    factor = 60;
    text.remove_suffix(3);
  } else if (endsWith(text, "s")) {
    text.remove_suffix(1);
  }
  double v = 0;
  if (!readNumber(text, v) || v < 0) return false;
  seconds = v * factor;
  return true;
}

bool readSpeed(std::string_view text, Speed& speed) {
  struct UnitName {
    const char* name;
    Speed::Unit unit;
    double factor;
  };
  for (const UnitName u : {UnitName{"px/s", Speed::Unit::pxPerS, 1}, UnitName{"cm/s", Speed::Unit::cmPerS, 1},
                           UnitName{"mm/s", Speed::Unit::cmPerS, 0.1}, UnitName{"bl/s", Speed::Unit::bodyLengthsPerS, 1}}) {
    if (endsWith(text, u.name)) {
      double v = 0;
      if (!readNumber(text.substr(0, text.size() - 4), v) || v < 0) return false;
      speed = {v * u.factor, u.unit};
      return true;
    }
  }
  return false;
}

std::string number(double v) { return jsonNumber(v); }

std::string bad(const char* option, const std::string& value, const std::string& expected) {
  return std::string("option ") + option + ": '" + value + "' is not " + expected;
}

const char kSpeedForms[] = "a speed such as 20px/s, 2cm/s, 15mm/s or 0.5bl/s (body lengths per second)";

const std::vector<BehaviourOption> kOptions = {
    {"--interpolate", "N",
     "fill gaps of up to N frames without an animal by a straight line\n"
     "between the positions around them, by the frames' times (flagged)",
     [](const std::string& v, BehaviourOptions& o) {
       return readInt(v, 0, 1000000, o.interpolate) ? std::string() : bad("--interpolate", v, "a whole number from 0 to 1000000");
     },
     [](const BehaviourOptions& o) { return std::to_string(o.interpolate); }},
    {"--max-speed", "SPEED",
     "a step faster than SPEED is flagged as a jump and left out of the\n"
     "distance (0: no limit)",
     [](const std::string& v, BehaviourOptions& o) {
       if (v == "0") {
         o.maxSpeed = Speed{};
         return std::string();
       }
       return readSpeed(v, o.maxSpeed) ? std::string() : bad("--max-speed", v, kSpeedForms);
     },
     [](const BehaviourOptions& o) { return o.maxSpeed.value > 0 ? o.maxSpeed.text() : std::string("0"); }},
    {"--zones", "FILE",
     "named zones (JSON: rectangles, polygons, circles in pixels) instead\n"
     "of the open-field centre (the central half of the arena's width and\n"
     "height) and periphery",
     [](const std::string& v, BehaviourOptions& o) {
       if (v.empty()) return std::string("option --zones needs a file name");
       o.zonesFile = v;
       return std::string();
     },
     [](const BehaviourOptions& o) { return o.zonesFile; }},
    {"--arenas", "FILE",
     "several arenas in one recording (JSON: named rectangles, polygons or\n"
     "circles in pixels), one animal in each, measured separately",
     [](const std::string& v, BehaviourOptions& o) {
       if (v.empty()) return std::string("option --arenas needs a file name");
       o.arenasFile = v;
       return std::string();
     },
     [](const BehaviourOptions& o) { return o.arenasFile; }},
    {"--scale", "LENGTH:PIXELS",
     "calibration: LENGTH is PIXELS pixels, e.g. 40cm:812px; measures are\n"
     "then in cm and cm/s (default: pixels, no size is assumed)",
     [](const std::string& v, BehaviourOptions& o) {
       const std::size_t colon = v.find(':');
       double cm = 0, px = 0;
       if (colon == std::string::npos || !readLength(std::string_view(v).substr(0, colon), cm) ||
           !endsWith(v, "px") || !readNumber(std::string_view(v).substr(colon + 1, v.size() - colon - 3), px) ||
           !(px > 0)) {
         return bad("--scale", v, "LENGTH:PIXELS with both above 0, such as 40cm:812px");
       }
       o.scaleCm = cm;
       o.scalePixels = px;
       return std::string();
     },
     [](const BehaviourOptions& o) {
       return o.scaleCm > 0 ? number(o.scaleCm) + "cm:" + number(o.scalePixels) + "px" : std::string();
     }},
    {"--arena-size", "WxH",
     "calibration: the arena's bounds (the ROI, the frame, or each arena\n"
     "of --arenas) measure W by H, e.g. 40x40cm",
     [](const std::string& v, BehaviourOptions& o) {
       // "40x40cm", or each side with its own unit: "400mmx0.4m".
       const std::size_t x = v.find('x');
       const char* expected = "WxH with a length unit, such as 40x40cm";
       if (x == std::string::npos) return bad("--arena-size", v, expected);
       const std::string height = v.substr(x + 1);
       std::string width = v.substr(0, x);
       const std::string unit = endsWith(height, "mm") ? "mm" : endsWith(height, "cm") ? "cm" : "m";
       if (!endsWith(width, "m")) width += unit;
       double w = 0, h = 0;
       if (!readLength(width, w) || !readLength(height, h)) return bad("--arena-size", v, expected);
       o.arenaWidthCm = w;
       o.arenaHeightCm = h;
       return std::string();
     },
     [](const BehaviourOptions& o) {
       return o.arenaWidthCm > 0 ? number(o.arenaWidthCm) + "x" + number(o.arenaHeightCm) + "cm" : std::string();
     }},
    {"--bin", "SECONDS",
     "summaries per time bin too, e.g. 60s or 5min, by the frames' own\n"
     "times from the first frame (0: the whole recording only)",
     [](const std::string& v, BehaviourOptions& o) {
       return readSeconds(v, o.binSeconds) ? std::string() : bad("--bin", v, "a duration such as 60s or 5min");
     },
     [](const BehaviourOptions& o) { return number(o.binSeconds) + "s"; }},
    {"--smooth", "N",
     "median of N frames (odd, 1-31) over the positions the measures use;\n"
     "the table keeps the unsmoothed ones",
     [](const std::string& v, BehaviourOptions& o) {
       int n = 0;
       if (!readInt(v, 1, 31, n) || n % 2 == 0) return bad("--smooth", v, "an odd whole number from 1 to 31");
       o.smoothFrames = n;
       return std::string();
     },
     [](const BehaviourOptions& o) { return std::to_string(o.smoothFrames); }},
    {"--move-start", "SPEED",
     "moving from this speed on (the displacement over --move-window)",
     [](const std::string& v, BehaviourOptions& o) {
       return readSpeed(v, o.moveStart) ? std::string() : bad("--move-start", v, kSpeedForms);
     },
     [](const BehaviourOptions& o) { return o.moveStart.text(); }},
    {"--move-stop", "SPEED", "... until the speed falls below this one",
     [](const std::string& v, BehaviourOptions& o) {
       return readSpeed(v, o.moveStop) ? std::string() : bad("--move-stop", v, kSpeedForms);
     },
     [](const BehaviourOptions& o) { return o.moveStop.text(); }},
    {"--move-window", "SECONDS", "the time over which the moving speed is measured",
     [](const std::string& v, BehaviourOptions& o) {
       double s = 0;
       if (!readSeconds(v, s) || !(s > 0) || s > 60) return bad("--move-window", v, "a duration above 0 and up to 60s");
       o.moveWindowSeconds = s;
       return std::string();
     },
     [](const BehaviourOptions& o) { return number(o.moveWindowSeconds) + "s"; }},
    {"--freeze-below", "FRACTION",
     "freezing: the body's mobility (pixels changed since the previous\n"
     "frame / its area now and then) stays below FRACTION ...",
     [](const std::string& v, BehaviourOptions& o) {
       double f = 0;
       if (!readNumber(v, f) || !(f > 0) || f > 1) return bad("--freeze-below", v, "a fraction above 0 and up to 1");
       o.freezeBelow = f;
       return std::string();
     },
     [](const BehaviourOptions& o) { return number(o.freezeBelow); }},
    {"--freeze-min", "SECONDS", "... for at least this long",
     [](const std::string& v, BehaviourOptions& o) {
       double s = 0;
       if (!readSeconds(v, s) || !(s > 0) || s > 600) return bad("--freeze-min", v, "a duration above 0 and up to 600s");
       o.freezeMinSeconds = s;
       return std::string();
     },
     [](const BehaviourOptions& o) { return number(o.freezeMinSeconds) + "s"; }},
    {"--max-lag", "N",
     "the head end is decided over each stretch of detected frames, at the\n"
     "latest N frames behind the newest (forced decisions are counted)",
     [](const std::string& v, BehaviourOptions& o) {
       return readInt(v, 2, 1000000, o.maxLagFrames) ? std::string() : bad("--max-lag", v, "a whole number from 2 to 1000000");
     },
     [](const BehaviourOptions& o) { return std::to_string(o.maxLagFrames); }},
    {"--turn-flag", "DEGREES", "flag a turn of the tail base -> nose direction larger than this in one frame",
     [](const std::string& v, BehaviourOptions& o) {
       double d = 0;
       if (!readNumber(v, d) || !(d > 0) || d > 180) return bad("--turn-flag", v, "an angle above 0 and up to 180");
       o.sharpTurnDegrees = d;
       return std::string();
     },
     [](const BehaviourOptions& o) { return number(o.sharpTurnDegrees); }},
};

}  // namespace

std::string Speed::text() const {
  switch (unit) {
    case Unit::pxPerS: return jsonNumber(value) + "px/s";
    case Unit::cmPerS: return jsonNumber(value) + "cm/s";
    case Unit::bodyLengthsPerS: return jsonNumber(value) + "bl/s";
  }
  return "";
}

const std::vector<BehaviourOption>& behaviourOptions() { return kOptions; }

const BehaviourOption* findBehaviourOption(const std::string& name) {
  for (const BehaviourOption& o : kOptions) {
    if (name == o.name) return &o;
  }
  return nullptr;
}

std::string checkBehaviourOptions(const BehaviourOptions& o) {
  if (o.scaleCm > 0 && o.arenaWidthCm > 0) return "options --scale and --arena-size: give only one calibration";
  if (!o.calibrated()) {
    for (const auto& [name, speed] : {std::pair<const char*, const Speed*>{"--max-speed", &o.maxSpeed},
                                      {"--move-start", &o.moveStart},
                                      {"--move-stop", &o.moveStop}}) {
      if (speed->unit == Speed::Unit::cmPerS && speed->value > 0) {
        return std::string("option ") + name + ": a speed in cm/s needs --scale or --arena-size";
      }
    }
  }
  if (o.moveStart.unit == o.moveStop.unit && o.moveStop.value > o.moveStart.value) {
    return "options --move-start and --move-stop: the stop speed is above the start speed";
  }
  return "";
}

std::string behaviourOptionsHelp() {
  const BehaviourOptions defaults;
  std::string text = "Behaviour measures (default in brackets):\n";
  for (const BehaviourOption& o : kOptions) {
    const std::string shown = o.show(defaults);
    text += std::string("  ") + o.name + " " + o.valueName + (shown.empty() ? "" : " [" + shown + "]") + "\n";
    std::string_view help(o.help);
    while (!help.empty()) {
      const std::size_t end = help.find('\n');
      text += "      " + std::string(help.substr(0, end)) + "\n";
      if (end == std::string_view::npos) break;
      help.remove_prefix(end + 1);
    }
  }
  return text;
}

std::string behaviourOptionsJson(const BehaviourOptions& options) {
  std::string text = "{";
  for (const BehaviourOption& o : kOptions) {
    if (text.size() > 1) text += ",";
    text += jsonQuoted(o.name + 2) + ":" + jsonQuoted(o.show(options));
  }
  return text + "}";
}

Calibration calibrationFor(const BehaviourOptions& options, const Arena& arena) {
  Calibration c;
  if (options.scaleCm > 0) {
    c.calibrated = true;
    c.perPxX = c.perPxY = options.scaleCm / options.scalePixels;
    c.unit = "cm";
    c.source = "--scale " + jsonNumber(options.scaleCm) + "cm:" + jsonNumber(options.scalePixels) + "px";
  } else if (options.arenaWidthCm > 0) {
    const Bounds b = arena.shape.bounds();
    c.calibrated = true;
    c.perPxX = options.arenaWidthCm / b.width();
    c.perPxY = options.arenaHeightCm / b.height();
    c.unit = "cm";
    c.source = "--arena-size " + jsonNumber(options.arenaWidthCm) + "x" + jsonNumber(options.arenaHeightCm) +
               "cm over the arena's " + jsonNumber(b.width()) + "x" + jsonNumber(b.height()) + " px";
  }
  return c;
}

double speedInUnits(const Speed& speed, const Calibration& calibration, double bodyLengthPx) {
  // A length along no particular axis: the geometric mean of the two scales.
  const double perPx = std::sqrt(calibration.perPxX * calibration.perPxY);
  switch (speed.unit) {
    case Speed::Unit::pxPerS: return speed.value * perPx;
    case Speed::Unit::cmPerS: return calibration.calibrated ? speed.value : std::nan("");
    case Speed::Unit::bodyLengthsPerS: return bodyLengthPx > 0 ? speed.value * bodyLengthPx * perPx : std::nan("");
  }
  return std::nan("");
}

}  // namespace tressel::behaviour
