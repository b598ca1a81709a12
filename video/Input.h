// One entry for every input the tracker takes: a video file, a folder of
// images, a list of image files, or "-" for raw grey frames on standard input.
//
//   InputOptions options;
//   options.fps = 25;                                     // images and raw frames
//   auto source = openInput({"frames/"}, options);        // image sequence
//   auto camera = openInput({"-"}, {30, 640, 480});       // raw 640x480 frames on stdin
//   auto video = openInput({"mouse.mp4"}, {});            // video: its own times
//
// Several inputs must all be image files (by extension); a single one is a
// folder, an image file, "-", or else a video. Throws SourceError naming the
// input when it cannot be opened or what it needs is missing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "video/Frame.h"
#include "video/VideoReader.h"

namespace tressel::video {

struct InputOptions {
  double fps = 0;   // frames per second of image sequences and raw frames (needed there); videos have their own
  int width = 0;    // raw frames only
  int height = 0;
  VideoOptions video;
};

std::unique_ptr<FrameSource> openInput(const std::vector<std::string>& inputs, const InputOptions& options);

}  // namespace tressel::video
