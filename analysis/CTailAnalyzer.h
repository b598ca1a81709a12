// The one-shot analysis of one silhouette. The constructor runs every step of
// the pipeline once, in order, each step reading and writing fields of this
// record; the caller then reads the results (or exports the border) and
// destroys it. The steps are public so that each can be exercised on a record
// prepared by hand, but only the constructor runs them in an analysis.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/AnalysisParameters.h"
#include "analysis/RegionMask.h"
#include "analysis/WidthGrid.h"
#include "analysis/contourScratch.h"
#include "support/areaPoints.h"
#include "support/borderPoints.h"
#include "support/ioPoints.h"
#include "support/point.h"

namespace tressel {

// What the analysis keeps once it has run. The working lists (outline, area,
// body contour and area, segments) and the grid are normally released at the
// end; a caller that wants to draw them (the overlay tool) keeps them. An
// analyzer that is run again on frame after frame (FrameAnalyzer) keeps the
// lists, the grid and the regions' runs for their storage, and builds no
// per-pixel area lists.
enum class Retain { borderOnly, workingLists, regions };

// How the steps compute their values. The plain path takes the direct way:
// the outline is traced in a raster of its box, every region is a list with a
// node per pixel and every base segment is drawn into a raster from the
// origin. The fast path computes the same values with less work: the outline
// is traced over its runs, regions stay runs that the sums and the grid read
// directly, and a segment whose ends lie on the raster is walked without one. Both give the
// same results; the plain path is kept to check that, and only there: its
// steps (analysis/PlainPath.cpp) are in the object library tressel_plain of
// the tests, fuzz targets and benchmarks, never in the shipped libraries.
// Path::plain names them, so using it links only with that library.
class CTailAnalyzer;
struct PointSums;
struct PlainSteps {
  void (*traceOutline)(CTailAnalyzer&);
  void (*fillArea)(CTailAnalyzer&);
  PointSums (*areaSums)(const CTailAnalyzer&);
  void (*markArea)(CTailAnalyzer&);
  void (*pruneLoops)(CTailAnalyzer&, int window);
  PointSums (*bodySums)(CTailAnalyzer&);
};
extern const PlainSteps plainSteps;  // in tressel_plain only

struct Path {
  const PlainSteps* steps;  // null on the fast path
  static const Path fast;
  static const Path plain;
  friend constexpr bool operator==(Path a, Path b) { return a.steps == b.steps; }
  friend constexpr bool operator!=(Path a, Path b) { return a.steps != b.steps; }
};
inline constexpr Path Path::fast{nullptr};
inline constexpr Path Path::plain{&plainSteps};

// The record's first fields are the parameters it was made with.
class CTailAnalyzer : public AnalysisParameters {
 public:
  // Every caller says which path it takes: there is no default.
  CTailAnalyzer(const lti::ioPoints& input, const AnalysisParameters& parameters, Retain retain, Path path);
  CTailAnalyzer(const CTailAnalyzer&) = delete;
  CTailAnalyzer& operator=(const CTailAnalyzer&) = delete;
  ~CTailAnalyzer() = default;

  // Writes every point of `border` into x[i], y[i] from index 0 and returns
  // their number; writes nothing when the border is empty (returns 0) or when
  // count <= 0 (returns count). The arrays must hold the whole border.
  int exportBorder(float* x, float* y, int count) const;

  // Runs the analysis again on new input in a record made with
  // Retain::regions, reusing its storage: every result is first set back to
  // its value in a fresh record. The input may be the record's own outline.
  void reanalyze(const lti::ioPoints& input);
  // The same for input whose spans the caller has reduced to joined runs in
  // scan order, held in traceScratch.runs, with the box of the spans' points
  // (see lti::traceJoinedRuns): the outline list is left empty.
  void reanalyzeJoinedRuns(const lti::box& spansBox);

  // Pipeline steps, in the order the constructor runs them.
  void findBoundingBox();
  void cleanOutline();
  void fillArea();
  void computeCenter();
  void measureWidths();
  void searchTail();
  void buildTailSegment();
  void cutTail();
  void removeLimbs();
  void searchLimb();
  void buildLimbSegment();
  void cutLimb();
  void computeBodyCenters();
  void placeNose();

  // Creates the nine lists and the empty grid, as the constructor does before
  // the first step; a record made this way holds no analysis yet, and its
  // steps work on the lists on the plain path, on the runs on the fast path.
  CTailAnalyzer(const AnalysisParameters& parameters, Path path);

  std::uint8_t hasTail = 0;
  std::uint8_t hasLimb = 0;
  lti::point center;
  lti::point bodyCenter;
  lti::point weightedCenter;
  int maxWidth = 0;
  lti::point tailBase;
  lti::point tailStart;
  lti::point tailEnd;
  int tailRunLength = 0;
  int bodyBorderLength = 0;
  lti::point limbStart;
  lti::point limbEnd;
  int limbRunLength = 0;
  lti::point nose;

  std::unique_ptr<lti::ioPoints> outline;
  std::unique_ptr<lti::borderPoints> border;
  std::unique_ptr<lti::areaPoints> area;
  std::unique_ptr<lti::borderPoints> bodyBorder;
  std::unique_ptr<lti::areaPoints> bodyArea;
  std::unique_ptr<lti::ioPoints> tailIo;
  std::unique_ptr<lti::borderPoints> tailBorder;
  std::unique_ptr<lti::ioPoints> limbIo;
  std::unique_ptr<lti::borderPoints> limbBorder;

  int minX = 2147483647;
  int maxX = 0;
  int minY = 2147483647;
  int maxY = 0;

  std::unique_ptr<WidthGrid> widthGrid;

  Path path;
  Retain retain = Retain::borderOnly;
  // The fast path's form of `area` and `bodyArea`: the filled regions as runs.
  RegionMask areaMask;
  RegionMask bodyMask;
  // Scratch space of measureWidths: the contour's points in an array (from
  // index 2, in the border's order) and the grid cell of each. While
  // borderMeasured, they are those of the border as measureWidths read it,
  // and the tail search takes them instead of walking the border again.
  std::vector<lti::point> contourPoints;
  std::vector<std::size_t> contourCells;
  bool borderMeasured = false;
  // Scratch space of the outline's trace on the fast path.
  lti::traceScratch traceScratch;
  // Scratch space of the body contour's cleaning on the fast path.
  ContourScratch contourScratch;

 private:
  void run(const lti::ioPoints& input, Retain retain);
  void analyzeBorder(Retain retain);  // every step after cleanOutline
  void clearForReanalysis();
  // cutTail and removeLimbs taking the contour's points (and widths) from
  // contourScratch where the step before left them there; see contourScratch.h.
  bool cutTailFrom(bool borderHeld);
  void removeLimbsFrom(bool bodyHeld);
  void releaseWorkingLists();
  void resetResults();
};

}  // namespace tressel
