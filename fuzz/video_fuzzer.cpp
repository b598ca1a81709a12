// The video reader on arbitrary bytes, through its in-memory input: every
// frame is checked and read, and inputs whose size is a multiple of three
// also have their key frames listed and are sought in. At most 200 frames
// are taken from an input.
#include <cstddef>
#include <cstdint>

#include "frameChecks.h"
#include "video/VideoReader.h"

namespace {

constexpr int kMaxFrames = 200;

void readFrames(tressel::video::FrameSource& source, int frames) {
  tressel::video::Frame f;
  std::int64_t last = -2;
  for (int i = 0; i < frames && source.next(f); ++i) {
    fuzzing::checkFrame(f, "video_fuzzer");
    fuzzing::check(f.index == -1 || last < 0 || f.index == last + 1, "video_fuzzer", "an index out of sequence");
    last = f.index;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    auto source = tressel::video::openVideoBytes(data, size, "fuzz input");
    if (size % 3 != 0 || !source->info().seekable) {
      readFrames(*source, kMaxFrames);
      return 0;
    }
    const std::vector<double> keys = source->keyframeTimes();
    readFrames(*source, 3);
    source->seekExact(keys.size() > 1 ? keys[1] + 0.01 : 0.1);
    readFrames(*source, 3);
    source->seekKey(keys.empty() ? 0.2 : keys.back());
    readFrames(*source, 3);
  } catch (const tressel::video::SourceError&) {
  }
  return 0;
}
