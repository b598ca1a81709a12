#include <unistd.h>

#include <algorithm>

#include "Commands.h"
#include "OrderedPool.h"
#include "Progress.h"
#include "Rows.h"
#include "capi/analyzeOutline.h"

namespace tressel_tool {
namespace {

struct Outcome {
  Row row;
  std::string error;    // the file failed: no row
  std::string warning;
};

Outcome analyzeFile(const std::string& file, const InputOptions& input, const tressel_params& params) {
  Outcome outcome;
  outcome.row.file = file;
  try {
    Silhouette silhouette = loadSilhouette(file, input);
    silhouette.mask = tressel_image::Mask();  // only the spans are needed from here on
    if (!silhouette.ok()) {
      outcome.error = silhouette.error;
    } else if (silhouette.empty()) {
      outcome.row.empty = true;
      outcome.warning = input.points ? "warning: no points" : "warning: empty mask, no pixel above threshold " +
                                                                   std::to_string(input.threshold);
    } else {
      try {
        outcome.row.result = tressel::analyzeOutline(silhouette.x.data(), silhouette.y.data(),
                                                     static_cast<int>(silhouette.x.size()), params);
      } catch (const std::exception& e) {
        outcome.error = analysisError(e);
      }
    }
  } catch (const std::exception& e) {  // out of memory while reading
    outcome.error = e.what();
  }
  return outcome;
}

}  // namespace

int runAnalyze(const Options& options) {
  Format format = options.format;
  if (format == Format::automatic) format = isatty(STDOUT_FILENO) ? Format::table : Format::csv;
  std::size_t fileWidth = 0;
  for (const std::string& f : options.files) fileWidth = std::max(fileWidth, f.size());
  const RowFormatter formatter(format, fileWidth);
  const InputOptions input = inputOptions(options);

  Progress progress(options.files.size(), isatty(STDERR_FILENO) != 0);
  progress.print(stdout, formatter.header());
  int status = 0;
  OrderedPool<Outcome>::run(
      options.files.size(), options.jobs,
      [&](std::size_t i) { return analyzeFile(options.files[i], input, options.params); },
      [&](std::size_t, Outcome& outcome) {
        if (!outcome.error.empty()) {
          progress.print(stderr, fileMessage(outcome.row.file, outcome.error));
          status = 1;
          return;
        }
        if (!outcome.warning.empty()) progress.print(stderr, fileMessage(outcome.row.file, outcome.warning));
        progress.print(stdout, formatter.row(outcome.row));
      },
      [&](std::size_t done) { progress.update(done); });
  progress.finish();
  return status;
}

}  // namespace tressel_tool
