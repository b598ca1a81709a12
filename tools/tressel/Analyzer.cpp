#include "Analyzer.h"

#include <exception>

namespace tressel_tool {
namespace {

tressel_point toPoint(POINT p) { return tressel_point{p.x, p.y}; }

}  // namespace

std::string analysisError(const std::exception& e) {
  return std::string("cannot analyse: ") + e.what() +
         " (a raster over 2^28 pixels would be needed: the silhouette is too large or lies too far from the origin)";
}

Analyzer::Analyzer(const tressel_params& p) {
  tressel_.SetTailWidthPercent(p.tail_width_percent);
  tressel_.SetTailLengthPercent(p.tail_length_percent);
  tressel_.SetTailWidthMinThreshold(p.tail_width_min_threshold);
  tressel_.SetTailLengthMaxThreshold(p.tail_length_max_threshold);
  tressel_.SetLimbWidthPercent(p.limb_width_percent);
  tressel_.SetLimbLengthPercent(p.limb_length_percent);
  tressel_.SetLimbWidthMinThreshold(p.limb_width_min_threshold);
  tressel_.SetLimbLengthMaxThreshold(p.limb_length_max_threshold);
  tressel_.SetLoopLengthMaxPercent(p.loop_length_max_percent);
}

std::string Analyzer::analyze(Silhouette& silhouette, tressel_result& result) {
  try {
    result.has_tail = tressel_.Tressel(silhouette.x.data(), silhouette.y.data(), static_cast<int>(silhouette.x.size()));
  } catch (const std::exception& e) {
    return analysisError(e);
  }
  result.tail_base = toPoint(tressel_.GetTailBase());
  result.tail_start = toPoint(tressel_.GetTailStart());
  result.tail_end = toPoint(tressel_.GetTailEnd());
  result.body_center = toPoint(tressel_.GetCenter());
  result.nose = toPoint(tressel_.GetNose());
  return "";
}

}  // namespace tressel_tool
