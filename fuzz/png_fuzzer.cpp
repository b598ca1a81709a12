// The tool's PNG reader on arbitrary bytes. The threshold comes from the
// file's last byte. A header that declares more than 2^22 pixels is not
// decoded: the reader would rightly allocate the whole mask first (a
// picture's compressed size says nothing about its size), which makes such
// inputs slow without reaching any other code.
#include <cstddef>
#include <cstdint>

#include "image/png.h"
#include "readerChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size >= 24 && tressel_image::looksLikePng(data, size)) {
    auto be32 = [&](std::size_t at) {
      return std::uint64_t{data[at]} << 24 | std::uint64_t{data[at + 1]} << 16 | std::uint64_t{data[at + 2]} << 8 |
             data[at + 3];
    };
    if (be32(16) * be32(20) > (std::uint64_t{1} << 22)) return 0;
  }
  const int threshold = size > 0 ? data[size - 1] : 127;
  fuzzing::checkMask(tressel_image::readPng(data, size, threshold), "png_fuzzer");
  return 0;
}
