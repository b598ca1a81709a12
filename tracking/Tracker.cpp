#include "tracking/Tracker.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "support/exception.h"

namespace tressel::tracking {
namespace {

void clearPoints(FrameRecord& r) {
  r.areaPx = 0;
  r.tailFound = false;
  r.center = r.nose = r.tailBase = r.tailStart = r.tailEnd = Pixel{};
  r.centerSubX = r.centerSubY = 0;
  r.bodyAreaPx = 0;
  r.bodyEndA = r.bodyEndB = Pixel{};
  r.bodyChangePx = -1;
  r.bodyRuns.clear();
  r.maskRuns.clear();
  r.outlines.reset();
}

std::string sizeText(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

}  // namespace

FrameTracker::FrameTracker(const TrackerSetup& setup) : setup_(setup), analyzer_(setup.parameters) {
  segmenters_.reserve(setup.arenas.size());
  for (const ArenaSetup& arena : setup.arenas) segmenters_.emplace_back(arena.segmentation, setup.background);
}

void FrameTracker::track(const video::Frame& frame, std::vector<FrameRecord>& records) {
  records.resize(setup_.arenas.size());
  std::string failure = frame.error;
  if (failure.empty() && !frame.ok()) failure = "no pixels";
  if (failure.empty() && (frame.width != setup_.background.width || frame.height != setup_.background.height)) {
    failure = "frame size " + sizeText(frame.width, frame.height) + " differs from the background's " +
              sizeText(setup_.background.width, setup_.background.height);
  }
  for (std::size_t i = 0; i < records.size(); ++i) {
    FrameRecord& r = records[i];
    clearPoints(r);
    r.frame = frame.index;
    r.time = frame.time;
    r.arena = static_cast<int>(i);
    r.error = failure;
    r.status = failure.empty() ? FrameStatus::ok : FrameStatus::decodeError;
    if (!failure.empty()) continue;
    segmenters_[i].segment(frame, found_);
    analyze(found_.runs, r);
  }
}

void FrameTracker::analyze(const std::vector<PixelRun>& runs, FrameRecord& r) {
  const FrameStatus given = r.status;
  const std::string error = r.error;
  clearPoints(r);
  r.status = given;
  r.error = error;
  if (r.status == FrameStatus::decodeError) return;
  r.areaPx = 0;
  for (const PixelRun& run : runs) r.areaPx += run.last - run.first + 1;
  if (setup_.keep.masks) r.maskRuns = runs;
  if (runs.empty()) {
    r.status = FrameStatus::noAnimal;
    return;
  }
  try {
    analyzer_.analyze(runs, r, setup_.keep.outlines);
  } catch (const std::exception& e) {
    // Only a region beyond the analysis's raster bound gets here; it is no
    // position, so the frame says why instead.
    const std::int64_t area = r.areaPx;
    clearPoints(r);
    r.areaPx = area;
    r.status = FrameStatus::noAnimal;
    r.error = std::string("cannot analyse the animal: ") + e.what();
    return;
  }
  const ArenaSetup& arena = setup_.arenas[static_cast<std::size_t>(r.arena)];
  if (r.areaPx < arena.minArea || r.areaPx > arena.maxArea) {
    r.status = FrameStatus::oddSize;
  } else {
    r.status = r.tailFound ? FrameStatus::ok : FrameStatus::noTail;
  }
}

void BodyChange::update(std::vector<FrameRecord>& records) {
  if (previous_.size() < records.size()) {
    previous_.resize(records.size());
    havePrevious_.resize(records.size(), false);
  }
  for (std::size_t i = 0; i < records.size(); ++i) {
    FrameRecord& r = records[i];
    const bool haveBody = r.hasPoints() && r.bodyAreaPx > 0;
    r.bodyChangePx = haveBody && havePrevious_[i] ? changedPixels(r.bodyRuns, previous_[i]) : -1;
    havePrevious_[i] = haveBody;
    previous_[i].swap(r.bodyRuns);
    r.bodyRuns.clear();
  }
}

namespace {

// A thread that both decodes and analyses takes a few frames at a time from
// its source and then analyses them: the decoder and the analysis each run
// a few frames in a row with their code and data in the caches, where each
// pushed out the other's at every frame (one core on 640x480 H.264: 2-3 %
// faster, nearly all of it in the analysis). The frames hold decoded
// pictures, so a batch is short; a source that is not a file (a live
// stream) is read one frame at a time, so that each row comes as soon as
// its frame.
constexpr int framesPerBatch = 4;

struct FrameBatch {
  std::array<video::Frame, framesPerBatch> frames;
  int count = 0;
  bool last = false;        // nothing follows: the source ended, failed, or reached the end time
  std::string sourceError;  // the source failed after these frames (SourceError's message)
};

void readBatch(video::FrameSource& source, double end, FrameBatch& batch) {
  const int wanted = source.info().seekable ? framesPerBatch : 1;
  batch.count = 0;
  batch.sourceError.clear();
  try {
    while (batch.count < wanted) {
      video::Frame& frame = batch.frames[static_cast<std::size_t>(batch.count)];
      if (!source.next(frame) || frame.time >= end) {
        batch.last = true;
        return;
      }
      ++batch.count;
    }
  } catch (const video::SourceError& e) {
    batch.last = true;
    batch.sourceError = e.what();
  }
}

LoopResult trackOnOneThread(video::FrameSource& source, const TrackerSetup& setup, const LoopSettings& settings,
                            const DeliverRecords& deliver) {
  LoopResult result;
  FrameTracker tracker(setup);
  BodyChange change;
  std::vector<FrameRecord> records;
  FrameBatch batch;
  while (!batch.last) {
    if (settings.stop != nullptr && settings.stop->load()) {
      result.interrupted = true;
      break;
    }
    readBatch(source, settings.end, batch);
    for (int i = 0; i < batch.count; ++i) {
      const video::Frame& frame = batch.frames[static_cast<std::size_t>(i)];
      tracker.track(frame, records);
      change.update(records);
      if (!frame.error.empty()) ++result.decodeErrors;
      ++result.frames;
      deliver(records, frame);
    }
  }
  result.sourceError = batch.sourceError;
  return result;
}

// Frames in flight, each with the records its worker made.
struct Job {
  std::int64_t sequence = 0;
  video::Frame frame;
  std::vector<FrameRecord> records;
  bool done = false;
};

// Joins the threads however the loop is left (the loop also joins them
// itself, to pass on an exception only once they have ended).
struct JoinAll {
  std::vector<std::thread>& threads;
  ~JoinAll() {
    for (std::thread& t : threads) t.join();
  }
};

// A frame's records, in frame order: the body's change from the frame
// before, the counts, then the caller.
void handOn(Job& job, BodyChange& change, LoopResult& result, const DeliverRecords& deliver) {
  change.update(job.records);
  if (!job.frame.error.empty()) ++result.decodeErrors;
  ++result.frames;
  deliver(job.records, job.frame);
}

}  // namespace

namespace {

LoopResult trackOnThreads(video::FrameSource& source, const TrackerSetup& setup, const LoopSettings& settings,
                          const DeliverRecords& deliver) {

  const std::size_t capacity = 2 * static_cast<std::size_t>(settings.jobs) + 2;  // frames in flight at most
  std::mutex mutex;
  // Each kind of thread waits on its own condition and is woken only when
  // it can go on: one condition for all woke every thread at every frame
  // (a dozen context switches a frame, a quarter more CPU time).
  std::condition_variable workReady;  // workers: a frame to track, or the end
  std::condition_variable frontDone;  // the caller: the oldest frame tracked, or the end
  std::condition_variable roomFreed;  // the reader: room in the window, or quit
  std::deque<Job> window;       // in sequence order, the oldest first
  std::size_t nextToWork = 0;   // index in `window` of the first job no worker has taken
  bool readerDone = false;
  bool quit = false;            // the caller's delivery failed: everyone stops
  LoopResult result;

  auto reader = [&] {
    std::int64_t sequence = 0;
    try {
      for (;;) {
        {
          std::unique_lock<std::mutex> lock(mutex);
          roomFreed.wait(lock, [&] { return quit || window.size() < capacity; });
          if (quit) break;
        }
        if (settings.stop != nullptr && settings.stop->load()) {
          std::lock_guard<std::mutex> lock(mutex);
          result.interrupted = true;
          break;
        }
        Job job;
        job.sequence = sequence++;
        if (!source.next(job.frame) || job.frame.time >= settings.end) break;
        std::lock_guard<std::mutex> lock(mutex);
        window.push_back(std::move(job));
        workReady.notify_one();
      }
    } catch (const video::SourceError& e) {
      std::lock_guard<std::mutex> lock(mutex);
      result.sourceError = e.what();
    }
    std::lock_guard<std::mutex> lock(mutex);
    readerDone = true;
    workReady.notify_all();
    frontDone.notify_all();
  };

  auto worker = [&] {
    FrameTracker tracker(setup);
    for (;;) {
      Job* job = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex);
        workReady.wait(lock, [&] { return quit || nextToWork < window.size() || readerDone; });
        if (quit || nextToWork >= window.size()) return;  // the reader is done and nothing is left
        job = &window[nextToWork++];  // deque elements stay put while others are pushed at the back
      }
      tracker.track(job->frame, job->records);
      std::lock_guard<std::mutex> lock(mutex);
      job->done = true;
      if (job == &window.front()) frontDone.notify_one();  // the caller waits for no other
    }
  };

  std::vector<std::thread> threads;
  threads.emplace_back(reader);
  for (int i = 0; i < settings.jobs; ++i) threads.emplace_back(worker);
  JoinAll joinAll{threads};

  BodyChange change;
  std::exception_ptr failure;
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(mutex);
      frontDone.wait(lock, [&] { return (!window.empty() && window.front().done) || (readerDone && window.empty()); });
      if (window.empty()) break;
      job = std::move(window.front());
      window.pop_front();
      --nextToWork;
      roomFreed.notify_one();
    }
    try {
      handOn(job, change, result, deliver);
    } catch (...) {
      failure = std::current_exception();
      std::lock_guard<std::mutex> lock(mutex);
      quit = true;
      workReady.notify_all();
      roomFreed.notify_all();
      break;
    }
  }
  for (std::thread& t : threads) t.join();
  threads.clear();
  if (failure) std::rethrow_exception(failure);
  return result;
}

}  // namespace

namespace {

// One piece of the file: its frames' records as its worker makes them.
struct Piece {
  double start = 0;
  double end = 0;
  std::deque<Job> ready;   // tracked, not yet delivered
  bool taken = false;
  bool done = false;
  std::string sourceError;  // the reader failed inside this piece
};

// Frames a piece may hold ahead of its turn before its worker waits.
constexpr std::size_t pieceBacklog = 1024;
// Records of the piece being delivered are handed over this many at a time:
// a wake-up of the delivering thread per frame cost more than the frame's
// analysis (each displaced a worker on its core).
constexpr std::size_t handBatch = 32;

video::Frame withoutPixels(const video::Frame& f) {
  video::Frame meta;
  meta.index = f.index;
  meta.time = f.time;
  meta.width = f.width;
  meta.height = f.height;
  meta.error = f.error;
  return meta;
}

}  // namespace

LoopResult trackPieces(const video::OpenSource& open, const std::vector<double>& starts, const TrackerSetup& setup,
                       const LoopSettings& settings, const DeliverRecords& deliver) {
  const int jobs = std::max(1, settings.jobs);
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Piece> pieces;
  for (std::size_t k = 0; k < starts.size(); ++k) {
    Piece p;
    p.start = starts[k];
    p.end = k + 1 < starts.size() ? starts[k + 1] : settings.end;
    pieces.push_back(std::move(p));
  }
  std::size_t head = 0;      // the piece being delivered
  std::size_t nextPiece = 0; // the first piece no worker has taken
  bool quit = false;         // the run is over: every worker stops
  std::size_t firstFailed = SIZE_MAX;  // the first piece whose reader failed: none after it is taken
  std::exception_ptr failure;
  LoopResult result;
  // Pieces taken ahead of the head, at most. Pieces differ in length (key
  // frames come at scene changes): with one piece ahead per worker, a worker
  // done with a short one waited for the head (5 % of two cores idle on HD).
  const std::size_t inFlight = 4 * static_cast<std::size_t>(jobs);

  auto stopAsked = [&] { return settings.stop != nullptr && settings.stop->load(); };

  auto worker = [&] {
    try {
      FrameTracker tracker(setup);
      std::unique_ptr<video::FrameSource> source;
      FrameBatch batch;
      for (;;) {
        std::size_t k;
        {
          std::unique_lock<std::mutex> lock(mutex);
          changed.wait(lock, [&] { return quit || nextPiece >= pieces.size() || nextPiece < head + inFlight; });
          if (quit || nextPiece >= pieces.size() || nextPiece > firstFailed) return;
          k = nextPiece++;
          pieces[k].taken = true;
        }
        Piece& piece = pieces[k];  // deque elements stay put
        std::string error;
        try {
          if (!source) source = open();
          source->seekExact(piece.start);
          batch.last = false;
          while (!batch.last && !stopAsked()) {
            readBatch(*source, piece.end, batch);
            error = batch.sourceError;
            for (int i = 0; i < batch.count; ++i) {
              Job job;
              const video::Frame& frame = batch.frames[static_cast<std::size_t>(i)];
              tracker.track(frame, job.records);
              job.frame = withoutPixels(frame);
              std::unique_lock<std::mutex> lock(mutex);
              piece.ready.push_back(std::move(job));
              if (k == head && piece.ready.size() >= handBatch) changed.notify_all();
              changed.wait(lock, [&] { return quit || piece.ready.size() < pieceBacklog; });
              if (quit) return;
            }
          }
        } catch (const video::SourceError& e) {
          error = e.what();
        }
        std::lock_guard<std::mutex> lock(mutex);
        piece.sourceError = error;
        piece.done = true;
        if (!error.empty()) firstFailed = std::min(firstFailed, k);  // nothing after it is delivered
        changed.notify_all();
      }
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex);
      if (!failure) failure = std::current_exception();
      quit = true;
      changed.notify_all();
    }
  };

  std::vector<std::thread> threads;
  for (int i = 0; i < jobs; ++i) threads.emplace_back(worker);
  JoinAll joinAll{threads};

  BodyChange change;
  std::deque<Job> batch;
  while (head < pieces.size()) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      Piece& piece = pieces[head];
      changed.wait(lock, [&] { return piece.ready.size() >= handBatch || piece.done || failure; });
      if (failure) break;
      if (piece.ready.empty()) {  // the piece is done and delivered
        if (!piece.sourceError.empty()) {
          result.sourceError = piece.sourceError;
          break;
        }
        if (stopAsked()) {
          result.interrupted = true;
          break;
        }
        ++head;
        changed.notify_all();
        continue;
      }
      batch.swap(piece.ready);  // `ready` takes the empty deque
      changed.notify_all();
    }
    try {
      for (Job& job : batch) handOn(job, change, result, deliver);
      batch.clear();
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex);
      failure = std::current_exception();
      break;
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    quit = true;
    changed.notify_all();
  }
  for (std::thread& t : threads) t.join();
  threads.clear();
  if (failure) std::rethrow_exception(failure);
  if (stopAsked()) result.interrupted = true;
  return result;
}

LoopResult trackSource(video::FrameSource& source, const TrackerSetup& setup, const LoopSettings& settings,
                       const DeliverRecords& deliver) {
  LoopResult result = settings.jobs <= 1 ? trackOnOneThread(source, setup, settings, deliver)
                                         : trackOnThreads(source, setup, settings, deliver);
  // A stop asked for while the source was waiting for its next frame (a
  // stalled pipe) ends the run as interrupted too.
  if (settings.stop != nullptr && settings.stop->load()) result.interrupted = true;
  return result;
}

}  // namespace tressel::tracking
