// Scratch space of the body contour's cleaning (the tail search, the cuts,
// loop pruning, the limb searches), kept by an analyzer that runs frame after
// frame so that its buffers are reused. What it holds between steps means
// nothing, except where the analysis on the fast path hands the contour from
// one step to the next (CTailAnalyzer::run): the tail search leaves the
// border's points and widths, the tail's cut turns them into the body
// contour's.
#pragma once

#include <cstdint>
#include <vector>

#include "support/borderPoints.h"
#include "support/point.h"

namespace tressel {

// A stretch of contour points that are all narrow or all wide, as the
// narrow-run searches (analysis/searchNarrowRun.cpp) link them into a ring.
struct BorderRun {
  lti::point startPoint;
  lti::point endPoint;
  int length = 0;
  bool narrow = false;
  bool holdsTailEnd = false;
};

struct RunNode {
  BorderRun run;
  int prev;
  int next;
};

struct ContourScratch {
  std::vector<lti::point> points;                 // a contour's points in walk order
  std::vector<std::int32_t> widths;               // the tail search's: each point's width
  std::vector<lti::borderPoints::iterator> at;    // and where each is on the list
  std::vector<std::uint32_t> slots;               // a pixel table: position + 1 of a pixel's first occurrence
  std::vector<std::uint32_t> firstSame, nextSame, lastSame;
  std::vector<std::uint32_t> keptBefore;
  std::vector<std::uint8_t> onList;
  std::vector<std::uint8_t> stamps;      // per cell of the width grid's box: the last check that met it
  std::uint8_t stamp = 0;                // that check's number (removeLimbs.cpp)
  std::vector<std::uint8_t> kinds;       // per point: narrow or not (searchNarrowRun.cpp)
  std::vector<std::size_t> tailEnds;     // the positions of the tail's ends
  std::vector<std::size_t> spareTailEnds;
  std::vector<RunNode> runs;
  std::vector<lti::point> interior;      // a base segment's points between its ends (cutProtrusion.cpp)
};

// The limb loop of removeLimbs on the fast path keeps the body contour as the
// scratch's points, each classified once for the limb search (kinds and
// tailEnds), and cuts the arrays in place: a cut keeps the classes of the
// points it keeps, which are those of the same grid cells, and classifies
// only the segment's points it brings in. The contour goes back to the list
// once, after the last cut. Each step matches its list step.
class CTailAnalyzer;
void classifyBodyForLimbs(CTailAnalyzer& a);   // the points of bodyBorder, classified
void classifyHeldBody(CTailAnalyzer& a);       // the same from the points and widths held
void searchClassifiedLimb(CTailAnalyzer& a);   // searchLimb over the points
bool cutClassifiedLimb(CTailAnalyzer& a);      // cutLimb on the points; false when nothing is cut
std::uint8_t limbKindOf(const CTailAnalyzer& a, const lti::point& p);  // 1 when narrow for the limb search

}  // namespace tressel
