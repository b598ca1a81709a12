// The tail search and the limb search: one procedure with two parameter sets.
// The contour is split into runs of narrow and wide points, short wide gaps
// between narrow runs are bridged, the longest narrow run is chosen and may be
// extended across one more gap, and it is accepted when it is long enough and
// its two ends lie close together.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "analysis/CTailAnalyzer.h"
#include "analysis/arithmetic.h"
#include "analysis/contourScratch.h"

namespace tressel {
namespace {

// A doubly linked ring of runs kept in one vector: links are indices, a
// removed run is unlinked and never visited again. "List order" starts at
// head and ends at the run before it; ring order wraps around. The vector is
// the caller's, reused from search to search.
class RunRing {
 public:
  static constexpr int none = -1;

  explicit RunRing(std::vector<RunNode>& nodes) : nodes_(nodes) { nodes_.clear(); }

  int append(const BorderRun& run) {
    const int index = static_cast<int>(nodes_.size());
    nodes_.push_back(RunNode{run, index, index});
    if (head_ == none) {
      head_ = index;
    } else {
      const int last = nodes_[head_].prev;
      nodes_[index].prev = last;
      nodes_[index].next = head_;
      nodes_[last].next = index;
      nodes_[head_].prev = index;
    }
    ++size_;
    return index;
  }

  void remove(int index) {
    RunNode& n = nodes_[index];
    if (size_ == 1) {
      head_ = none;
    } else {
      nodes_[n.prev].next = n.next;
      nodes_[n.next].prev = n.prev;
      if (head_ == index) head_ = n.next;
    }
    --size_;
  }

  int size() const { return size_; }
  int first() const { return head_; }
  int last() const { return head_ == none ? none : nodes_[head_].prev; }
  int ringNext(int index) const { return nodes_[index].next; }
  int ringPrev(int index) const { return nodes_[index].prev; }
  // The run after this one in list order, none after the last.
  int listNext(int index) const { return index == last() ? none : nodes_[index].next; }
  BorderRun& operator[](int index) { return nodes_[index].run; }

 private:
  std::vector<RunNode>& nodes_;
  int head_ = none;
  int size_ = 0;
};

struct SearchSettings {
  int widthThreshold = 0;
  int lengthThreshold = 0;
  int bridgeNeighbourLength = 10;  // one narrow neighbour of a gap must be this long
  bool tailEndsBreakRuns = false;  // limb variant: the tail's ends are never narrow
  lti::point tailStart;
  lti::point tailEnd;
};

struct SearchResult {
  bool accepted = false;
  int runLength = 0;  // length of the chosen run when it was chosen; 0 when rejected
  lti::point startPoint;
  lti::point endPoint;
};

bool isGap(const BorderRun& run, const SearchSettings& s) {
  return !run.narrow && run.length <= 3 && !(s.tailEndsBreakRuns && run.holdsTailEnd);
}

// The contour's points into an array, each marked narrow (1) or not (0); the
// tail variant keeps each point's width, the limb variant (tailEndsBreak)
// notes where the tail's ends are, which are never narrow.
template <bool tailEndsBreak>
void classifyPoints(const lti::borderPoints& contour, const WidthGrid& grid, const SearchSettings& s,
                    ContourScratch& scratch) {
  const std::size_t n = static_cast<std::size_t>(contour.size());
  scratch.points.resize(n);
  scratch.kinds.resize(n);
  if (!tailEndsBreak) scratch.widths.resize(n);
  scratch.tailEnds.clear();
  const WidthGrid::Reader widths = grid.reader();
  const int threshold = s.widthThreshold;
  const lti::point tailStart = s.tailStart, tailEnd = s.tailEnd;
  lti::point* points = scratch.points.data();
  std::uint8_t* narrow = scratch.kinds.data();
  std::int32_t* pointWidths = scratch.widths.data();
  auto it = contour.begin();
  for (std::size_t i = 0; i < n; ++i, ++it) {
    const lti::point p = *it;
    points[i] = p;
    if (tailEndsBreak && (p == tailStart || p == tailEnd)) {
      narrow[i] = 0;
      scratch.tailEnds.push_back(i);
    } else {
      const int width = widths.widthAt(p);
      narrow[i] = width <= threshold ? 1 : 0;
      if (!tailEndsBreak) pointWidths[i] = width;
    }
  }
}

// The first position from i on that is not `kind` (0 or 1), or n; stretches
// of eight positions are compared at once.
std::size_t endOfKind(const std::uint8_t* kinds, std::size_t i, std::size_t n, std::uint8_t kind) {
  const std::uint64_t same = kind ? 0x0101010101010101ull : 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, kinds + i, 8);
    if (word != same) break;
  }
  while (i < n && kinds[i] == kind) ++i;
  return i;
}

// The runs of points of one kind, narrow or not, in contour order, from the
// classified points in the scratch.
RunRing buildRuns(ContourScratch& scratch) {
  RunRing runs(scratch.runs);
  const std::size_t n = scratch.points.size();
  const lti::point* points = scratch.points.data();
  const std::uint8_t* kinds = scratch.kinds.data();
  std::size_t nextTailEnd = 0;  // into scratch.tailEnds, in ascending order
  for (std::size_t first = 0; first < n;) {
    const std::uint8_t narrow = kinds[first];
    const std::size_t end = endOfKind(kinds, first + 1, n, narrow);
    bool holdsTailEnd = false;
    for (; nextTailEnd < scratch.tailEnds.size() && scratch.tailEnds[nextTailEnd] < end; ++nextTailEnd) {
      holdsTailEnd = true;
    }
    runs.append(BorderRun{points[first], points[end - 1], static_cast<int>(end - first), narrow != 0, holdsTailEnd});
    first = end;
  }
  return runs;
}

// When the first and last runs agree, the run across the contour's wrap is one
// run: the last absorbs the first.
void joinAcrossWrap(RunRing& runs) {
  if (runs.size() <= 1) return;
  BorderRun& first = runs[runs.first()];
  BorderRun& last = runs[runs.last()];
  if (first.narrow != last.narrow) return;
  last.endPoint = first.endPoint;
  last.length += first.length;
  last.holdsTailEnd = last.holdsTailEnd || first.holdsTailEnd;
  runs.remove(runs.first());
}

// Closes wide gaps of up to 3 points between two narrow runs of which at
// least one is long enough.
void bridgeGaps(RunRing& runs, const SearchSettings& s) {
  int o = runs.first();
  while (o != RunRing::none) {
    if (runs.size() < 3) return;
    if (!isGap(runs[o], s)) {
      o = runs.listNext(o);
      continue;
    }
    const int prev = runs.ringPrev(o);
    const int next = runs.ringNext(o);
    const bool bridged = runs[prev].narrow && runs[next].narrow &&
                         (runs[prev].length >= s.bridgeNeighbourLength ||
                          runs[next].length >= s.bridgeNeighbourLength);
    if (!bridged) {
      o = runs.listNext(o);
      continue;
    }
    const bool gapWasLast = o == runs.last();
    BorderRun& merged = runs[next];
    merged.length += runs[o].length;
    merged.startPoint = runs[o].startPoint;
    runs.remove(o);
    merged.length += runs[prev].length;
    merged.startPoint = runs[prev].startPoint;
    runs.remove(prev);
    o = gapWasLast ? runs.first() : runs.listNext(next);
  }
}

// The longest narrow run; the first of equals.
int chooseLongestNarrow(RunRing& runs) {
  int chosen = RunRing::none;
  for (int r = runs.first(); r != RunRing::none; r = runs.listNext(r)) {
    if (runs[r].narrow && (chosen == RunRing::none || runs[r].length > runs[chosen].length)) chosen = r;
  }
  return chosen;
}

// Carries the chosen run across one short gap on one side, when the narrow
// run beyond the gap is long enough.
void extendAcrossGap(RunRing& runs, int r, const SearchSettings& s) {
  if (runs.size() < 5) return;
  const int d = runs.ringPrev(r);
  const int c = runs.ringPrev(d);
  const int a = runs.ringNext(r);
  const int b = runs.ringNext(a);
  const int half = s.widthThreshold / 2;
  bool backward = runs[d].length <= half;
  bool forward = runs[a].length <= half;
  if (backward && forward) {
    backward = runs[c].length >= runs[b].length;
    forward = !backward;
  }
  const int farEnough = s.lengthThreshold / 2;
  BorderRun& run = runs[r];
  if (backward && runs[c].length >= farEnough) {
    run.startPoint = runs[c].startPoint;
    run.length += runs[c].length + runs[d].length;
    runs.remove(d);
    runs.remove(c);
  } else if (forward && runs[b].length >= farEnough) {
    run.endPoint = runs[b].endPoint;
    run.length += runs[b].length + runs[a].length;
    runs.remove(a);
    runs.remove(b);
  }
}

// The search over the points the scratch holds classified.
SearchResult searchClassified(const SearchSettings& s, ContourScratch& scratch) {
  SearchResult result;
  RunRing runs = buildRuns(scratch);
  joinAcrossWrap(runs);
  bridgeGaps(runs, s);
  const int chosen = chooseLongestNarrow(runs);
  if (chosen == RunRing::none) return result;  // nothing narrow: never a tail or limb
  result.runLength = runs[chosen].length;
  extendAcrossGap(runs, chosen, s);
  const BorderRun& candidate = runs[chosen];

  if (result.runLength < s.lengthThreshold) {
    result.runLength = 0;
    return result;
  }
  const int64 chord = truncatedLength(squaredDistance(candidate.endPoint, candidate.startPoint));
  if (chord > 2 * int64{s.widthThreshold}) {
    result.runLength = 0;
    return result;
  }
  result.accepted = true;
  result.startPoint = candidate.startPoint;
  result.endPoint = candidate.endPoint;
  return result;
}

// classifyPoints<false> from the points measureWidths left and their cells,
// every one marked on the contour: the width stored there is widthAt's.
void classifyMeasured(const lti::point* points, const std::size_t* cells, std::size_t n, const WidthGrid& grid,
                      const SearchSettings& s, ContourScratch& scratch) {
  scratch.points.assign(points, points + n);
  scratch.kinds.resize(n);
  scratch.widths.resize(n);
  scratch.tailEnds.clear();
  const int threshold = s.widthThreshold;
  std::uint8_t* narrow = scratch.kinds.data();
  std::int32_t* pointWidths = scratch.widths.data();
  for (std::size_t i = 0; i < n; ++i) {
    const int width = grid.storedWidth(cells[i]);
    narrow[i] = width <= threshold ? 1 : 0;
    pointWidths[i] = width;
  }
}

SearchResult searchNarrowRun(const lti::borderPoints& contour, const WidthGrid& grid, const SearchSettings& s,
                             ContourScratch& scratch) {
  if (s.tailEndsBreakRuns) {
    classifyPoints<true>(contour, grid, s, scratch);
  } else {
    classifyPoints<false>(contour, grid, s, scratch);
  }
  return searchClassified(s, scratch);
}

SearchSettings limbSettings(const CTailAnalyzer& a, int contourSize) {
  SearchSettings s;
  s.widthThreshold = percentOf(a.maxWidth, a.limbWidthPercent);
  if (s.widthThreshold < a.limbWidthMinThreshold) s.widthThreshold = a.limbWidthMinThreshold;
  s.lengthThreshold = percentOf(contourSize, a.limbLengthPercent);
  if (s.lengthThreshold == 0) s.lengthThreshold = 1;
  if (s.lengthThreshold > a.limbLengthMaxThreshold) s.lengthThreshold = a.limbLengthMaxThreshold;
  s.bridgeNeighbourLength = 5;
  s.tailEndsBreakRuns = true;
  s.tailStart = a.tailStart;
  s.tailEnd = a.tailEnd;
  return s;
}

void takeLimb(CTailAnalyzer& a, const SearchResult& found) {
  a.limbRunLength = found.runLength;
  a.hasLimb = found.accepted ? 1 : 0;
  if (found.accepted) {
    a.limbStart = found.startPoint;
    a.limbEnd = found.endPoint;
  }
}

}  // namespace

void CTailAnalyzer::searchTail() {
  SearchSettings s;
  s.widthThreshold = percentOf(maxWidth, std::min(tailWidthPercent, 25));
  if (s.widthThreshold < tailWidthMinThreshold) s.widthThreshold = tailWidthMinThreshold;
  s.lengthThreshold = percentOf(border->size(), tailLengthPercent);
  if (s.lengthThreshold > tailLengthMaxThreshold) s.lengthThreshold = tailLengthMaxThreshold;

  const auto n = static_cast<std::size_t>(border->size());
  SearchResult found;
  if (path.steps == nullptr && borderMeasured && contourCells.size() >= n && contourPoints.size() >= n + 4) {
    classifyMeasured(contourPoints.data() + 2, contourCells.data(), n, *widthGrid, s, contourScratch);
    found = searchClassified(s, contourScratch);
  } else {
    found = searchNarrowRun(*border, *widthGrid, s, contourScratch);
  }
  tailRunLength = found.runLength;
  hasTail = found.accepted ? 1 : 0;
  if (found.accepted) {
    tailStart = found.startPoint;
    tailEnd = found.endPoint;
    tailBase = midpoint(tailStart, tailEnd);
  } else {
    tailStart = tailEnd = tailBase = center;
  }
}

void CTailAnalyzer::searchLimb() {
  if (!hasTail) return;
  takeLimb(*this, searchNarrowRun(*bodyBorder, *widthGrid, limbSettings(*this, bodyBorder->size()), contourScratch));
}

void classifyBodyForLimbs(CTailAnalyzer& a) {
  classifyPoints<true>(*a.bodyBorder, *a.widthGrid, limbSettings(a, 0), a.contourScratch);
}

void classifyHeldBody(CTailAnalyzer& a) {
  ContourScratch& c = a.contourScratch;
  const std::size_t n = c.points.size();
  c.kinds.resize(n);
  c.tailEnds.clear();
  const int threshold = limbSettings(a, 0).widthThreshold;
  const lti::point tailStart = a.tailStart, tailEnd = a.tailEnd;
  const lti::point* points = c.points.data();
  const std::int32_t* widths = c.widths.data();
  std::uint8_t* narrow = c.kinds.data();
  for (std::size_t i = 0; i < n; ++i) {
    if (points[i] == tailStart || points[i] == tailEnd) {
      narrow[i] = 0;
      c.tailEnds.push_back(i);
    } else {
      narrow[i] = widths[i] <= threshold ? 1 : 0;
    }
  }
}

void searchClassifiedLimb(CTailAnalyzer& a) {
  const int size = static_cast<int>(a.contourScratch.points.size());
  takeLimb(a, searchClassified(limbSettings(a, size), a.contourScratch));
}

std::uint8_t limbKindOf(const CTailAnalyzer& a, const lti::point& p) {
  if (p == a.tailStart || p == a.tailEnd) return 0;
  return a.widthGrid->widthAt(p) <= limbSettings(a, 0).widthThreshold ? 1 : 0;
}

}  // namespace tressel
