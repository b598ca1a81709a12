// The command line of `tressel`: the command, its files and its options.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tracker/Session.h"
#include "tressel/tressel_c.h"

namespace tressel_tool {

enum class Command { analyze, border, draw, retrack, track };
enum class Format { automatic, csv, json, table, dlc };

struct Options {
  Command command = Command::analyze;
  std::vector<std::string> files;
  Format format = Format::automatic;
  tressel_params params = tressel_default_params();
  bool allComponents = false;
  int threshold = 0;
  bool points = false;  // the files are points files, not masks
  int jobs = 1;
  std::string out;
  std::string outDir;         // track: many recordings, each into DIR/NAME.csv
  int shard = 0, shards = 0;  // track --shard I/N (1-based); 0/0: every recording
  int scale = 1;
  tressel::tracker::TrackOptions track;  // the track command's input, background, animal and measures
  std::string overlay;      // track --overlay: a video, or with --overlay-every N a folder of pictures
  int overlayEvery = 0;
  std::string saveMasks;    // track --save-masks
  long long frame = -1;     // draw --frame: the frame of a video to draw
  std::vector<std::pair<std::string, std::string>> given;  // retrack: the parameters and measures' options given
};

// What the command line asks for. `text` is the help or version text to
// print on stdout, or for a usage error the message and usage for stderr.
struct ParsedCommandLine {
  enum Action { run, help, version, usageError } action = run;
  Options options;
  std::string text;
};

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The track command's own options (trackOptions.cpp): nothing when `name` is
// not one of them, else "" or the problem with its value. `takeValue`
// fetches the option's value into `value`.
std::optional<std::string> parseTrackOption(const std::string& name, const std::function<bool()>& takeValue, const std::string& value,
                             Options& options);
std::string trackHelp();

// The options of many recordings (batchCommand.cpp), as parseTrackOption;
// checkBatch tells, once every argument is read, whether the inputs make one
// recording or many and what is wrong with them ("" when nothing).
std::optional<std::string> parseBatchOption(const std::string& name, const std::function<bool()>& takeValue,
                                            const std::string& value, Options& options);
std::string checkBatch(const Options& options);
std::string batchHelp();

}  // namespace tressel_tool
