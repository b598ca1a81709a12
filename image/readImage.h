// Reading a mask from a file or from bytes, whatever its format (PNG or
// netpbm, told apart by their first bytes, not by the file name).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/Mask.h"

namespace tressel_image {

// Files larger than this are refused before they are read to the end.
constexpr std::size_t kMaxFileBytes = std::size_t{1} << 30;

// Reads the whole file into `bytes` and returns true; or returns false, with
// `bytes` empty and the reason in `error`.
bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

MaskResult readMask(const std::uint8_t* data, std::size_t size, int threshold);
MaskResult readMaskFile(const std::string& path, int threshold);

// A grey picture (a video frame) from a PNG or netpbm file, as PixelRule in
// image/Mask.h turns its samples into bytes.
GreyResult readGrey(const std::uint8_t* data, std::size_t size);
GreyResult readGreyFile(const std::string& path);

}  // namespace tressel_image
