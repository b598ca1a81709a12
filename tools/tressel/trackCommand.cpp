// tressel track: a recording in, a per-frame table out, written as frames
// finish.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "Commands.h"
#include "Progress.h"
#include "trackExtras.h"
#include "behaviour/Summary.h"
#include "behaviour/Table.h"
#include "tracker/Session.h"

namespace tressel_tool {
namespace {

std::atomic<bool> stopRequested{false};

// The first Ctrl-C (or kill) asks the loop to stop after the frames read;
// a second one ends the program at once (a stalled pipe may never give the
// loop its next frame). Every line written so far is complete either way.
extern "C" void requestStop(int signal) {
  stopRequested = true;
  std::signal(signal, SIG_DFL);
}

// Appends whole lines to a file descriptor: each batch goes out in as few
// writes as it takes, and a batch that cannot be written whole (a full disk)
// is cut back off a regular file, so that the file never ends inside a line.
class LineFile {
 public:
  explicit LineFile(int descriptor) : descriptor_(descriptor) {
    const off_t at = lseek(descriptor_, 0, SEEK_CUR);
    seekable_ = at >= 0;
    size_ = seekable_ ? at : 0;
  }
  // "" or why the batch could not be written.
  std::string append(const std::string& lines) {
    std::size_t done = 0;
    while (done < lines.size()) {
      const ssize_t n = write(descriptor_, lines.data() + done, lines.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        const std::string why = n < 0 ? std::strerror(errno) : "nothing written";
        if (seekable_ && ftruncate(descriptor_, size_) == 0) lseek(descriptor_, size_, SEEK_SET);
        return why;
      }
      done += static_cast<std::size_t>(n);
    }
    size_ += static_cast<off_t>(lines.size());
    return "";
  }

 private:
  int descriptor_;
  bool seekable_ = false;
  off_t size_ = 0;
};

// Writes a whole small file under a temporary name, then renames it over the
// target: the target is either the old file or the complete new one.
std::string writeWhole(const std::string& path, const std::string& text) {
  const std::string partial = path + ".partial";
  std::FILE* f = std::fopen(partial.c_str(), "wb");
  if (f == nullptr) return std::strerror(errno);
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    std::remove(partial.c_str());
    return "cannot write the file (disk full?)";
  }
  if (std::rename(partial.c_str(), path.c_str()) != 0) return std::strerror(errno);
  return "";
}

}  // namespace

int runTrack(const Options& options) {
  if (!options.outDir.empty()) return runBatch(options);
  return trackRecording(options, RecordingReport{});
}

int trackRecording(const Options& options, const RecordingReport& report) {
  auto say = [&](const std::string& message) {
    if (report.fault == nullptr) {
      std::fputs(("tressel: " + message + "\n").c_str(), stderr);
    } else {
      *report.fault += (report.fault->empty() ? "" : "; ") + message;
    }
  };
  auto fail = [&](const std::string& message) {
    say(message);
    return 1;
  };

  // A table in a file keeps the background beside it, for the report's
  // pictures and for tracking again with --background.
  tressel::tracker::TrackOptions track = options.track;
  if (!options.out.empty() && track.saveBackground.empty()) track.saveBackground = options.out + ".background.png";
  TrackExtras::prepare(options, track);
  std::unique_ptr<tressel::tracker::Session> session;
  try {
    session = std::make_unique<tressel::tracker::Session>(track);
  } catch (const std::exception& e) {
    return fail(e.what());
  }
  if (options.format == Format::dlc && session->calibrations().size() > 1) {
    return fail("--format dlc holds one animal: with several arenas track with --format csv, then "
                "'tressel export TABLE --format dlc --out FILE'");
  }
  const std::string name = session->source().name;
  for (const std::string& w : session->warnings()) std::fputs(fileMessage(name, "warning: " + w).c_str(), stderr);

  std::unique_ptr<TrackExtras> extras;
  try {
    extras = std::make_unique<TrackExtras>(options, *session, track, stopRequested);
  } catch (const std::exception& e) {
    return fail(e.what());
  }

  // The table goes to FILE.partial until it is complete.
  const bool toFile = !options.out.empty();
  const std::string partial = options.out + ".partial";
  int descriptor = STDOUT_FILENO;
  if (toFile) {
    descriptor = open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) return fail(partial + ": " + std::strerror(errno));
  }
  struct CloseOnExit {
    int descriptor;
    ~CloseOnExit() {
      if (descriptor != STDOUT_FILENO) close(descriptor);
    }
  } closeOnExit{descriptor};
  LineFile table(descriptor);

  std::ostringstream text;
  using tressel::behaviour::TableFormat;
  const TableFormat format = options.format == Format::json  ? TableFormat::jsonLines
                             : options.format == Format::dlc ? TableFormat::dlc
                                                             : TableFormat::csv;
  tressel::behaviour::RowWriter writer(text, format, session->columns());
  writer.header(session->headerLines());
  std::string writeError = table.append(text.str());
  text.str("");

  std::signal(SIGINT, requestStop);
  std::signal(SIGTERM, requestStop);
  std::signal(SIGPIPE, SIG_IGN);  // a closed pipe is a write error, not a silent death

  const tressel::video::SourceInfo& info = session->source();
  const double end = std::min(options.track.end, info.duration > 0 ? info.duration : options.track.end);
  const double frames = info.frameRate > 0 && std::isfinite(end) ? (end - options.track.start) * info.frameRate : 0;
  Progress progress(frames > 1 ? static_cast<std::size_t>(frames + 0.5) : 0,
                    report.interactive && isatty(STDERR_FILENO) != 0, "frames", true);
  std::int64_t firstFrame = -1;
  tressel::tracker::RunResult result;
  try {
    result = session->run(
        [&](const std::vector<tressel::behaviour::BehaviourRow>& rows) {
          if (!writeError.empty()) return;
          for (const tressel::behaviour::BehaviourRow& row : rows) writer.row(row);
          writeError = table.append(text.str());
          text.str("");
          if (!writeError.empty()) stopRequested = true;
          if (firstFrame < 0) firstFrame = rows.front().record.frame;
          progress.update(static_cast<std::size_t>(rows.back().record.frame - firstFrame + 1));
        },
        &stopRequested, extras->recordsHook(), extras->framesHook());
  } catch (const std::exception& e) {
    progress.finish();
    return fail(name + ": " + e.what());
  }
  progress.finish();
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);

  const std::string where = toFile ? partial : "standard output";
  if (!writeError.empty()) {
    return fail(where + ": cannot write the table (" + writeError + "); the rows before are complete");
  }
  if (!extras->error().empty()) return fail(extras->error() + "; the rows before are in " + where);
  int status = 0;
  if (!result.loop.sourceError.empty()) {
    status = fail(result.loop.sourceError + "; the " + std::to_string(result.loop.frames) +
                  " frames before it are in " + where);
  }
  if (result.loop.decodeErrors > 0) {
    status = fail(name + ": " + std::to_string(result.loop.decodeErrors) + " of " +
                  std::to_string(result.loop.frames) + " frames could not be decoded (rows with status decode_error)");
  }
  if (result.loop.interrupted) {
    return fail("interrupted after " + std::to_string(result.loop.frames) + " frames; every row in " + where +
                " is complete");
  }

  try {
    const std::string warning = extras->finish();
    if (!warning.empty()) std::fputs(fileMessage(name, "warning: " + warning).c_str(), stderr);
  } catch (const std::exception& e) {
    return fail(e.what());
  }

  const tressel::behaviour::Summary& summary = session->summary();
  if (report.interactive && isatty(STDERR_FILENO)) std::fputs(tressel::behaviour::summaryTable(summary).c_str(), stderr);
  if (toFile) {
    const std::string settings = session->settingsJson() + "\n";
    for (const auto& [path, content] :
         {std::pair<std::string, std::string>{options.out + ".json", settings},
          {options.out + ".summary.json", tressel::behaviour::summaryJson(summary, session->settingsJson())},
          {options.out + ".summary.csv", tressel::behaviour::summaryCsv(summary)}}) {
      const std::string error = writeWhole(path, content);
      if (!error.empty()) return fail(path + ": " + error);
    }
    if (std::rename(partial.c_str(), options.out.c_str()) != 0) {
      return fail(options.out + ": " + std::strerror(errno) + "; the table is in " + partial);
    }
  }
  return status;
}

}  // namespace tressel_tool
