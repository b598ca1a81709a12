#include "tracking/BodyAnalysis.h"

#include <cmath>
#include <limits>

namespace tressel::tracking {
namespace {

Pixel pixelOf(const lti::point& p) { return Pixel{p.x, p.y}; }

// Second moments of the body's pixels about its mean give its long axis; the
// body contour's points that lie farthest along it, either way, are its ends.
// The moments are summed pixel by pixel in scan order, as always, so that
// every bit of the result stays the same.
void findEnds(const std::vector<RegionMask::Run>& area, const lti::borderPoints& contour, FrameRecord& record) {
  double sxx = 0, sxy = 0, syy = 0;
  for (const RegionMask::Run& r : area) {
    const double dy = r.y - record.centerSubY;
    for (int x = r.first; x <= r.last; ++x) {
      const double dx = x - record.centerSubX;
      sxx += dx * dx;
      sxy += dx * dy;
      syy += dy * dy;
    }
  }
  const double angle = 0.5 * std::atan2(2 * sxy, sxx - syy);
  const double ux = std::cos(angle), uy = std::sin(angle);
  double lowest = std::numeric_limits<double>::infinity(), highest = -lowest;
  Pixel low, high;
  for (const lti::point& p : contour) {
    const double along = (p.x - record.centerSubX) * ux + (p.y - record.centerSubY) * uy;
    if (along < lowest) lowest = along, low = pixelOf(p);
    if (along > highest) highest = along, high = pixelOf(p);
  }
  auto squared = [](Pixel a, Pixel b) {
    const double dx = a.x - b.x, dy = a.y - b.y;
    return dx * dx + dy * dy;
  };
  const bool highIsNose = !record.tailFound || squared(high, record.nose) <= squared(low, record.nose);
  record.bodyEndA = highIsNose ? high : low;
  record.bodyEndB = highIsNose ? low : high;
}

// The region's runs are maximal already: the same runs as joining its pixels.
void copyRuns(const std::vector<RegionMask::Run>& area, std::vector<PixelRun>& runs) {
  runs.clear();
  runs.reserve(area.size());
  for (const RegionMask::Run& r : area) runs.push_back(PixelRun{r.y, r.first, r.last});
}

}  // namespace

void BodyAnalyzer::analyze(const std::vector<Run>& runs, FrameRecord& record, bool keepOutlines) {
  const CTailAnalyzer& analysis = analyzer_.analyze(runs);
  record.tailFound = analysis.hasTail != 0;
  record.center = pixelOf(analysis.bodyCenter);
  record.nose = pixelOf(analysis.nose);
  record.tailBase = pixelOf(analysis.tailBase);
  record.tailStart = pixelOf(analysis.tailStart);
  record.tailEnd = pixelOf(analysis.tailEnd);

  if (keepOutlines) {
    auto outlines = std::make_shared<Outlines>();
    for (const lti::point& p : *analysis.border) outlines->border.push_back(pixelOf(p));
    for (const lti::point& p : *analysis.bodyBorder) outlines->bodyContour.push_back(pixelOf(p));
    if (analysis.hasTail) {
      for (const lti::point& p : *analysis.tailBorder) outlines->tailSegment.push_back(pixelOf(p));
    }
    record.outlines = std::move(outlines);
  }

  const PointSums sums = analyzer_.bodySums();
  const std::int64_t count = sums.count, sumX = sums.x, sumY = sums.y;
  record.bodyAreaPx = count;
  if (count == 0) {
    record.centerSubX = record.center.x;
    record.centerSubY = record.center.y;
    record.bodyEndA = record.bodyEndB = record.center;
    record.bodyRuns.clear();
    return;
  }
  record.centerSubX = static_cast<double>(sumX) / static_cast<double>(count);
  record.centerSubY = static_cast<double>(sumY) / static_cast<double>(count);
  findEnds(analyzer_.bodyRuns(), *analysis.bodyBorder, record);
  copyRuns(analyzer_.bodyRuns(), record.bodyRuns);
}

}  // namespace tressel::tracking
