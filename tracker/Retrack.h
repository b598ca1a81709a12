// The analysis, orientation and measures run again from saved masks
// (MaskFile.h) with other settings, without decoding the recording: the
// same rows as tracking with those settings, many times faster.
//
//   MaskWriter masks("walk.masks", maskHeader(session));         // while tracking
//
//   Retrack retrack("walk.masks", {{"--freeze-below", "0.05"}});  // throws SessionError
//   RowWriter writer(out, TableFormat::csv, retrack.columns());
//   writer.header(retrack.headerLines());
//   RetrackResult r = retrack.run([&](const std::vector<BehaviourRow>& rows) { ... });
//   if (!r.fileError.empty()) warn(r.fileError);                  // the rows before it stand
//
// The analysis parameters and behaviour options start as the track had
// them and each one given replaces its value; the arenas and their area
// gates are the track's (the masks were segmented in them).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tracker/MaskFile.h"
#include "tracker/Session.h"

namespace tressel::tracker {

// What a re-run needs of a session: size, frame rate, arenas and area
// gates, its analysis parameters and behaviour options, its settings.
MaskHeader maskHeader(const Session& session, const AnalysisParameters& parameters);

// Options as on the command line: {"--tail-width-percent", "30"}.
using GivenOptions = std::vector<std::pair<std::string, std::string>>;

struct RetrackResult {
  std::int64_t frames = 0;
  std::int64_t rows = 0;
  std::string fileError;  // the mask file is cut short or damaged here; the rows before stand
  bool interrupted = false;
};

class Retrack {
 public:
  Retrack(const std::string& masks, const GivenOptions& given);
  ~Retrack();
  Retrack(const Retrack&) = delete;
  Retrack& operator=(const Retrack&) = delete;

  const std::vector<behaviour::Column>& columns() const { return behaviour_->columns(); }
  std::string settingsJson() const;
  std::vector<std::string> headerLines() const;
  RetrackResult run(const DeliverRows& deliver, const std::atomic<bool>* stop = nullptr);
  const behaviour::Summary& summary() const { return behaviour_->summary(); }  // after run()

 private:
  std::string path_;
  std::unique_ptr<MaskReader> reader_;
  AnalysisParameters parameters_;
  behaviour::BehaviourOptions options_;
  std::vector<behaviour::Arena> arenas_;
  tracking::TrackerSetup setup_;
  std::unique_ptr<behaviour::Behaviour> behaviour_;
};

}  // namespace tressel::tracker
