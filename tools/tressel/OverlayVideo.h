// Where `tressel track --overlay` puts its pictures of the tracked frames
// (FrameOverlay.h): a video of every frame, encoded in the same pass as the
// tracking, with the recording's frame rate and each frame's own time; or,
// with --overlay-every N, a PNG picture of every Nth frame in a folder.
//
//   OverlayOutput overlay("walk.overlay.mp4", 0, session.source());  // throws OverlayError
//   session.run(deliver, &stop, nullptr, [&](const Frame& f, const auto& rows) { overlay.add(f, rows); });
//   overlay.finish(complete);
//
// The video is written as OUT.partial and renamed OUT by finish(true), when
// the table it goes with is complete; each picture is written under a
// temporary name and renamed. Nothing already complete is overwritten by a
// half-written file.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "behaviour/Row.h"
#include "video/Frame.h"

namespace tressel::video {
class VideoWriter;
}

namespace tressel_tool {

// One line naming the file and the fault.
class OverlayError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class OverlayOutput {
 public:
  // every == 0: a video at `path`; every >= 1: PNG pictures of frames 0, N,
  // 2N, ... (by index) in the folder `path`, made when missing.
  OverlayOutput(const std::string& path, int every, const tressel::video::SourceInfo& source, int threads = 1);
  ~OverlayOutput();
  OverlayOutput(const OverlayOutput&) = delete;
  OverlayOutput& operator=(const OverlayOutput&) = delete;

  void add(const tressel::video::Frame& frame, const std::vector<const tressel::behaviour::BehaviourRow*>& rows);
  // Closes the video; renames it into place when `complete`, else leaves it
  // as OUT.partial. Returns where it is.
  std::string finish(bool complete);

  std::int64_t written() const { return written_; }
  // Frames left out of the video because their time did not come after the
  // previous frame's (a damaged recording's timestamps).
  std::int64_t skipped() const { return skipped_; }

 private:
  std::string path_;
  int every_;
  int width_, height_;
  std::unique_ptr<tressel::video::VideoWriter> writer_;
  std::int64_t written_ = 0;
  std::int64_t skipped_ = 0;
};

}  // namespace tressel_tool
