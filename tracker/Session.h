// One tracking run, from the input's name to finished rows: the part that
// `tressel track`, the tracker's C interface and so Python share.
//
//   TrackOptions options;
//   options.inputs = {"mouse.mp4"};
//   Session session(options);                 // opens, estimates the background, learns the thresholds
//   for (const std::string& w : session.warnings()) warn(w);
//   RowWriter writer(out, TableFormat::csv, session.columns());
//   writer.header(session.headerLines());
//   RunResult r = session.run([&](const std::vector<behaviour::BehaviourRow>& rows) {
//     for (const auto& row : rows) writer.row(row);
//     writer.flush();
//   });
//   std::string summary = behaviour::summaryJson(session.summary(), session.settingsJson());
//
// Everything that can be wrong with the input or the options is found by the
// constructor and thrown as SessionError, one line naming the file and the
// fault; run() reports a source that fails midway in its result, after the
// rows of every frame before.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/CTailAnalyzer.h"
#include "behaviour/Behaviour.h"
#include "behaviour/Summary.h"
#include "behaviour/Table.h"
#include "tracking/Arena.h"
#include "tracking/Background.h"
#include "tracking/Tracker.h"
#include "video/Input.h"

namespace tressel::tracker {

class SessionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The options, each valid on its own, do not go together (--end before --start).
class OptionsError : public SessionError {
 public:
  using SessionError::SessionError;
};

struct TrackOptions {
  std::vector<std::string> inputs;  // a video, a folder of images, image files, or "-" (raw grey frames)
  video::InputOptions input;        // --fps, --size, decoding threads
  double start = 0;                 // seconds
  double end = std::numeric_limits<double>::infinity();

  std::string backgroundImage;      // --background: a picture of the empty arena
  tracking::Background background;  // the same given in memory (the C interface); used when it has pixels
  std::string saveBackground;       // --save-background: PNG
  int backgroundSamples = tracking::defaultBackgroundSamples;

  std::optional<tracking::Polarity> polarity;  // --animal; learnt when empty
  std::optional<int> threshold;                // --threshold; learnt when empty
  std::optional<tracking::Rect> roi;           // --roi x,y,w,h
  std::string arenaMaskImage;                  // --arena-mask: non-zero where the animal can be
  bool detectArena = true;                     // --arena auto: the floor found in the background is the arena
  int open = 0;                                // --open K

  AnalysisParameters parameters;
  int jobs = 1;
  behaviour::BehaviourOptions behaviour;

  // For the stages beyond the table: the segmented masks (to save them) and
  // the analysis's chains (to draw them) in the records, and the frames held
  // until their rows are finished (to draw them with their rows). Holding
  // frames caps the orientation's lag to what framesHeldBytes holds.
  tracking::Keep keep;
  bool holdFrames = false;
};

constexpr std::size_t framesHeldBytes = std::size_t{256} << 20;

// How long the background waits for a stream that cannot be sought: the
// first frames, up to this many seconds and this many bytes, are held and
// sampled, then tracked.
constexpr double streamBackgroundSeconds = 20;
constexpr std::size_t streamBackgroundBytes = std::size_t{128} << 20;

struct RunResult {
  tracking::LoopResult loop;
  std::int64_t rows = 0;
};

using DeliverRows = std::function<void(const std::vector<behaviour::BehaviourRow>& rows)>;
// A frame's records in frame order, before the measures (with maskRuns and
// outlines as TrackOptions::keep asks).
using RecordsHook = std::function<void(const std::vector<tracking::FrameRecord>& records, const video::Frame& frame)>;
// A frame (no pixels when it could not be decoded) with its finished rows,
// one per arena, in frame order; needs TrackOptions::holdFrames.
using FrameRowsHook =
    std::function<void(const video::Frame& frame, const std::vector<const behaviour::BehaviourRow*>& rows)>;

class Session {
 public:
  explicit Session(TrackOptions options);
  // Without a source: frames of width x height are pushed one at a time; the
  // background comes from --background or from the samples (frames spread
  // over the recording, or its start).
  Session(TrackOptions options, int width, int height, const std::vector<video::Frame>& samples);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const video::SourceInfo& source() const;
  const std::vector<std::string>& warnings() const { return warnings_; }
  const std::vector<tracking::Calibration>& calibrations() const { return calibrations_; }  // one per arena
  const std::string& backgroundSource() const { return backgroundSource_; }
  const tracking::TrackerSetup& setup() const { return setup_; }
  const std::vector<behaviour::Column>& columns() const { return behaviour_->columns(); }
  // The arenas of the measures, and the measures' options as in force (the
  // orientation's lag may be capped for held frames).
  const std::vector<behaviour::Arena>& arenas() const { return arenas_; }
  const behaviour::BehaviourOptions& behaviourOptions() const { return options_.behaviour; }

  // Everything needed to reproduce the table, as a JSON object, and the
  // same as "# key: value" lines for a CSV header (without the "# ").
  std::string settingsJson() const;
  std::vector<std::string> headerLines() const;

  // Tracks from --start to --end; `deliver` gets the finished rows in frame
  // order, on the calling thread. Once only.
  RunResult run(const DeliverRows& deliver, const std::atomic<bool>* stop = nullptr, const RecordsHook& records = nullptr,
                const FrameRowsHook& frames = nullptr);

  // The frames of a session without a source, in order (index and time as
  // given); finish() once after the last.
  void push(const video::Frame& frame, const DeliverRows& deliver);
  void finish(const DeliverRows& deliver);
  const behaviour::Summary& summary() const { return behaviour_->summary(); }  // after run()

 private:
  void prepare(int width, int height);
  void sampleSource();
  std::vector<double> pieceStarts() const;
  void prepareBackground(const std::vector<video::Frame>& samples);
  void resolveArenas();
  void calibrateArenas(const std::vector<video::Frame>& samples);
  void measure(std::vector<tracking::FrameRecord>& records, const video::Frame& frame, const DeliverRows& deliver,
               const RecordsHook& recordsHook, const FrameRowsHook& framesHook);

  TrackOptions options_;
  std::unique_ptr<video::FrameSource> source_;
  std::vector<video::Frame> streamStart_;  // a stream's first frames, sampled, then tracked before the rest
  std::vector<behaviour::Arena> arenas_;
  tracking::DetectedArena detected_;
  std::vector<tracking::Calibration> calibrations_;
  tracking::TrackerSetup setup_;
  std::unique_ptr<behaviour::Behaviour> behaviour_;
  std::string backgroundSource_;
  std::vector<std::string> warnings_;
  video::SourceInfo pushedInfo_;  // a session without a source
  bool ran_ = false;
  // The stages of push(): one tracker, the body's change, the rows so far.
  std::unique_ptr<tracking::FrameTracker> pushTracker_;
  tracking::BodyChange pushChange_;
  std::vector<tracking::FrameRecord> records_;
  std::vector<behaviour::BehaviourRow> rows_;
  std::deque<video::Frame> waiting_;                // frames waiting for their rows (holdFrames)
  std::vector<behaviour::BehaviourRow> frameRows_;  // the rows of the frame now being completed
};

}  // namespace tressel::tracker
