// Decodes a recording through the tracker's own reader and does nothing else:
// the floor that `tressel track` is measured against. With --sample N it
// only takes the background's N samples, as `tressel track` does before it
// tracks: the share of a run that goes to sampling.
//
//   decode_only VIDEO [THREADS]          prints frames, seconds and frames/s
//   decode_only VIDEO --sample N         prints samples and seconds
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tracking/Background.h"
#include "video/Input.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: decode_only VIDEO [THREADS | --sample N]\n", stderr);
    return 2;
  }
  const bool sample = argc > 3 && std::strcmp(argv[2], "--sample") == 0;
  tressel::video::InputOptions options;
  options.video.threads = argc > 2 && !sample ? std::atoi(argv[2]) : 1;
  const auto start = std::chrono::steady_clock::now();
  auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  try {
    auto source = tressel::video::openInput({argv[1]}, options);
    if (sample) {
      const auto samples = tressel::tracking::sampleFrames(*source, 0, source->info().duration, std::atoi(argv[3]));
      std::printf("%zu samples %.3f s\n", samples.size(), elapsed());
      return 0;
    }
    tressel::video::Frame frame;
    long frames = 0;
    while (source->next(frame)) ++frames;
    const double seconds = elapsed();
    std::printf("%ld frames %.3f s %.1f frames/s\n", frames, seconds, frames / seconds);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "decode_only: %s\n", e.what());
    return 1;
  }
  return 0;
}
