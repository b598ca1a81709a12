// A 5 x 8 bitmap font for printable ASCII, enough for legends and labels.
#pragma once

#include <cstdint>

namespace tressel_tool {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 8;
constexpr int kGlyphAdvance = 6;  // one blank column between letters

// Five columns, left to right; bit 0 of each is the top row. Characters
// outside printable ASCII show as '?'.
const std::uint8_t* glyph(char c);

}  // namespace tressel_tool
