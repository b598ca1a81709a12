#include "tracking/BodyAnalysis.h"

#include "tracking/BodyEnds.h"

#include <cmath>
#include <limits>

namespace tressel::tracking {
namespace {

Pixel pixelOf(const lti::point& p) { return Pixel{p.x, p.y}; }

// The body's ends along its long axis (tracking/BodyEnds.h); of the two,
// the one nearer the nose is end A.
void findEnds(const std::vector<RegionMask::Run>& area, const lti::borderPoints& contour, FrameRecord& record) {
  const AxisEnds ends = axisEnds(area, contour, record.centerSubX, record.centerSubY);
  const Pixel low = pixelOf(ends.low), high = pixelOf(ends.high);
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

// The whole region as the body, when the analysis's cut left almost none of
// it: no tail, the centre the mean of its pixels, the nose on the centre (as
// the analysis gives a region without a tail), the ends on its border.
void useWholeRegion(const std::vector<Run>& runs, FrameRecord& record) {
  std::int64_t count = 0, sumX = 0, sumY = 0;
  record.bodyRuns.clear();
  for (const Run& r : runs) {
    const std::int64_t n = r.last - r.first + 1;
    count += n;
    sumX += n * (std::int64_t{r.first} + r.last) / 2;
    sumY += n * r.row;
    record.bodyRuns.push_back(r);
  }
  record.tailFound = false;
  record.bodyAreaPx = count;
  record.centerSubX = static_cast<double>(sumX) / static_cast<double>(count);
  record.centerSubY = static_cast<double>(sumY) / static_cast<double>(count);
  record.center = Pixel{static_cast<std::int32_t>(sumX / count), static_cast<std::int32_t>(sumY / count)};
  record.nose = record.center;
  record.tailBase = record.tailStart = record.tailEnd = Pixel{};
  // The region's contour points farthest along its long axis are ends of its
  // runs.
  lti::borderPoints ends;
  std::vector<RegionMask::Run> area;
  area.reserve(runs.size());
  for (const Run& r : runs) {
    area.push_back(RegionMask::Run{r.row, r.first, r.last});
    ends.pushBack(lti::point(r.first, r.row));
    ends.pushBack(lti::point(r.last, r.row));
  }
  findEnds(area, ends, record);
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
  record.cutDiscarded = false;

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
  // A cut that leaves less than a quarter of the animal took the body for a
  // tail (two blurred copies of the tail in a fast turn can do that): its
  // centre lies out on the tail and its nose is undefined. The frame is then
  // one without a tail, whose head end the track decides.
  std::int64_t regionArea = 0;
  for (const Run& r : runs) regionArea += r.last - r.first + 1;
  if (regionArea > 0 && count * 4 < regionArea) {
    record.cutDiscarded = true;
    useWholeRegion(runs, record);
    return;
  }
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
