// The overlay's colours and markers, shared by the picture of one mask
// (Overlay.h) and the pictures of tracked frames (FrameOverlay.h), so that
// both read the same way.
#pragma once

#include "Canvas.h"

namespace tressel_tool {

constexpr Colour kBorderColour{215, 219, 228};
constexpr Colour kBodyColour{52, 222, 120};
constexpr Colour kTailSegmentColour{255, 72, 220};
constexpr Colour kTailBaseColour{255, 64, 48};
constexpr Colour kCentreColour{48, 178, 255};
constexpr Colour kNoseColour{255, 214, 32};
constexpr Colour kOutlineColour{0, 0, 0};
constexpr Colour kPanelColour{30, 32, 38};
constexpr Colour kTextColour{232, 234, 238};
constexpr Colour kDimTextColour{160, 164, 172};

// The tail base is a ring, so that the segment it sits on shows through;
// the body centre a cross, the nose a diamond. Each is outlined in black.
enum class Marker { ring, cross, diamond };

void drawMarker(Canvas& canvas, Vertex at, Marker shape, double radius, Colour colour);

}  // namespace tressel_tool
