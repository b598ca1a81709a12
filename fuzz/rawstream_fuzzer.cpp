// The raw grey stream reader on arbitrary bytes. The first two bytes give
// the frame's width and height (1 to 64), the rest is the stream: every
// whole frame must come back as it was, then a fault exactly when bytes
// were left over.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "frameChecks.h"
#include "video/RawStream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const int width = data[0] % 64 + 1, height = data[1] % 64 + 1;
  const std::uint8_t* stream = data + 2;
  const std::size_t bytes = size - 2, frameBytes = static_cast<std::size_t>(width) * height;
  std::FILE* in = fmemopen(const_cast<std::uint8_t*>(stream), bytes, "rb");
  if (in == nullptr) return 0;
  auto source = tressel::video::openRawStream(in, "fuzz input", width, height, 25);
  tressel::video::Frame f;
  std::size_t frames = 0;
  bool fault = false;
  try {
    while (source->next(f)) {
      fuzzing::checkFrame(f, "rawstream_fuzzer");
      fuzzing::check(f.ok() && f.index == static_cast<std::int64_t>(frames) && f.width == width, "rawstream_fuzzer",
                     "a frame not as read");
      for (int y = 0; y < height; ++y) {
        fuzzing::check(std::memcmp(f.row(y), stream + frames * frameBytes + y * width, width) == 0,
                       "rawstream_fuzzer", "pixels not as read");
      }
      ++frames;
    }
  } catch (const tressel::video::SourceError&) {
    fault = true;
  }
  std::fclose(in);
  fuzzing::check(frames == bytes / frameBytes, "rawstream_fuzzer", "whole frames lost");
  fuzzing::check(fault == (bytes % frameBytes != 0), "rawstream_fuzzer", "a partial frame not reported");
  return 0;
}
