// Decodes a recording through the tracker's own reader and does nothing else:
// the floor that `tressel track` is measured against.
//
//   decode_only VIDEO [THREADS]    prints frames, seconds and frames/s
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "video/Input.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: decode_only VIDEO [THREADS]\n", stderr);
    return 2;
  }
  tressel::video::InputOptions options;
  options.video.threads = argc > 2 ? std::atoi(argv[2]) : 1;
  const auto start = std::chrono::steady_clock::now();
  try {
    auto source = tressel::video::openInput({argv[1]}, options);
    tressel::video::Frame frame;
    long frames = 0;
    while (source->next(frame)) ++frames;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%ld frames %.3f s %.1f frames/s\n", frames, seconds, frames / seconds);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "decode_only: %s\n", e.what());
    return 1;
  }
  return 0;
}
