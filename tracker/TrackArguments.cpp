#include "tracker/TrackArguments.h"

#include <cmath>
#include <cstdlib>

#include "behaviour/Options.h"
#include "capi/parameters.h"

namespace tressel::tracker {
namespace {

bool readDouble(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(v)) return false;
  value = v;
  return true;
}

// "x,y,w,h"
bool readRect(const std::string& text, tracking::Rect& r) {
  int v[4];
  std::size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    const std::size_t comma = i < 3 ? text.find(',', start) : text.size();
    if (comma == std::string::npos) return false;
    if (!readInt(text.substr(start, comma - start), 0, 1 << 24, v[i])) return false;
    start = comma + 1;
  }
  r = tracking::Rect{v[0], v[1], v[2], v[3]};
  return r.width > 0 && r.height > 0;
}

std::string bad(const std::string& name, const std::string& value, const std::string& expected) {
  return "option " + name + ": '" + value + "' is not " + expected;
}

const ParameterField* parameterOption(const std::string& name) {
  for (const ParameterField& p : parameterFields) {
    if (name == optionName(p)) return &p;
  }
  return nullptr;
}

}  // namespace

std::optional<std::string> parseTrackOption(const std::string& name, const std::function<bool()>& takeValue,
                                            const std::string& value, TrackOptions& t) {
  const bool known = name == "--fps" || name == "--size" || name == "--start" || name == "--end" ||
                     name == "--background" || name == "--save-background" || name == "--background-samples" ||
                     name == "--animal" || name == "--threshold" || name == "--roi" || name == "--arena-mask" ||
                     name == "--arena" || name == "--open" || name == "--jobs";
  const behaviour::BehaviourOption* measure = behaviour::findBehaviourOption(name);
  const ParameterField* parameter = parameterOption(name);
  if (!known && measure == nullptr && parameter == nullptr) return std::nullopt;
  if (!takeValue()) return "option " + name + " needs a value";
  if (measure != nullptr) return measure->apply(value, t.behaviour);

  double seconds = 0;
  if (parameter != nullptr) {
    int v = 0;
    if (!readInt(value, -parameterOptionLimit, parameterOptionLimit, v)) {
      return bad(name, value,
                 "a whole number from " + std::to_string(-parameterOptionLimit) + " to " +
                     std::to_string(parameterOptionLimit));
    }
    t.parameters.*parameter->analysisField = v;
  } else if (name == "--fps") {
    if (!readDouble(value, t.input.fps) || !(t.input.fps > 0) || t.input.fps > 10000) {
      return bad(name, value, "a frame rate above 0 and up to 10000");
    }
  } else if (name == "--size") {
    const std::size_t x = value.find('x');
    if (x == std::string::npos || !readInt(value.substr(0, x), 1, 1 << 16, t.input.width) ||
        !readInt(value.substr(x + 1), 1, 1 << 16, t.input.height)) {
      return bad(name, value, "WxH, such as 640x480");
    }
  } else if (name == "--start" || name == "--end") {
    if (!readDouble(value, seconds) || seconds < 0) return bad(name, value, "a time in seconds, 0 or more");
    (name == "--start" ? t.start : t.end) = seconds;
  } else if (name == "--background") {
    t.backgroundImage = value;
  } else if (name == "--save-background") {
    t.saveBackground = value;
  } else if (name == "--background-samples") {
    if (!readInt(value, 3, 1001, t.backgroundSamples)) return bad(name, value, "a whole number from 3 to 1001");
  } else if (name == "--animal") {
    if (value == "dark") {
      t.polarity = tracking::Polarity::dark;
    } else if (value == "light") {
      t.polarity = tracking::Polarity::light;
    } else if (value == "auto") {
      t.polarity.reset();
    } else {
      return bad(name, value, "dark, light or auto");
    }
  } else if (name == "--threshold") {
    int threshold = 0;
    if (value == "auto") {
      t.threshold.reset();
    } else if (readInt(value, 1, 254, threshold)) {
      t.threshold = threshold;
    } else {
      return bad(name, value, "auto or a whole number from 1 to 254");
    }
  } else if (name == "--roi") {
    tracking::Rect r;
    if (!readRect(value, r)) return bad(name, value, "x,y,w,h with w and h above 0");
    t.roi = r;
  } else if (name == "--arena") {
    if (value != "auto" && value != "frame") return bad(name, value, "auto or frame");
    t.detectArena = value == "auto";
  } else if (name == "--arena-mask") {
    t.arenaMaskImage = value;
  } else if (name == "--open") {
    if (!readInt(value, 0, 50, t.open)) return bad(name, value, "a whole number from 0 to 50");
  } else if (name == "--jobs") {
    if (!readInt(value, 1, 256, t.jobs)) return bad(name, value, "a whole number from 1 to 256");
    t.input.video.threads = t.jobs;
  }
  return std::string();
}

namespace {

std::string parseArguments(const std::vector<std::string>& arguments, TrackOptions& options, bool measuresOnly) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument.size() < 3 || argument.compare(0, 2, "--") != 0) {
      return "'" + argument + "' is not an option (--name value or --name=value)";
    }
    std::string name = argument, value;
    bool hasValue = false;
    if (const std::size_t eq = argument.find('='); eq != std::string::npos) {
      name = argument.substr(0, eq);
      value = argument.substr(eq + 1);
      hasValue = true;
    }
    auto takeValue = [&] {
      if (hasValue) return true;
      if (i + 1 >= arguments.size()) return false;
      value = arguments[++i];
      return true;
    };
    if (measuresOnly && behaviour::findBehaviourOption(name) == nullptr) {
      return "option " + name + " does not change the measures of a table that is tracked already";
    }
    const std::optional<std::string> problem = parseTrackOption(name, takeValue, value, options);
    if (!problem) return "unknown option '" + name + "'";
    if (!problem->empty()) return *problem;
  }
  return "";
}

}  // namespace

std::string parseTrackArguments(const std::vector<std::string>& arguments, TrackOptions& options) {
  return parseArguments(arguments, options, false);
}

std::string parseBehaviourArguments(const std::vector<std::string>& arguments, behaviour::BehaviourOptions& options) {
  TrackOptions track;
  track.behaviour = options;
  const std::string problem = parseArguments(arguments, track, true);
  if (problem.empty()) options = track.behaviour;
  return problem;
}

}  // namespace tressel::tracker
