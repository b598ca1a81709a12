// From frames to per-frame records: segmentation and analysis of every
// arena of every frame, on one thread or several.
//
//   TrackerSetup setup;                       // background, arenas, parameters
//   setup.background = medianBackground(samples, roi, mask);
//   setup.arenas.push_back(ArenaSetup{"", calibration.settings, calibration.minArea, calibration.maxArea});
//
//   FrameTracker tracker(setup);              // frames from anywhere, one at a time
//   std::vector<FrameRecord> records;         // one per arena
//   tracker.track(frame, records);
//
//   LoopResult r = trackSource(*source, setup, LoopSettings{4}, [&](std::vector<FrameRecord>& rows) {
//     write(rows);                            // in frame order, on the calling thread
//   });
//
// trackSource reads the source on one thread and analyses frames on `jobs`
// workers; at most a fixed number of frames are in flight at any time, so
// memory does not grow with the recording. With one job, a file's frames are
// read a few at a time and then analysed, a stream's (not seekable) one at a
// time, so that each of its rows comes as soon as its frame.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "analysis/AnalysisParameters.h"
#include "tracking/BodyAnalysis.h"
#include "tracking/FrameRecord.h"
#include "tracking/Segmenter.h"
#include "video/Frame.h"

namespace tressel::tracking {

// One arena: where its animal can be, how it is segmented, and the area gate.
struct ArenaSetup {
  std::string name;
  SegmentationSettings segmentation;
  std::int64_t minArea = 0;
  std::int64_t maxArea = std::numeric_limits<std::int64_t>::max();
};

// What the records carry beyond the measures, for the stages that want it.
struct Keep {
  bool masks = false;     // FrameRecord::maskRuns: the segmented mask
  bool outlines = false;  // FrameRecord::outlines: the analysis's chains
};

struct TrackerSetup {
  Background background;
  std::vector<ArenaSetup> arenas;  // at least one
  AnalysisParameters parameters;
  Keep keep;
};

// One worker's state: a segmenter per arena and an analyzer, reused from
// frame to frame. Records come out with bodyChangePx unset (-1): that needs
// the previous frame, which BodyChange supplies in frame order.
class FrameTracker {
 public:
  explicit FrameTracker(const TrackerSetup& setup);
  void track(const video::Frame& frame, std::vector<FrameRecord>& records);
  // The analysis of a mask segmented before (saved masks): `record` holds
  // the frame, time, arena and status it had, `runs` its mask.
  void analyze(const std::vector<PixelRun>& runs, FrameRecord& record);

 private:
  const TrackerSetup& setup_;
  std::vector<Segmenter> segmenters_;
  BodyAnalyzer analyzer_;
  Segmentation found_;
};

// The body mask's change from one frame to the next, per arena; fed the
// records in frame order.
class BodyChange {
 public:
  void update(std::vector<FrameRecord>& records);

 private:
  std::vector<std::vector<PixelRun>> previous_;
  std::vector<bool> havePrevious_;
};

struct LoopSettings {
  int jobs = 1;                                 // analysing threads; 1: everything on the calling thread
  const std::atomic<bool>* stop = nullptr;      // set (e.g. on Ctrl-C) to stop reading; frames read are finished
  double end = std::numeric_limits<double>::infinity();  // frames at or after this time are not tracked
};

struct LoopResult {
  std::int64_t frames = 0;        // frames delivered
  std::int64_t decodeErrors = 0;  // of which could not be decoded
  bool interrupted = false;       // stopped through LoopSettings::stop
  std::string sourceError;        // the source failed before its end (SourceError's message)
};

// A frame's records, and the frame (its pixels; none for a frame that could
// not be decoded).
using DeliverRecords = std::function<void(std::vector<FrameRecord>& records, const video::Frame& frame)>;

// Tracks every frame of the source from where it stands. `deliver` is called
// on the calling thread with each frame's records, in frame order, with
// bodyChangePx filled in. An exception from `deliver` stops the loop and is
// passed on once the threads have ended.
LoopResult trackSource(video::FrameSource& source, const TrackerSetup& setup, const LoopSettings& settings,
                       const DeliverRecords& deliver);

// The same records for a seekable file, tracked in pieces that each begin at
// a key frame: piece k is [starts[k], starts[k + 1]) (the last one ends at
// LoopSettings::end), and each of `jobs` workers decodes the pieces it takes
// with a reader of its own, from `open`, on one thread. A decoder's own
// threads wait on each other's frames; readers of separate pieces do not,
// so this scales with the cores. Records come to `deliver` in frame order,
// with frames that carry no pixels. At most a few pieces are in flight, and
// a piece waits while more than a bounded number of its records wait for
// the ones before it.
LoopResult trackPieces(const video::OpenSource& open, const std::vector<double>& starts, const TrackerSetup& setup,
                       const LoopSettings& settings, const DeliverRecords& deliver);

}  // namespace tressel::tracking
