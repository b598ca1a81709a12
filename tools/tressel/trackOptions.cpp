// The options of `tressel track`: input, background, animal, output; the
// behaviour measures' options come from their own table.
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "Options.h"
#include "behaviour/Options.h"

namespace tressel_tool {
namespace {

bool readDouble(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(v)) return false;
  value = v;
  return true;
}

bool readInt(const std::string& text, int min, int max, int& value) {
  int v = 0;
  const char* end = text.data() + text.size();
  const auto [next, status] = std::from_chars(text.data(), end, v);
  if (status != std::errc() || next != end || v < min || v > max) return false;
  value = v;
  return true;
}

// "x,y,w,h"
bool readRect(const std::string& text, tressel::tracking::Rect& r) {
  int v[4];
  std::size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    const std::size_t comma = i < 3 ? text.find(',', start) : text.size();
    if (comma == std::string::npos) return false;
    if (!readInt(text.substr(start, comma - start), 0, 1 << 24, v[i])) return false;
    start = comma + 1;
  }
  r = tressel::tracking::Rect{v[0], v[1], v[2], v[3]};
  return r.width > 0 && r.height > 0;
}

std::string bad(const std::string& name, const std::string& value, const std::string& expected) {
  return "option " + name + ": '" + value + "' is not " + expected;
}

}  // namespace

std::optional<std::string> parseTrackOption(const std::string& name, const std::function<bool()>& takeValue,
                                            const std::string& value, Options& o) {
  tressel::tracker::TrackOptions& t = o.track;
  const bool known = name == "--fps" || name == "--size" || name == "--start" || name == "--end" ||
                     name == "--background" || name == "--save-background" || name == "--background-samples" ||
                     name == "--animal" || name == "--threshold" || name == "--roi" || name == "--arena-mask" || name == "--arena" ||
                     name == "--open" || name == "--out" || name == "--format" || name == "--jobs" ||
                     name == "--overlay" || name == "--overlay-every" || name == "--save-masks";
  const tressel::behaviour::BehaviourOption* measure = tressel::behaviour::findBehaviourOption(name);
  if (!known && measure == nullptr) return std::nullopt;
  if (!takeValue()) return "option " + name + " needs a value";
  if (measure != nullptr) return measure->apply(value, t.behaviour);

  double seconds = 0;
  if (name == "--fps") {
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
      t.polarity = tressel::tracking::Polarity::dark;
    } else if (value == "light") {
      t.polarity = tressel::tracking::Polarity::light;
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
    tressel::tracking::Rect r;
    if (!readRect(value, r)) return bad(name, value, "x,y,w,h with w and h above 0");
    t.roi = r;
  } else if (name == "--arena") {
    if (value != "auto" && value != "frame") return bad(name, value, "auto or frame");
    t.detectArena = value == "auto";
  } else if (name == "--arena-mask") {
    t.arenaMaskImage = value;
  } else if (name == "--open") {
    if (!readInt(value, 0, 50, t.open)) return bad(name, value, "a whole number from 0 to 50");
  } else if (name == "--out") {
    if (value.empty()) return std::string("option --out needs a file name");
    o.out = value;
  } else if (name == "--format") {
    if (value == "csv") {
      o.format = Format::csv;
    } else if (value == "json") {
      o.format = Format::json;
    } else {
      return bad(name, value, "csv or json");
    }
  } else if (name == "--overlay" || name == "--save-masks") {
    if (value.empty()) return "option " + name + " needs a file name";
    (name == "--overlay" ? o.overlay : o.saveMasks) = value;
  } else if (name == "--overlay-every") {
    if (!readInt(value, 1, 1000000, o.overlayEvery)) return bad(name, value, "a whole number from 1 to 1000000");
  } else if (name == "--jobs") {
    if (!readInt(value, 1, 256, t.jobs)) return bad(name, value, "a whole number from 1 to 256");
    t.input.video.threads = t.jobs;
  }
  return std::string();
}

std::string trackHelp() {
  return "Usage: tressel track [OPTIONS] VIDEO|FOLDER|IMAGES...|-\n"
         "\n"
         "Follows one animal (or one per arena) through a recording and writes one\n"
         "row per frame: its status, the area of its mask, the body centre (tail\n"
         "and limbs cut away), nose, tail base and tail ends, and the behaviour\n"
         "measures. Frame times are the frames' own timestamps.\n"
         "\n"
         "Input (any video FFmpeg reads; a folder or list of PNG/netpbm frames; or\n"
         "raw 8-bit grey frames on standard input, given as -):\n"
         "  --fps F                frames per second of images and raw frames\n"
         "  --size WxH             the size of raw frames\n"
         "  --start S, --end S     track from S to E seconds only\n"
         "  --jobs N               decoding and analysing threads (default 1)\n"
         "\n"
         "Background (the empty arena):\n"
         "  --background IMAGE     a picture of it; default: the per-pixel median of\n"
         "                         frames spread over the tracked time\n"
         "  --background-samples N the number of frames of that median (default 51)\n"
         "  --save-background PNG  keep the background used\n"
         "\n"
         "Animal:\n"
         "  --animal dark|light|auto  darker or lighter than the floor (default auto)\n"
         "  --threshold N|auto     grey levels from the background that count as the\n"
         "                         animal (default auto: learnt from the samples)\n"
         "  --arena auto|frame     auto (default): the floor found in the background,\n"
         "                         set off from darker or lighter walls, is where the\n"
         "                         animal can be and the arena of the measures;\n"
         "                         frame: the whole frame\n"
         "  --roi x,y,w,h          where the animal can be, in pixels\n"
         "  --arena-mask PNG       the same as a picture: non-zero where it can be\n"
         "  --open K               remove thin attachments (a cable or a tether) up to\n"
         "                         2K pixels wide; this removes the tail too\n"
         "\n"
         "Output:\n"
         "  --out FILE             the table (default: standard output); the settings\n"
         "                         go beside it in FILE.json, the summary in\n"
         "                         FILE.summary.json and FILE.summary.csv, the\n"
         "                         background in FILE.background.png; the table is\n"
         "                         written as FILE.partial and renamed when complete\n"
         "  --format csv|json      CSV with a \"# \" header (default) or JSON lines\n"
         "  --overlay OUT.mp4      the recording with the analysis drawn on every frame\n"
         "                         (border, body contour, tail base segment, tail base,\n"
         "                         centre, nose, heading, arena and zones, frame and\n"
         "                         time, a red mark on flagged frames), encoded as\n"
         "                         H.264 where FFmpeg has it, else MPEG-4\n"
         "  --overlay-every N      instead: a PNG picture of every Nth frame in the\n"
         "                         folder OUT (frame-000000.png, ...)\n"
         "  --save-masks FILE      each frame's mask, for `tressel retrack` to measure\n"
         "                         again with other settings without the video"
         "\n" +
         tressel::behaviour::behaviourOptionsHelp() +
         "\n"
         "Exit status: 0 every frame tracked, 1 a frame could not be decoded, the\n"
         "input ended early or the run was interrupted (the rows so far are kept),\n"
         "2 bad usage.\n";
}

}  // namespace tressel_tool
