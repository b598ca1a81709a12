// The overlay picture of one analysis: the mask dimmed, the silhouette that
// was analysed a little brighter, the traced border, the body contour after
// the cuts, the segment across the tail's base, and markers for the tail
// base, body centre and nose, with a legend underneath.
#pragma once

#include <string>
#include <vector>

#include "analysis/CTailAnalyzer.h"
#include "image/Mask.h"
#include "image/png.h"

namespace tressel_tool {

struct OverlayScene {
  const tressel_image::Mask* mask = nullptr;  // null for a points file
  const std::vector<float>* x = nullptr;      // the span points analysed
  const std::vector<float>* y = nullptr;
  const tressel::CTailAnalyzer* analysis = nullptr;
  std::string title;
};

// The picture; or, when it cannot be drawn (too large at this scale), an
// empty image and the reason in `error`, which is left alone otherwise.
tressel_image::RgbImage drawOverlay(const OverlayScene& scene, int scale, std::string& error);

}  // namespace tressel_tool
