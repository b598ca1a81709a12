// Analyzer records prepared by hand, so that one step can be run on chosen data.
#pragma once

#include <vector>

#include "analysis/CTailAnalyzer.h"
#include "pointLists.h"

namespace fixture {

using lti::point;
using testing_lists::listOf;
using testing_lists::Points;
using testing_lists::pointsOf;

inline tressel::AnalysisParameters defaults() { return tressel::AnalysisParameters{}; }

constexpr int narrow = 1;
constexpr int wide = 1000;

struct Stretch {
  int count;
  int width;
};

// A border of distinct points along the row y = 0, x = 0, 1, 2, ..., with the
// widths of the runs given, stored in a grid over the points' bounding box.
// maxWidth is set to `maxWidth`.
inline void prepareBorder(tressel::CTailAnalyzer& a, const Points& points, const std::vector<int>& widths,
                          int maxWidth) {
  a.border->assignFrom(listOf<lti::borderPoints>(points));
  const lti::box b = a.border->boundingBox();
  a.minX = b.minX;
  a.minY = b.minY;
  a.maxX = b.maxX;
  a.maxY = b.maxY;
  a.widthGrid->build(b.minX, b.minY, b.maxX, b.maxY);
  for (std::size_t i = 0; i < points.size(); ++i) a.widthGrid->setWidth(points[i], widths[i]);
  a.maxWidth = maxWidth;
}

inline void prepareRuns(tressel::CTailAnalyzer& a, const std::vector<Stretch>& stretches, int maxWidth) {
  Points points;
  std::vector<int> widths;
  for (const Stretch& r : stretches) {
    for (int i = 0; i < r.count; ++i) {
      points.emplace_back(static_cast<int>(points.size()), 0);
      widths.push_back(r.width);
    }
  }
  prepareBorder(a, points, widths, maxWidth);
}

}  // namespace fixture
