// The tracker's C interface: argument checks, the exception barrier, and the
// rows of the Session turned into cells. Every message of a failed call is
// kept per thread for tressel_track_error.
#include "tressel/tressel_track.h"

#include <atomic>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "behaviour/Table.h"
#include "tracker/Session.h"
#include "tracker/TableSummary.h"
#include "tracker/TrackArguments.h"

using tressel::behaviour::BehaviourRow;
using tressel::tracker::Session;
using tressel::tracker::TrackOptions;

struct tressel_tracker {
  TrackOptions options;
  std::unique_ptr<Session> session;
  std::vector<tressel_column> columns;
  // A tracker of pushed frames: their size, the samples until the session
  // is made from them at the first push, the frames so far.
  int width = 0, height = 0;
  std::vector<tressel::video::Frame> samples;
  std::int64_t pushed = 0;
  double lastTime = 0;
  bool finished = false;
  bool stopped = false;  // a callback asked to stop: rows may be missing from here on
  bool ran = false;
};

namespace {

using Kind = tressel::behaviour::Cell::Kind;
static_assert(static_cast<int>(Kind::missing) == TRESSEL_CELL_MISSING && static_cast<int>(Kind::integer) == TRESSEL_CELL_INTEGER &&
                  static_cast<int>(Kind::real) == TRESSEL_CELL_REAL && static_cast<int>(Kind::text) == TRESSEL_CELL_TEXT &&
                  static_cast<int>(Kind::flag) == TRESSEL_CELL_FLAG,
              "the cell kinds of the table and of the C interface");

thread_local std::string lastError;

// A failure that the interface reports with its code.
struct Failure {
  int code;
  std::string message;
};

int failWith(int code, std::string message) {
  lastError = std::move(message);
  return code;
}

// Runs `body` and turns any exception into an error code with its message:
// nothing may unwind into a C caller.
template <class Body>
int guarded(Body body) noexcept {
  try {
    return body();
  } catch (const Failure& f) {
    return failWith(f.code, f.message);
  } catch (const tressel::tracker::OptionsError& e) {
    return failWith(TRESSEL_ERROR_OPTION, e.what());
  } catch (const tressel::tracker::SessionError& e) {
    return failWith(TRESSEL_ERROR_INPUT, e.what());
  } catch (const std::bad_alloc&) {
    return failWith(TRESSEL_ERROR_MEMORY, "out of memory");
  } catch (const std::exception& e) {
    return failWith(TRESSEL_ERROR_INTERNAL, std::string("internal error: ") + e.what());
  } catch (...) {
    return failWith(TRESSEL_ERROR_INTERNAL, "internal error");
  }
}

[[noreturn]] void fail(int code, const std::string& message) { throw Failure{code, message}; }

std::vector<std::string> optionList(const char* const* options, int count) {
  if (count < 0 || (count > 0 && options == nullptr)) fail(TRESSEL_ERROR_ARGUMENT, "options: a null list or a negative count");
  std::vector<std::string> list;
  for (int i = 0; i < count; ++i) {
    if (options[i] == nullptr) fail(TRESSEL_ERROR_ARGUMENT, "options: entry " + std::to_string(i) + " is null");
    list.emplace_back(options[i]);
  }
  return list;
}

TrackOptions parseOptions(const char* const* options, int count) {
  TrackOptions parsed;
  const std::string problem = tressel::tracker::parseTrackArguments(optionList(options, count), parsed);
  if (!problem.empty()) fail(TRESSEL_ERROR_OPTION, problem);
  return parsed;
}

void checkTracker(const tressel_tracker* t) {
  if (t == nullptr) fail(TRESSEL_ERROR_ARGUMENT, "the tracker is null");
}

std::string sizeText(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

// A copy of a caller's grey picture of the tracker's size.
std::vector<std::uint8_t> copyFrame(const tressel_tracker* t, const uint8_t* grey, int width, int height,
                                    ptrdiff_t stride, const char* what) {
  if (grey == nullptr) fail(TRESSEL_ERROR_ARGUMENT, std::string(what) + ": the pixels are null");
  if (width != t->width || height != t->height) {
    fail(TRESSEL_ERROR_ARGUMENT, std::string(what) + " is " + sizeText(width, height) + ", the tracker's frames are " +
                                     sizeText(t->width, t->height));
  }
  if (stride < width || stride > PTRDIFF_MAX / height) {
    fail(TRESSEL_ERROR_ARGUMENT, std::string(what) + ": the stride is below the width or too large");
  }
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) std::memcpy(&pixels[static_cast<std::size_t>(y) * width], grey + y * stride, width);
  return pixels;
}

void makeColumns(tressel_tracker* t) {
  t->columns.clear();
  for (const tressel::behaviour::Column& c : t->session->columns()) {
    t->columns.push_back({c.name.c_str(), static_cast<int>(c.kind), c.decimals});
  }
}

// The session of pushed frames, made from the samples when first needed.
Session& pushSession(tressel_tracker* t) {
  if (t->width == 0) fail(TRESSEL_ERROR_ARGUMENT, "frames are pushed only to a tracker made by tressel_tracker_create");
  if (!t->session) {
    if (t->samples.empty()) {
      fail(TRESSEL_ERROR_ARGUMENT, "no sample frames: add them with tressel_tracker_add_sample before the first push");
    }
    t->session = std::make_unique<Session>(t->options, t->width, t->height, t->samples);
    t->samples.clear();
    makeColumns(t);
  }
  return *t->session;
}

// Hands rows to the callback as cells; false once it asked to stop.
class RowCells {
 public:
  RowCells(tressel_tracker* t, tressel_row_callback callback, void* user) : t_(t), callback_(callback), user_(user) {}

  bool deliver(const std::vector<BehaviourRow>& rows) {
    const std::vector<tressel::behaviour::Column>& columns = t_->session->columns();
    for (const BehaviourRow& row : rows) {
      if (t_->stopped) return false;
      cells_.resize(columns.size());
      for (std::size_t i = 0; i < columns.size(); ++i) {
        const tressel::behaviour::Cell c = columns[i].get(row);
        cells_[i] = tressel_cell{static_cast<int>(c.kind), c.integer, c.real, c.text};
      }
      ++count_;
      if (callback_ != nullptr && callback_(cells_.data(), static_cast<int>(cells_.size()), user_) != 0) {
        t_->stopped = true;
      }
    }
    return !t_->stopped;
  }
  int count() const { return count_ > INT_MAX ? INT_MAX : static_cast<int>(count_); }

 private:
  tressel_tracker* t_;
  tressel_row_callback callback_;
  void* user_;
  std::vector<tressel_cell> cells_;
  std::int64_t count_ = 0;
};

int stoppedOr(const tressel_tracker* t, int result) {
  return t->stopped ? failWith(TRESSEL_ERROR_STOPPED, "the row callback asked to stop") : result;
}

int copyText(const std::string& text, char* out, int capacity) {
  if (capacity < 0 || (capacity > 0 && out == nullptr)) fail(TRESSEL_ERROR_ARGUMENT, "a null buffer or a negative capacity");
  if (text.size() > static_cast<std::size_t>(INT_MAX)) fail(TRESSEL_ERROR_MEMORY, "the text is over 2 GiB");
  if (capacity > 0) {
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(capacity) - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
  }
  return static_cast<int>(text.size());
}

const Session& readySession(const tressel_tracker* t) {
  checkTracker(t);
  if (!t->session) fail(TRESSEL_ERROR_ARGUMENT, "the tracker has no frames yet: push the first frame");
  return *t->session;
}

}  // namespace

extern "C" {

int tressel_tracker_open(const char* path, const char* const* options, int option_count, tressel_tracker** out) {
  return guarded([&] {
    if (out == nullptr) fail(TRESSEL_ERROR_ARGUMENT, "the tracker's address is null");
    *out = nullptr;
    if (path == nullptr || *path == '\0') fail(TRESSEL_ERROR_ARGUMENT, "no input given");
    auto t = std::make_unique<tressel_tracker>();
    t->options = parseOptions(options, option_count);
    t->options.inputs = {path};
    t->session = std::make_unique<Session>(t->options);
    makeColumns(t.get());
    *out = t.release();
    return TRESSEL_OK;
  });
}

int tressel_tracker_create(int width, int height, const char* const* options, int option_count,
                           tressel_tracker** out) {
  return guarded([&] {
    if (out == nullptr) fail(TRESSEL_ERROR_ARGUMENT, "the tracker's address is null");
    *out = nullptr;
    if (width <= 0 || height <= 0 || width > (1 << 16) || height > (1 << 16)) {
      fail(TRESSEL_ERROR_ARGUMENT, "the frame size " + sizeText(width, height) + " is not 1 to 65536 on each side");
    }
    auto t = std::make_unique<tressel_tracker>();
    t->options = parseOptions(options, option_count);
    t->width = width;
    t->height = height;
    *out = t.release();
    return TRESSEL_OK;
  });
}

int tressel_tracker_add_sample(tressel_tracker* tracker, const uint8_t* grey, int width, int height,
                               ptrdiff_t stride) {
  return guarded([&] {
    checkTracker(tracker);
    if (tracker->width == 0 || tracker->session) {
      fail(TRESSEL_ERROR_ARGUMENT, "samples are added to a tracker of pushed frames, before the first push");
    }
    std::vector<std::uint8_t> pixels = copyFrame(tracker, grey, width, height, stride, "the sample");
    const auto index = static_cast<std::int64_t>(tracker->samples.size());
    tracker->samples.push_back(tressel::video::frameFromPixels(std::move(pixels), width, height, index, 0));
    return TRESSEL_OK;
  });
}

int tressel_tracker_set_background(tressel_tracker* tracker, const uint8_t* grey, int width, int height,
                                   ptrdiff_t stride) {
  return guarded([&] {
    checkTracker(tracker);
    if (tracker->width == 0 || tracker->session) {
      fail(TRESSEL_ERROR_ARGUMENT, "the background is set on a tracker of pushed frames, before the first push");
    }
    tressel::tracking::Background& b = tracker->options.background;
    b.pixels = copyFrame(tracker, grey, width, height, stride, "the background");
    b.width = width;
    b.height = height;
    return TRESSEL_OK;
  });
}

int tressel_tracker_push(tressel_tracker* tracker, const uint8_t* grey, int width, int height, ptrdiff_t stride,
                         double time_s, tressel_row_callback callback, void* user) {
  return guarded([&] {
    checkTracker(tracker);
    if (tracker->finished) fail(TRESSEL_ERROR_ARGUMENT, "a frame pushed after tressel_tracker_finish");
    if (tracker->stopped) fail(TRESSEL_ERROR_STOPPED, "the row callback asked to stop: the tracker takes no more frames");
    if (grey == nullptr) fail(TRESSEL_ERROR_ARGUMENT, "the frame's pixels are null");
    if (width != tracker->width || height != tracker->height) {
      fail(TRESSEL_ERROR_ARGUMENT, "the frame is " + sizeText(width, height) + ", the tracker's frames are " +
                                       sizeText(tracker->width, tracker->height));
    }
    if (stride < width || stride > PTRDIFF_MAX / height) {
      fail(TRESSEL_ERROR_ARGUMENT, "the frame's stride is below its width or too large");
    }
    if (!std::isfinite(time_s) || (tracker->pushed > 0 && !(time_s > tracker->lastTime))) {
      fail(TRESSEL_ERROR_ARGUMENT, "frame " + std::to_string(tracker->pushed) + ": its time " + std::to_string(time_s) +
                                       " s does not come after the previous frame's");
    }
    Session& session = pushSession(tracker);
    tressel::video::Frame frame;  // the caller's pixels, read during the call only
    frame.index = tracker->pushed;
    frame.time = time_s;
    frame.width = width;
    frame.height = height;
    frame.pixels = grey;
    frame.stride = stride;
    RowCells cells(tracker, callback, user);
    session.push(frame, [&](const std::vector<BehaviourRow>& rows) { cells.deliver(rows); });
    ++tracker->pushed;
    tracker->lastTime = time_s;
    return stoppedOr(tracker, cells.count());
  });
}

int tressel_tracker_finish(tressel_tracker* tracker, tressel_row_callback callback, void* user) {
  return guarded([&] {
    checkTracker(tracker);
    if (tracker->finished) fail(TRESSEL_ERROR_ARGUMENT, "the tracker is finished already");
    Session& session = pushSession(tracker);
    RowCells cells(tracker, callback, user);
    tracker->finished = true;
    session.finish([&](const std::vector<BehaviourRow>& rows) { cells.deliver(rows); });
    return stoppedOr(tracker, cells.count());
  });
}

int tressel_tracker_run(tressel_tracker* tracker, tressel_row_callback callback, void* user) {
  return guarded([&] {
    checkTracker(tracker);
    if (tracker->width != 0) fail(TRESSEL_ERROR_ARGUMENT, "a tracker of pushed frames has no file to run");
    if (tracker->ran) fail(TRESSEL_ERROR_ARGUMENT, "the tracker has run already");
    tracker->ran = true;
    std::atomic<bool> stop{false};
    RowCells cells(tracker, callback, user);
    const tressel::tracker::RunResult result = tracker->session->run([&](const std::vector<BehaviourRow>& rows) {
      if (!cells.deliver(rows)) stop = true;
    }, &stop);
    tracker->finished = true;
    if (tracker->stopped) return stoppedOr(tracker, 0);
    const tressel::tracking::LoopResult& loop = result.loop;
    if (!loop.sourceError.empty()) {
      fail(TRESSEL_ERROR_INPUT, loop.sourceError + "; the rows of the " + std::to_string(loop.frames) +
                                    " frames before it were given");
    }
    if (loop.decodeErrors > 0) {
      lastError = tracker->session->source().name + ": " + std::to_string(loop.decodeErrors) + " of " +
                  std::to_string(loop.frames) + " frames could not be decoded (rows with status decode_error)";
      return loop.decodeErrors > INT_MAX ? INT_MAX : static_cast<int>(loop.decodeErrors);
    }
    return TRESSEL_OK;
  });
}

int tressel_track_file(const char* path, const char* const* options, int option_count, tressel_row_callback callback,
                       void* user) {
  tressel_tracker* tracker = nullptr;
  const int opened = tressel_tracker_open(path, options, option_count, &tracker);
  if (opened < 0) return opened;
  const int result = tressel_tracker_run(tracker, callback, user);
  tressel_tracker_close(tracker);
  return result;
}

int tressel_tracker_columns(const tressel_tracker* tracker, tressel_column* out, int capacity) {
  return guarded([&] {
    readySession(tracker);
    if (capacity < 0 || (capacity > 0 && out == nullptr)) fail(TRESSEL_ERROR_ARGUMENT, "a null buffer or a negative capacity");
    const int size = static_cast<int>(tracker->columns.size());
    for (int i = 0; i < size && i < capacity; ++i) out[i] = tracker->columns[static_cast<std::size_t>(i)];
    return size;
  });
}

int tressel_tracker_settings(const tressel_tracker* tracker, char* out, int capacity) {
  return guarded([&] { return copyText(readySession(tracker).settingsJson(), out, capacity); });
}

int tressel_tracker_summary(const tressel_tracker* tracker, int format, char* out, int capacity) {
  return guarded([&] {
    const Session& session = readySession(tracker);
    if (!tracker->finished) fail(TRESSEL_ERROR_ARGUMENT, "the summary is complete after tressel_tracker_run or _finish");
    if (format == TRESSEL_SUMMARY_JSON) {
      return copyText(tressel::behaviour::summaryJson(session.summary(), session.settingsJson()), out, capacity);
    }
    if (format == TRESSEL_SUMMARY_CSV) return copyText(tressel::behaviour::summaryCsv(session.summary()), out, capacity);
    fail(TRESSEL_ERROR_ARGUMENT, "the summary's format is TRESSEL_SUMMARY_JSON or TRESSEL_SUMMARY_CSV");
  });
}

int tressel_tracker_warnings(const tressel_tracker* tracker, char* out, int capacity) {
  return guarded([&] {
    std::string text;
    for (const std::string& w : readySession(tracker).warnings()) text += w + "\n";
    return copyText(text, out, capacity);
  });
}

void tressel_tracker_close(tressel_tracker* tracker) { delete tracker; }

int tressel_summarize(const char* table, size_t size, const char* const* options, int option_count, int format,
                      char* out, int capacity) {
  return guarded([&] {
    if (table == nullptr && size > 0) fail(TRESSEL_ERROR_ARGUMENT, "the table is null");
    if (capacity < 0 || (capacity > 0 && out == nullptr)) fail(TRESSEL_ERROR_ARGUMENT, "a null buffer or a negative capacity");
    if (format != TRESSEL_SUMMARY_JSON && format != TRESSEL_SUMMARY_CSV) {
      fail(TRESSEL_ERROR_ARGUMENT, "the summary's format is TRESSEL_SUMMARY_JSON or TRESSEL_SUMMARY_CSV");
    }
    const std::string text = tressel::tracker::summarizeTable(
        std::string(table == nullptr ? "" : table, size), optionList(options, option_count),
        format == TRESSEL_SUMMARY_CSV ? tressel::tracker::SummaryFormat::csv : tressel::tracker::SummaryFormat::json);
    return copyText(text, out, capacity);
  });
}

const char* tressel_track_error(void) { return lastError.c_str(); }

}  // extern "C"
