// The image-sequence reader on arbitrary bytes, split at each "\n--\n"
// into up to four image files (.png when the piece looks like a PNG, .pgm
// otherwise) in a folder of this process's own. Every file must give one
// frame, in natural order; a good frame has the first image's size and the
// pixels the grey reader makes of its file.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "frameChecks.h"
#include "image/png.h"
#include "image/readImage.h"
#include "video/ImageSequence.h"

namespace {

const std::string& folder() {
  static const std::string path = [] {
    char name[] = "/tmp/sequence_fuzzer.XXXXXX";
    if (mkdtemp(name) == nullptr) std::abort();
    return std::string(name);
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size), separator = "\n--\n";
  std::vector<std::string> pieces;
  for (std::size_t start = 0; pieces.size() < 4;) {
    const std::size_t end = pieces.size() == 3 ? std::string::npos : input.find(separator, start);
    pieces.push_back(input.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + separator.size();
  }
  // Names 8 to 11, so that natural order differs from byte order.
  std::vector<std::string> files;
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(pieces[k].data());
    const bool png = tressel_image::looksLikePng(bytes, pieces[k].size());
    files.push_back(folder() + "/frame" + std::to_string(8 + k) + (png ? ".png" : ".pgm"));
    std::FILE* out = std::fopen(files.back().c_str(), "wb");
    if (out == nullptr) std::abort();
    std::fwrite(pieces[k].data(), 1, pieces[k].size(), out);
    std::fclose(out);
  }
  try {
    auto source = tressel::video::openImageFolder(folder(), 10);
    tressel::video::Frame f;
    std::size_t k = 0;
    for (; source->next(f); ++k) {
      fuzzing::check(k < files.size() && f.index == static_cast<std::int64_t>(k), "sequence_fuzzer", "a frame too many");
      fuzzing::checkFrame(f, "sequence_fuzzer");
      const tressel_image::GreyResult alone = tressel_image::readGreyFile(files[k]);
      const bool fits = alone.ok() && alone.image.width == source->info().width &&
                        alone.image.height == source->info().height;
      fuzzing::check(f.ok() == fits, "sequence_fuzzer", "a frame good where its file is not, or not where it is");
      for (int y = 0; fits && y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
          fuzzing::check(f.row(y)[x] == alone.image.pixels[static_cast<std::size_t>(y) * f.width + x],
                         "sequence_fuzzer", "pixels not as the grey reader gives them");
        }
      }
    }
    fuzzing::check(k == files.size(), "sequence_fuzzer", "files without frames");
  } catch (const tressel::video::SourceError&) {
  }
  for (const std::string& file : files) unlink(file.c_str());
  return 0;
}
