// Netpbm pictures: PBM (P1 plain, P4 raw), PGM (P2, P5) and PPM (P3, P6),
// with comments in the header and maximum values up to 65535. Only the first
// picture of a file is read; anything after it is ignored.
//
// Masks: PBM stores ink as 1, so set bits are the region; for PGM and PPM a
// pixel is in the region when its value (for colour, its brightest channel)
// exceeds the threshold, on a 0-255 scale. Grey pictures: ink is black, and
// samples become bytes as PixelRule (image/Mask.h) says.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/Mask.h"

namespace tressel_image {

// True when the bytes start like a netpbm picture this reader understands.
bool looksLikeNetpbm(const std::uint8_t* data, std::size_t size);

MaskResult readNetpbm(const std::uint8_t* data, std::size_t size, int threshold);
GreyResult readNetpbmGrey(const std::uint8_t* data, std::size_t size);

}  // namespace tressel_image
