#include "analysis/CTailAnalyzer.h"

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
  if (tailWidthPercent <= 0) return;  // the border service needs nothing more

  fillArea();
  computeCenter();
  measureWidths();
  searchTail();
  buildTailSegment();
  cutTail();
  removeLimbs();
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
}

}  // namespace tressel
