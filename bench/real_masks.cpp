// Masks of the real recording for the benchmark: tracks a recording with the
// tracker's own segmentation (default options) and writes the animal's mask
// of COUNT frames spread over it as PNG files DIR/real_NNNNNN.png (the frame
// size, region white). bench/run.sh writes them into the build tree and the
// benchmark reads them through TRESSEL_BENCH_REAL_MASKS; they are never
// committed.
//
//   real_masks VIDEO DIR [COUNT]
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "image/png.h"
#include "tracker/Session.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: real_masks VIDEO DIR [COUNT]\n", stderr);
    return 2;
  }
  const int wanted = argc > 3 ? std::atoi(argv[3]) : 24;
  try {
    tressel::tracker::TrackOptions options;
    options.inputs = {argv[1]};
    options.keep.masks = true;
    tressel::tracker::Session session(options);
    const int width = session.source().width, height = session.source().height;
    const double frames = static_cast<double>(session.source().frameCountHint > 0 ? session.source().frameCountHint : 1000);
    const double every = frames / wanted > 1 ? frames / wanted : 1;
    int written = 0;
    double next = every / 2;
    session.run([](const auto&) {}, nullptr,
                [&](const std::vector<tressel::tracking::FrameRecord>& records, const tressel::video::Frame& frame) {
                  if (written >= wanted || static_cast<double>(frame.index) < next) return;
                  const auto& runs = records.at(0).maskRuns;
                  if (runs.empty()) return;
                  next += every;
                  tressel_image::RgbImage image;
                  image.width = width;
                  image.height = height;
                  image.pixels.assign(static_cast<std::size_t>(width) * height * 3, 0);
                  for (const auto& r : runs) {
                    for (int x = r.first; x <= r.last; ++x) {
                      std::uint8_t* p = &image.pixels[(static_cast<std::size_t>(r.row) * width + x) * 3];
                      p[0] = p[1] = p[2] = 255;
                    }
                  }
                  char name[64];
                  std::snprintf(name, sizeof name, "/real_%06lld.png", static_cast<long long>(frame.index));
                  const std::string failure = tressel_image::writePng(argv[2] + std::string(name), image);
                  if (!failure.empty()) throw std::runtime_error(failure);
                  ++written;
                });
    std::printf("%d masks\n", written);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "real_masks: %s\n", e.what());
    return 1;
  }
  return 0;
}
