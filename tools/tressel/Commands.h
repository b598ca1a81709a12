// The three commands of `tressel`. Each returns the exit status: 0, or 1
// when a file could not be read, analysed or written.
#pragma once

#include <string>

#include "Options.h"
#include "Silhouette.h"

namespace tressel_tool {

int runAnalyze(const Options& options);
int runBorder(const Options& options);
int runDraw(const Options& options);

inline InputOptions inputOptions(const Options& o) { return InputOptions{o.points, o.allComponents, o.threshold}; }

// "tressel: FILE: message\n", the form of every message about a file.
inline std::string fileMessage(const std::string& file, const std::string& message) {
  return "tressel: " + file + ": " + message + "\n";
}

}  // namespace tressel_tool
