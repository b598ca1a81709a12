// Raw grey frames on a stream: width x height bytes a frame, rows top-down,
// nothing between frames, as a camera program piped in would write them.
//
//   auto source = openRawStream(stdin, "-", 640, 480, 30.0);
//   Frame frame;
//   while (source->next(frame)) ...;          // each frame as soon as its bytes are in
//
// Frame i is at i / fps seconds. A stream that ends inside a frame throws
// SourceError, after the whole frames before it, saying how much of the
// frame came; so does a read error. The stream is read as it comes and
// cannot seek; it is not closed by the source.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "video/Frame.h"

namespace tressel::video {

std::unique_ptr<FrameSource> openRawStream(std::FILE* stream, const std::string& name, int width, int height,
                                           double fps);
std::unique_ptr<FrameSource> openRawDescriptor(int descriptor, const std::string& name, int width, int height,
                                               double fps);

}  // namespace tressel::video
