// One input file turned into what the analysis takes: the scan-line span
// points of the silhouette, and the mask they came from (for drawing).
#pragma once

#include <string>
#include <vector>

#include "image/Mask.h"

namespace tressel_tool {

struct InputOptions {
  bool points = false;         // points files instead of masks
  bool allComponents = false;  // keep every region of a mask
  int threshold = 0;
};

struct Silhouette {
  std::vector<float> x;        // span points: entry and exit of every run
  std::vector<float> y;
  tressel_image::Mask mask;    // empty for a points file
  std::string error;           // the file could not be used; why
  bool ok() const { return error.empty(); }
  bool empty() const { return x.empty(); }
};

Silhouette loadSilhouette(const std::string& path, const InputOptions& options);

}  // namespace tressel_tool
