// The commands of `tressel`. Each returns the exit status: 0, or 1
// when a file could not be read, analysed or written.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "Options.h"
#include "Silhouette.h"

namespace tressel_tool {

int runAnalyze(const Options& options);
int runBorder(const Options& options);
int runDraw(const Options& options);
int runDrawFrame(const Options& options);  // draw --frame N of a video
int runRetrack(const Options& options);
int runTrack(const Options& options);
// report and export: runs `python3 -m tressel ARGUMENTS...` in place of the
// tool; returns only when Python cannot be started.
int runPython(const std::vector<std::string>& arguments);

// One recording tracked into options.out (or standard output). Alone it shows
// its progress and summary on a terminal and says what went wrong on stderr;
// in a batch it is quiet and leaves its faults, joined, in *fault.
struct RecordingReport {
  bool interactive = true;
  std::string* fault = nullptr;
};
int trackRecording(const Options& options, const RecordingReport& report);

// Several recordings into options.outDir (batchCommand.cpp).
int runBatch(const Options& options);

inline InputOptions inputOptions(const Options& o) { return InputOptions{o.points, o.allComponents, o.threshold}; }

// "tressel: FILE: message\n", the form of every message about a file.
inline std::string fileMessage(const std::string& file, const std::string& message) {
  return "tressel: " + file + ": " + message + "\n";
}

// The message for an analysis that threw: it refuses scratch rasters beyond
// 2^28 cells, and some of them reach from the origin to the silhouette.
inline std::string analysisError(const std::exception& e) {
  return std::string("cannot analyse: ") + e.what() +
         " (a raster over 2^28 pixels would be needed: the silhouette is too large or lies too far from the origin)";
}

}  // namespace tressel_tool
