// The track options as command-line arguments: one parser for `tressel
// track`, the tracker's C interface and so Python, so that every option is
// spelled, checked and defaulted in one place.
//
//   TrackOptions options;
//   std::string problem = parseTrackArguments({"--threshold", "30", "--bin=60s"}, options);
//   if (!problem.empty()) fail(problem);   // "option --threshold: '300' is not auto or ..."
//
// Each option takes a value, given as "--name value" or "--name=value". The
// options are the input's (--fps, --size, --start, --end, --jobs), the
// background's, the animal's, the nine analysis parameters
// (--tail-width-percent ...) and the behaviour measures'
// (behaviour/Options.h). What the tool alone does with its output (--out,
// --format) is not among them.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tracker/Session.h"

namespace tressel::tracker {

// Nothing when `name` is not a track option, else "" or the problem with its
// value. `takeValue` fetches the option's value into `value` (false: there
// is none).
std::optional<std::string> parseTrackOption(const std::string& name, const std::function<bool()>& takeValue,
                                            const std::string& value, TrackOptions& options);

// A whole list of options, no inputs among them: "" or the first problem.
std::string parseTrackArguments(const std::vector<std::string>& arguments, TrackOptions& options);

// The same for the behaviour options alone (a table measured again), over
// the options given.
std::string parseBehaviourArguments(const std::vector<std::string>& arguments, behaviour::BehaviourOptions& options);

// The range of an analysis parameter's value on a command line.
constexpr int parameterOptionLimit = 1000000;

// A whole number from min to max, the whole text; `value` is left alone otherwise.
using behaviour::readInt;

}  // namespace tressel::tracker
