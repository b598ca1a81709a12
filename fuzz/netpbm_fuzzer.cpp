// The tool's netpbm reader, through the format dispatch, on arbitrary bytes.
// The threshold comes from the last byte (after the picture, which the
// reader ignores).
#include <cstddef>
#include <cstdint>

#include "image/readImage.h"
#include "readerChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int threshold = size > 0 ? data[size - 1] : 127;
  fuzzing::checkMask(tressel_image::readMask(data, size, threshold), "netpbm_fuzzer");
  return 0;
}
