// What `tressel track` writes beside its table: the overlay (--overlay,
// --overlay-every) and the saved masks (--save-masks), fed by the session's
// hooks in the same pass as the tracking.
//
//   TrackExtras::prepare(options, track);          // before the session: what its records must keep
//   TrackExtras extras(options, session, track);   // opens the outputs; throws std::runtime_error
//   session.run(deliver, &stop, extras.recordsHook(), extras.framesHook());
//   if (!extras.error().empty()) ...               // a write failed: the run was stopped
//   extras.finish();                               // when the table is complete: renamed into place
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "Options.h"
#include "tracker/Session.h"

namespace tressel::tracker {
class MaskWriter;
}

namespace tressel_tool {

class OverlayOutput;

class TrackExtras {
 public:
  static void prepare(const Options& options, tressel::tracker::TrackOptions& track);
  TrackExtras(const Options& options, const tressel::tracker::Session& session,
              const tressel::tracker::TrackOptions& track, std::atomic<bool>& stop);
  ~TrackExtras();

  tressel::tracker::RecordsHook recordsHook();
  tressel::tracker::FrameRowsHook framesHook();
  // The first write that failed ("FILE: why"); the run was asked to stop.
  const std::string& error() const { return error_; }
  // Closes the outputs and renames them into place; returns warnings to
  // print (frames left out of the overlay). Throws std::runtime_error.
  std::string finish();

 private:
  std::unique_ptr<OverlayOutput> overlay_;
  std::unique_ptr<tressel::tracker::MaskWriter> masks_;
  std::atomic<bool>& stop_;
  std::string error_;
};

}  // namespace tressel_tool
