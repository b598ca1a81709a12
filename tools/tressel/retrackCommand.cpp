// tressel retrack: the per-frame table again from saved masks, with other
// parameters, without decoding the recording.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "Commands.h"
#include "behaviour/Summary.h"
#include "behaviour/Table.h"
#include "tracker/Retrack.h"

namespace tressel_tool {
namespace {

std::atomic<bool> stopRequested{false};

extern "C" void requestRetrackStop(int) { stopRequested = true; }

int fail(const std::string& message) {
  std::fputs(("tressel: " + message + "\n").c_str(), stderr);
  return 1;
}

// "" or why the file could not be written whole; written as PATH.partial,
// renamed when complete.
std::string writeFile(const std::string& path, const std::string& text) {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    if (!out) return partial + ": " + std::strerror(errno);
    out << text;
    out.close();
    if (!out) {
      std::remove(partial.c_str());
      return partial + ": cannot write the file (disk full?)";
    }
  }
  if (std::rename(partial.c_str(), path.c_str()) != 0) return path + ": " + std::strerror(errno);
  return "";
}

}  // namespace

int runRetrack(const Options& options) {
  std::unique_ptr<tressel::tracker::Retrack> retrack;
  try {
    retrack = std::make_unique<tressel::tracker::Retrack>(options.files.front(), options.given);
  } catch (const std::exception& e) {
    return fail(e.what());
  }

  const bool toFile = !options.out.empty();
  const std::string partial = options.out + ".partial";
  std::ofstream file;
  if (toFile) {
    file.open(partial, std::ios::binary | std::ios::trunc);
    if (!file) return fail(partial + ": " + std::strerror(errno));
  }
  std::ostream& out = toFile ? static_cast<std::ostream&>(file) : std::cout;
  const tressel::behaviour::TableFormat format =
      options.format == Format::json ? tressel::behaviour::TableFormat::jsonLines : tressel::behaviour::TableFormat::csv;
  tressel::behaviour::RowWriter writer(out, format, retrack->columns());
  writer.header(retrack->headerLines());

  std::signal(SIGINT, requestRetrackStop);
  std::signal(SIGTERM, requestRetrackStop);
  std::signal(SIGPIPE, SIG_IGN);
  const tressel::tracker::RetrackResult result = retrack->run(
      [&](const std::vector<tressel::behaviour::BehaviourRow>& rows) {
        for (const tressel::behaviour::BehaviourRow& row : rows) writer.row(row);
        writer.flush();
        if (writer.failed()) stopRequested = true;
      },
      &stopRequested);
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);

  const std::string where = toFile ? partial : "standard output";
  if (toFile) file.close();
  if (writer.failed() || (toFile && !file)) return fail(where + ": cannot write the table");
  if (result.interrupted) {
    return fail("interrupted after " + std::to_string(result.frames) + " frames; every row in " + where +
                " is complete");
  }
  int status = 0;
  if (!result.fileError.empty()) {
    fail(result.fileError + "; the " + std::to_string(result.frames) + " frames before it are in " +
         (toFile ? options.out : where));
    status = 1;
  }
  if (toFile) {
    const tressel::behaviour::Summary& summary = retrack->summary();
    for (const auto& [path, content] :
         {std::pair<std::string, std::string>{options.out + ".json", retrack->settingsJson() + "\n"},
          {options.out + ".summary.json", tressel::behaviour::summaryJson(summary, retrack->settingsJson())},
          {options.out + ".summary.csv", tressel::behaviour::summaryCsv(summary)}}) {
      const std::string error = writeFile(path, content);
      if (!error.empty()) return fail(error);
    }
    if (std::rename(partial.c_str(), options.out.c_str()) != 0) {
      return fail(options.out + ": " + std::strerror(errno) + "; the table is in " + partial);
    }
  }
  return status;
}

}  // namespace tressel_tool
