// tressel draw VIDEO --frame N: one frame's picture as `tressel track
// --overlay` draws it, tracked with the whole recording's background and
// thresholds.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Commands.h"
#include "FrameOverlay.h"
#include "tracker/Session.h"

namespace tressel_tool {

int runDrawFrame(const Options& options) {
  const std::string& file = options.files.front();
  auto fail = [](const std::string& message) {
    std::fputs(("tressel: " + message + "\n").c_str(), stderr);
    return 1;
  };
  tressel::tracker::TrackOptions track = options.track;
  track.keep.outlines = true;
  track.holdFrames = true;
  std::unique_ptr<tressel::tracker::Session> session;
  try {
    session = std::make_unique<tressel::tracker::Session>(track);
  } catch (const std::exception& e) {
    return fail(e.what());
  }
  for (const std::string& w : session->warnings()) std::fputs(fileMessage(file, "warning: " + w).c_str(), stderr);

  const tressel::video::SourceInfo& info = session->source();
  std::atomic<bool> stop{false};
  tressel_image::RgbImage picture;
  bool found = false;
  std::int64_t last = -1;
  tressel::tracker::RunResult result;
  try {
    result = session->run([](const std::vector<tressel::behaviour::BehaviourRow>&) {}, &stop, nullptr,
                          [&](const tressel::video::Frame& frame,
                              const std::vector<const tressel::behaviour::BehaviourRow*>& rows) {
                            const std::int64_t index = rows.empty() ? frame.index : rows.front()->record.frame;
                            last = index;
                            if (index == options.frame && !found) {
                              picture = drawTrackedFrame(frame, rows, info.width, info.height);
                              found = true;
                            }
                            if (index >= options.frame) stop = true;
                          });
  } catch (const std::exception& e) {
    return fail(file + ": " + e.what());
  }
  if (!found) {
    std::string why = result.loop.sourceError.empty() ? "" : " (" + result.loop.sourceError + ")";
    return fail(file + ": no frame " + std::to_string(options.frame) + ": the frames tracked end at " +
                std::to_string(last) + why);
  }
  const std::string partial = options.out + ".partial";
  const std::string error = tressel_image::writePng(partial, picture);
  if (!error.empty()) {
    std::remove(partial.c_str());
    return fail(options.out + ": " + error);
  }
  if (std::rename(partial.c_str(), options.out.c_str()) != 0) return fail(options.out + ": " + std::strerror(errno));
  return 0;
}

}  // namespace tressel_tool
