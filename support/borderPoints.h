// A closed contour in walk order; the last point joins the first. Traced
// contours run clockwise as drawn with y downward, with 8-neighbours as
// consecutive points.
#pragma once

#include <cstdint>
#include <vector>

#include "support/channel8.h"
#include "support/pointList.h"

namespace lti {

class ioPoints;

// A run of pixels of one row, columns first..last inclusive.
struct rowRun {
  int y;
  int first;
  int last;
};

// Scratch space of contourFillRuns, kept by a caller that fills often so that
// its buffers are reused. What it holds between calls means nothing.
struct fillScratch {
  std::vector<point> points;
  std::vector<unsigned char> steps;
  std::vector<std::uint64_t> marks;
  std::vector<std::uint32_t> markRows;
  std::vector<std::uint32_t> rowEnds;
  std::vector<std::uint64_t> byRow;
  std::vector<std::uint32_t> order;
  std::vector<rowRun> runs;
};

// The non-zero pixels of the raster that fillContour would make of the
// contour (its bounding box, corners marked, the inside filled between the
// marks), as runs in scan order, without the raster: the work grows with the
// contour, not with its box, and a stretch of the contour along a row costs
// about as much as one point. Raises allocException where fillContour would
// (a box beyond the raster size bound).
//
//   lti::fillScratch scratch;
//   std::vector<lti::rowRun> runs;
//   lti::contourFillRuns(contour, runs, scratch);  // runs[i].y, .first, .last
void contourFillRuns(const tpointList<int>& contour, std::vector<rowRun>& runs, fillScratch& scratch);

// Scratch space of traceSpans, kept by a caller that traces often.
struct traceScratch {
  std::vector<rowRun> runs;
  std::vector<std::uint32_t> rowStarts;
  std::vector<unsigned char> bits;  // all zero between calls
  std::vector<point> points;
};

class borderPoints;

// The contour that borderPoints::buildFromIo gives of the spans, traced over
// their runs instead of a raster of their box: the work grows with the
// contour and the runs, not with the box. Raises allocException where
// buildFromIo would (a box beyond the raster size bound).
//
//   lti::traceScratch scratch;
//   lti::traceSpans(spans, contour, scratch);  // as contour.buildFromIo(spans)
void traceSpans(const tpointList<int>& spans, borderPoints& contour, traceScratch& scratch);

// traceSpans for spans already reduced to their runs: scratch.runs holds
// them joined (no two of a row touching) in scan order, and `spansBox` is the
// box of the spans' points. Spans whose ends are in scan order reduce to
// their own runs, so a caller holding runs needs no list of their ends.
//
//   scratch.runs = ...;                       // rows ascending, columns ascending
//   lti::traceJoinedRuns(box, contour, scratch);  // as traceSpans of their ends
void traceJoinedRuns(const box& spansBox, borderPoints& contour, traceScratch& scratch);

class borderPoints : public tpointList<int> {
 public:
  borderPoints() = default;
  borderPoints(const borderPoints&) = default;
  borderPoints& operator=(const borderPoints& other) {
    assignFrom(other);
    return *this;
  }
  ~borderPoints() override = default;
  const char* getTypeName() const override { return "borderPoints"; }

  // Replaces this list with the outer contour of the region the spans give.
  borderPoints& buildFromIo(const ioPoints& spans);
  // Replaces this list with the traced contour of the raster's first region
  // in scan order.
  bool fromMask(const channel8& mask);
  // Sizes the raster from storedBox, clears it, marks the contour's corners
  // and fills its inside.
  bool toMask(channel8& mask) const;
};

}  // namespace lti
