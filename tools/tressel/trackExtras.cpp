#include "trackExtras.h"

#include "OverlayVideo.h"
#include "tracker/MaskFile.h"
#include "tracker/Retrack.h"

namespace tressel_tool {

void TrackExtras::prepare(const Options& options, tressel::tracker::TrackOptions& track) {
  if (!options.overlay.empty()) {
    track.keep.outlines = true;
    track.holdFrames = true;
  }
  if (!options.saveMasks.empty()) track.keep.masks = true;
}

TrackExtras::TrackExtras(const Options& options, const tressel::tracker::Session& session,
                         const tressel::tracker::TrackOptions& track, std::atomic<bool>& stop)
    : stop_(stop) {
  if (!options.overlay.empty()) {
    overlay_ = std::make_unique<OverlayOutput>(options.overlay, options.overlayEvery, session.source(), track.jobs);
  }
  if (!options.saveMasks.empty()) {
    masks_ = std::make_unique<tressel::tracker::MaskWriter>(options.saveMasks,
                                                            tressel::tracker::maskHeader(session, track.parameters));
  }
}

TrackExtras::~TrackExtras() = default;

tressel::tracker::RecordsHook TrackExtras::recordsHook() {
  if (!masks_) return nullptr;
  return [this](const std::vector<tressel::tracking::FrameRecord>& records, const tressel::video::Frame&) {
    if (!error_.empty()) return;
    try {
      masks_->write(records);
    } catch (const std::exception& e) {
      error_ = e.what();
      stop_ = true;
    }
  };
}

tressel::tracker::FrameRowsHook TrackExtras::framesHook() {
  if (!overlay_) return nullptr;
  return [this](const tressel::video::Frame& frame, const std::vector<const tressel::behaviour::BehaviourRow*>& rows) {
    if (!error_.empty()) return;
    try {
      overlay_->add(frame, rows);
    } catch (const std::exception& e) {
      error_ = e.what();
      stop_ = true;
    }
  };
}

std::string TrackExtras::finish() {
  std::string warnings;
  if (masks_) masks_->finish();
  if (overlay_) {
    overlay_->finish(true);
    if (overlay_->skipped() > 0) {
      warnings += std::to_string(overlay_->skipped()) +
                  " frames left out of the overlay: their times did not come after the frame before";
    }
  }
  return warnings;
}

}  // namespace tressel_tool
