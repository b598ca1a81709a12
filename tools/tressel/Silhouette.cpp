#include "Silhouette.h"

#include "image/pointsFile.h"
#include "image/readImage.h"
#include "tressel/tressel_c.h"

namespace tressel_tool {
namespace {

// The span points of the mask's silhouette, sized by a first call that only
// counts them.
std::string maskSpans(const tressel_image::Mask& mask, bool allComponents, std::vector<float>& x,
                      std::vector<float>& y) {
  const int flags = allComponents ? TRESSEL_MASK_ALL_COMPONENTS : 0;
  float none = 0;
  const int count = tressel_mask_spans(mask.pixels.data(), mask.width, mask.height, mask.width, flags, &none, &none, 0);
  if (count < 0) return std::string("cannot find the silhouette: ") + tressel_error_message(count);
  if (static_cast<std::size_t>(count) > tressel_image::kMaxPoints) {
    return "mask too fragmented: " + std::to_string(count) + " span points (at most 2^22)";
  }
  x.resize(static_cast<std::size_t>(count));
  y.resize(static_cast<std::size_t>(count));
  if (count == 0) return "";
  const int again = tressel_mask_spans(mask.pixels.data(), mask.width, mask.height, mask.width, flags, x.data(),
                                       y.data(), count);
  if (again != count) {
    return std::string("cannot find the silhouette: ") + (again < 0 ? tressel_error_message(again) : "internal error");
  }
  return "";
}

}  // namespace

Silhouette loadSilhouette(const std::string& path, const InputOptions& options) {
  Silhouette s;
  if (options.points) {
    tressel_image::PointsResult points = tressel_image::readPointsFile(path);
    s.error = std::move(points.error);
    s.x = std::move(points.x);
    s.y = std::move(points.y);
    return s;
  }
  tressel_image::MaskResult read = tressel_image::readMaskFile(path, options.threshold);
  if (!read.ok()) {
    s.error = std::move(read.error);
    return s;
  }
  s.mask = std::move(read.mask);
  s.error = maskSpans(s.mask, options.allComponents, s.x, s.y);
  if (!s.ok()) {
    s.x.clear();
    s.y.clear();
  }
  return s;
}

}  // namespace tressel_tool
