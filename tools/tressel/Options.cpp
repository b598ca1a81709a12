#include "Options.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "behaviour/Options.h"
#include "capi/parameters.h"
#include "tracker/TrackArguments.h"

namespace tressel_tool {
namespace {

const char kMainUsage[] = "Usage: tressel COMMAND [OPTIONS] FILE...\n";

const char kMainHelp[] =
    "Finds the tail, body centre and nose of an animal seen from above: in every\n"
    "frame of a video, or in mask images (PNG, PBM, PGM, PPM) or points files.\n"
    "\n"
    "Commands:\n"
    "  analyze FILE...        one row of results per file\n"
    "  border FILE            the silhouette's cleaned contour, one \"x y\" per line\n"
    "  draw FILE --out PNG    a picture of the analysis over the mask, or with\n"
    "                         --frame N over frame N of a video as tracked\n"
    "  track VIDEO            follow the animal through a recording: one row per frame\n"
    "  report TABLE           a folder with report.html and its pictures (Python)\n"
    "  export TABLE           the table for pose tools: --format dlc|dlc-h5|sleap-h5|npz\n"
    "                         --out FILE (Python)\n"
    "  retrack MASKS          the table again from masks saved by track --save-masks,\n"
    "                         with other parameters, without decoding the video\n"
    "\n"
    "  tressel COMMAND --help   options of a command\n"
    "  tressel --version        library version\n"
    "\n"
    "Exit status: 0 success, 1 a file could not be read or analysed (the other\n"
    "files are still processed), 2 bad usage.\n";

const char kInputHelp[] =
    "Input:\n"
    "  --threshold T          a pixel belongs to the silhouette when its value\n"
    "                         exceeds T (0-255, default 0: any non-zero pixel),\n"
    "                         whatever the file's bit depth; colour pixels count\n"
    "                         by their brightest channel, transparent ones as\n"
    "                         black; in PBM files the 1 bits are the silhouette\n"
    "  --all-components       keep every region of the mask; by default only\n"
    "                         the largest 8-connected one (noise is dropped)\n"
    "  --points               the files are points files: one \"x y\" per line,\n"
    "                         the scan-line span points (entry and exit pixel\n"
    "                         of every run), as a video-tracking host passes them\n";

std::string parametersHelp() {
  const tressel_params defaults = tressel_default_params();
  std::string text = "Analysis parameters (default in brackets):\n";
  for (const tressel::ParameterField& p : tressel::parameterFields) {
    text += "  " + tressel::optionName(p) + " N [" + std::to_string(defaults.*p.field) + "]\n";
    const std::string help = p.help;
    for (std::size_t start = 0; start < help.size();) {
      const std::size_t end = std::min(help.find('\n', start), help.size());
      text += "      " + help.substr(start, end - start) + "\n";
      start = end + 1;
    }
  }
  return text;
}

std::string commandHelp(Command command) {
  switch (command) {
    case Command::analyze:
      return "Usage: tressel analyze [OPTIONS] FILE...\n"
             "\n"
             "One row per file: file, has_tail, tail base, tail start, tail end,\n"
             "body centre, nose; points in pixels, x to the right, y downward.\n"
             "Without a tail the tail columns are empty (null in JSON). An empty\n"
             "mask gives a row without points and a warning.\n"
             "\n" +
             std::string(kInputHelp) +
             "Output:\n"
             "  --format FORMAT        csv, json (one object per line) or table;\n"
             "                         default: table when stdout is a terminal,\n"
             "                         csv otherwise\n"
             "  --jobs N               analyse N files at a time (default 1); rows\n"
             "                         stay in the order of the files\n"
             "\n" +
             parametersHelp();
    case Command::border:
      return "Usage: tressel border [OPTIONS] FILE\n"
             "\n"
             "Prints the silhouette's cleaned, closed contour, clockwise, one \"x y\"\n"
             "per line.\n"
             "\n" +
             std::string(kInputHelp);
    case Command::track:
      return trackHelp() + "\n" + parametersHelp();
    case Command::retrack:
      return "Usage: tressel retrack [OPTIONS] MASKS\n"
             "\n"
             "Makes the per-frame table again from the masks that `tressel track\n"
             "--save-masks MASKS` saved: the analysis, the orientation and the behaviour\n"
             "measures run again, with the parameters and measures' options given here\n"
             "in place of the track's (the others stay as the track had them), without\n"
             "decoding or segmenting the recording. The arenas are the track's.\n"
             "\n"
             "  --out FILE             the table (default: standard output), with its\n"
             "                         settings and summaries beside it, as for track\n"
             "  --format csv|json      CSV with a \"# \" header (default) or JSON lines\n"
             "\n"
             "Exit status: 0 every frame measured, 1 the file is cut short or damaged\n"
             "(the rows before are kept), 2 bad usage.\n"
             "\n" +
             tressel::behaviour::behaviourOptionsHelp() + "\n" + parametersHelp();
    case Command::draw:
      return "Usage: tressel draw [OPTIONS] FILE --out PNG\n"
             "\n"
             "Draws the analysis over the dimmed mask: the traced border, the body\n"
             "contour left after the tail and limbs are cut off, the segment across\n"
             "the tail's base, and markers for the tail base, body centre and nose,\n"
             "with a legend.\n"
             "\n"
             "  --out PNG              the picture to write (required)\n"
             "  --scale N              enlarge every mask pixel N times, 1-16 (default 1)\n"
             "  --frame N              FILE is a video: draw its frame N (from 0) as\n"
             "                         `tressel track` tracks it, with the recording's\n"
             "                         background and thresholds (the frames before it\n"
             "                         are tracked too, for the orientation); takes\n"
             "                         track's input, background, animal and measures'\n"
             "                         options, and --threshold N as track's\n"
             "\n" +
             std::string(kInputHelp) + "\n" + parametersHelp();
  }
  return "";
}

const char* commandName(Command command) {
  switch (command) {
    case Command::analyze: return "analyze";
    case Command::border: return "border";
    case Command::draw: return "draw";
    case Command::retrack: return "retrack";
    case Command::track: return "track";
  }
  return "";
}

std::string usageLine(Command command) {
  switch (command) {
    case Command::analyze: return "Usage: tressel analyze [OPTIONS] FILE...\n";
    case Command::border: return "Usage: tressel border [OPTIONS] FILE\n";
    case Command::draw: return "Usage: tressel draw [OPTIONS] FILE --out PNG\n";
    case Command::retrack: return "Usage: tressel retrack [OPTIONS] MASKS\n";
    case Command::track: return "Usage: tressel track [OPTIONS] VIDEO|FOLDER|IMAGES...|-\n";
  }
  return kMainUsage;
}

ParsedCommandLine usageError(const std::string& message, const char* usage, const std::string& hint) {
  ParsedCommandLine r;
  r.action = ParsedCommandLine::usageError;
  r.text = "tressel: " + message + "\n" + usage + "Try '" + hint + "' for more.\n";
  return r;
}

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  ParsedCommandLine result;
  if (arguments.empty()) return usageError("no command given", kMainUsage, "tressel --help");
  const std::string& first = arguments[0];
  if (first == "--help" || first == "-h" || first == "help") {
    result.action = ParsedCommandLine::help;
    result.text = std::string(kMainUsage) + "\n" + kMainHelp;
    return result;
  }
  if (first == "--version") {
    result.action = ParsedCommandLine::version;
    result.text = std::string("tressel ") + tressel_version() + "\n";
    return result;
  }

  Options& o = result.options;
  if (first == "analyze") {
    o.command = Command::analyze;
  } else if (first == "border") {
    o.command = Command::border;
  } else if (first == "draw") {
    o.command = Command::draw;
  } else if (first == "track") {
    o.command = Command::track;
  } else if (first == "retrack") {
    o.command = Command::retrack;
  } else {
    return usageError("unknown command '" + first + "'", kMainUsage, "tressel --help");
  }
  const std::string usage = usageLine(o.command);
  const std::string hint = std::string("tressel ") + commandName(o.command) + " --help";
  auto fail = [&](const std::string& message) { return usageError(message, usage.c_str(), hint); };

  bool optionsEnded = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      o.files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      result.action = ParsedCommandLine::help;
      result.text = commandHelp(o.command);
      return result;
    }
    // --name=value or --name value
    std::string name = arg, value;
    bool hasValue = false;
    if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      hasValue = true;
    }
    auto flag = [&](bool& target) {
      if (hasValue) return false;
      target = true;
      return true;
    };
    auto takeValue = [&]() {
      if (hasValue) return true;
      if (i + 1 >= arguments.size()) return false;
      value = arguments[++i];
      return true;
    };
    auto number = [&](int min, int max, int& target) -> std::string {
      if (!takeValue()) return "option " + name + " needs a value";
      if (!tressel::tracker::readInt(value, min, max, target)) {
        return "option " + name + ": '" + value + "' is not a whole number from " + std::to_string(min) + " to " +
               std::to_string(max);
      }
      return "";
    };

    const bool analyses = o.command != Command::border;
    std::string problem;
    // draw --frame tracks a video: it takes track's options but its own
    // --out, --threshold and --scale; retrack only the table's.
    const bool drawsOwn = name == "--out" || name == "--threshold" || name == "--format" || name == "--overlay" ||
                          name == "--overlay-every" || name == "--save-masks" || name == "--scale";
    const bool tracks = o.command == Command::track || (o.command == Command::draw && !drawsOwn) ||
                        (o.command == Command::retrack && (name == "--out" || name == "--format"));
    if (o.command == Command::retrack && tressel::behaviour::findBehaviourOption(name) != nullptr) {
      if (!takeValue()) return fail("option " + name + " needs a value");
      tressel::behaviour::BehaviourOptions scratch;
      const std::string problem = tressel::behaviour::findBehaviourOption(name)->apply(value, scratch);
      if (!problem.empty()) return fail(problem);
      o.given.emplace_back(name, value);
      continue;
    }
    const std::optional<std::string> trackProblem = tracks ? parseTrackOption(name, takeValue, value, o) : std::nullopt;
    const bool parameterOption = std::any_of(std::begin(tressel::parameterFields), std::end(tressel::parameterFields),
                                             [&](const tressel::ParameterField& p) { return name == tressel::optionName(p); });
    if (trackProblem) {
      problem = *trackProblem;
    } else if (o.command == Command::track || (o.command == Command::retrack && !parameterOption)) {
      return fail("unknown option '" + name + "'");
    } else if (name == "--all-components") {
      if (!flag(o.allComponents)) problem = "option --all-components takes no value";
    } else if (name == "--points") {
      if (!flag(o.points)) problem = "option --points takes no value";
    } else if (name == "--threshold") {
      problem = number(0, 255, o.threshold);
    } else if (name == "--format" && o.command == Command::analyze) {
      if (!takeValue()) {
        problem = "option --format needs a value";
      } else if (value == "csv") {
        o.format = Format::csv;
      } else if (value == "json") {
        o.format = Format::json;
      } else if (value == "table") {
        o.format = Format::table;
      } else {
        problem = "option --format: '" + value + "' is not csv, json or table";
      }
    } else if (name == "--jobs" && o.command == Command::analyze) {
      problem = number(1, 256, o.jobs);
    } else if (name == "--out" && o.command == Command::draw) {
      if (!takeValue() || value.empty()) problem = "option --out needs a file name";
      o.out = value;
    } else if (name == "--scale" && o.command == Command::draw) {
      problem = number(1, 16, o.scale);
    } else if (name == "--frame" && o.command == Command::draw) {
      int frame = 0;
      problem = number(0, 2147483647, frame);
      o.frame = frame;
    } else {
      const tressel::ParameterField* parameter = nullptr;
      for (const tressel::ParameterField& p : tressel::parameterFields) {
        if (analyses && name == tressel::optionName(p)) parameter = &p;
      }
      if (parameter == nullptr) return fail("unknown option '" + name + "'");
      problem = number(-tressel::tracker::parameterOptionLimit, tressel::tracker::parameterOptionLimit,
                       o.params.*parameter->field);
      if (o.command == Command::retrack) o.given.emplace_back(name, value);
    }
    if (!problem.empty()) return fail(problem);
  }

  if (o.files.empty()) return fail("no input file given");
  if (o.command == Command::track || (o.command == Command::draw && o.frame >= 0)) {
    o.track.inputs = o.files;
    // The parameters of track and draw are parsed with the tracker's options.
    o.params = tressel::cParameters(o.track.parameters);
  } else if (o.command == Command::draw) {
    o.params = tressel::cParameters(o.track.parameters);
  } else if (o.command == Command::retrack) {
    o.track.parameters = tressel::analysisParameters(o.params);
  }
  if (o.command == Command::track) {
    if (const std::string problem = checkBatch(o); !problem.empty()) return fail(problem);
  }
  if (o.command == Command::draw && o.frame >= 0 && o.threshold > 0) o.track.threshold = o.threshold;
  if (o.command == Command::track && o.overlayEvery > 0 && o.overlay.empty()) {
    return fail("option --overlay-every needs --overlay FOLDER");
  }
  if (o.command != Command::analyze && o.command != Command::track && o.files.size() > 1) {
    return fail("only one input file may be given");
  }
  if (o.command == Command::draw && o.out.empty()) return fail("option --out PNG is required");
  return result;
}

}  // namespace tressel_tool
