// The analysis's two ways of computing its values must agree on every
// outline and every parameter set: the fast path (regions kept as rasters,
// base segments walked) against the plain one (a list node per pixel, every
// segment drawn into a raster from the origin). Both keep their working lists
// so that those are compared too.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "analysis/CTailAnalyzer.h"
#include "outlineInput.h"
#include "support/exception.h"
#include "support/inputPoints.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "paths_fuzzer: %s differs\n", what);
    std::abort();
  }
}

std::unique_ptr<tressel::CTailAnalyzer> run(const lti::ioPoints& input, const tressel::AnalysisParameters& p,
                                            tressel::Path path) {
  try {
    return std::make_unique<tressel::CTailAnalyzer>(input, p, tressel::Retain::workingLists, path);
  } catch (const lti::allocException&) {
    return nullptr;
  }
}

template <class List>
bool sameList(const std::unique_ptr<List>& a, const std::unique_ptr<List>& b) {
  return a && b && a->equals(*b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzzing::OutlineInput in = fuzzing::decodeOutline(data, size);
  const fuzzing::Box box = in.readsPoints() ? fuzzing::boundingBox(in.x, in.y) : fuzzing::Box{};
  // The plain path draws every base segment into a raster from the origin.
  if (fuzzing::slowButValid(box.cells()) || fuzzing::slowButValid(box.cornerCells())) return 0;

  lti::ioPoints input;
  tressel::appendInputPoints(in.xArg(), in.yArg(), in.countArg(), input);
  const int* q = in.parameters;
  const tressel::AnalysisParameters p{q[0], q[1], q[2], q[3], q[4], q[5], q[6], q[7], q[8]};
  const auto fast = run(input, p, tressel::Path::fast);
  const auto plain = run(input, p, tressel::Path::plain);
  check((fast == nullptr) == (plain == nullptr), "failure");
  if (!fast) return 0;
  const tressel::CTailAnalyzer& f = *fast;
  const tressel::CTailAnalyzer& g = *plain;
  check(f.minX == g.minX && f.minY == g.minY && f.maxX == g.maxX && f.maxY == g.maxY, "bounding box");
  check(f.border->equals(*g.border), "border");
  check(f.hasTail == g.hasTail, "hasTail");
  check(f.center == g.center, "center");
  check(f.maxWidth == g.maxWidth, "maxWidth");
  check(f.tailBase == g.tailBase && f.tailStart == g.tailStart && f.tailEnd == g.tailEnd, "tail");
  check(f.tailRunLength == g.tailRunLength, "tailRunLength");
  check(f.bodyBorderLength == g.bodyBorderLength, "bodyBorderLength");
  check(f.hasLimb == g.hasLimb, "hasLimb");
  if (f.hasTail) {
    check(f.limbRunLength == g.limbRunLength, "limbRunLength");
    if (f.hasLimb) check(f.limbStart == g.limbStart && f.limbEnd == g.limbEnd, "limb");
  }
  check(f.bodyCenter == g.bodyCenter, "bodyCenter");
  check(f.weightedCenter == g.weightedCenter, "weightedCenter");
  check(f.nose == g.nose, "nose");
  if (p.tailWidthPercent > 0) {
    check(sameList(f.area, g.area), "area");
    check(sameList(f.bodyBorder, g.bodyBorder), "bodyBorder");
    check(sameList(f.bodyArea, g.bodyArea), "bodyArea");
    check(sameList(f.tailIo, g.tailIo) && sameList(f.tailBorder, g.tailBorder), "tail segment");
    check(sameList(f.limbIo, g.limbIo) && sameList(f.limbBorder, g.limbBorder), "limb segment");
  }
  return 0;
}
