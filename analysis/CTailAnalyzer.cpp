#include "analysis/CTailAnalyzer.h"

#include "analysis/removeSpurs.h"

namespace tressel {

CTailAnalyzer::CTailAnalyzer(const AnalysisParameters& p, Path path_)
    : AnalysisParameters(p),
      outline(std::make_unique<lti::ioPoints>()),
      border(std::make_unique<lti::borderPoints>()),
      area(std::make_unique<lti::areaPoints>()),
      bodyBorder(std::make_unique<lti::borderPoints>()),
      bodyArea(std::make_unique<lti::areaPoints>()),
      tailIo(std::make_unique<lti::ioPoints>()),
      tailBorder(std::make_unique<lti::borderPoints>()),
      limbIo(std::make_unique<lti::ioPoints>()),
      limbBorder(std::make_unique<lti::borderPoints>()),
      widthGrid(std::make_unique<WidthGrid>()),
      path(path_) {}

CTailAnalyzer::CTailAnalyzer(const lti::ioPoints& input, const AnalysisParameters& parameters, Retain retain_,
                             Path path_)
    : CTailAnalyzer(parameters, path_) {
  retain = retain_;
  run(input, retain_);
}

void CTailAnalyzer::run(const lti::ioPoints& input, Retain retain) {
  outline->assignFrom(input);
  outline->sortPoints();
  findBoundingBox();
  cleanOutline();
  analyzeBorder(retain);
}

void CTailAnalyzer::analyzeBorder(Retain retain) {
  if (tailWidthPercent <= 0) return;  // the border service needs nothing more

  fillArea();
  computeCenter();
  measureWidths();
  searchTail();
  buildTailSegment();
  if (path.steps == nullptr) {
    // The tail search leaves the border's points and widths in the scratch.
    removeLimbsFrom(cutTailFrom(true));
  } else {
    cutTail();
    removeLimbs();
  }
  computeBodyCenters();
  placeNose();
  if (retain == Retain::borderOnly) releaseWorkingLists();
}

void CTailAnalyzer::releaseWorkingLists() {
  outline.reset();
  area.reset();
  bodyBorder.reset();
  bodyArea.reset();
  tailIo.reset();
  tailBorder.reset();
  limbIo.reset();
  limbBorder.reset();
  widthGrid.reset();
  areaMask.release();
  bodyMask.release();
  contourPoints = std::vector<lti::point>();
  contourCells = std::vector<std::size_t>();
  borderMeasured = false;
  traceScratch = lti::traceScratch();
}

// The values of the fields a fresh record starts with (see the header).
void CTailAnalyzer::resetResults() {
  hasTail = 0;
  hasLimb = 0;
  center = lti::point();
  bodyCenter = lti::point();
  weightedCenter = lti::point();
  maxWidth = 0;
  tailBase = lti::point();
  tailStart = lti::point();
  tailEnd = lti::point();
  tailRunLength = 0;
  bodyBorderLength = 0;
  limbStart = lti::point();
  limbEnd = lti::point();
  limbRunLength = 0;
  nose = lti::point();
  minX = 2147483647;
  maxX = 0;
  minY = 2147483647;
  maxY = 0;
}

void CTailAnalyzer::reanalyze(const lti::ioPoints& input) {
  clearForReanalysis();
  run(input, retain);
}

void CTailAnalyzer::reanalyzeJoinedRuns(const lti::box& spansBox) {
  clearForReanalysis();
  outline->clear();
  // findBoundingBox and cleanOutline, from the runs.
  minX = spansBox.minX;
  minY = spansBox.minY;
  maxX = spansBox.maxX;
  maxY = spansBox.maxY;
  lti::traceJoinedRuns(spansBox, *border, traceScratch);
  removeSpurs(*border);
  analyzeBorder(retain);
}

void CTailAnalyzer::clearForReanalysis() {
  resetResults();
  // Nothing of the last input may remain where a step stops early.
  for (lti::tpointList<int>* list : {static_cast<lti::tpointList<int>*>(area.get()), static_cast<lti::tpointList<int>*>(bodyBorder.get()),
                                     static_cast<lti::tpointList<int>*>(bodyArea.get()), static_cast<lti::tpointList<int>*>(tailIo.get()),
                                     static_cast<lti::tpointList<int>*>(tailBorder.get()), static_cast<lti::tpointList<int>*>(limbIo.get()),
                                     static_cast<lti::tpointList<int>*>(limbBorder.get())}) {
    list->clear();
  }
  areaMask.clear();
  bodyMask.clear();
}


}  // namespace tressel
