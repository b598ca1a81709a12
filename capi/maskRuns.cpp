// Run-based labelling: each row's runs are found with word-at-a-time scans,
// each run is united (union-find) with the runs of the row above that touch it
// diagonally or directly, and the component sizes are summed per root.
#include "capi/maskRuns.h"

#include <climits>

#include "support/byteScan.h"
#include "support/exception.h"

namespace tressel {
namespace {

// Runs are counted in int32 indices and each gives two span points, which the
// interface returns as an int.
constexpr std::size_t maxRuns = INT_MAX / 2;

void appendRowRuns(const std::uint8_t* row, int width, int y, std::vector<Run>& runs) {
  int x = lti::findNonZero(row, 0, width);
  while (x < width) {
    const int first = x;
    x = lti::findZero(row, x, width);
    if (runs.size() == maxRuns) throw lti::allocException();
    runs.push_back(Run{y, first, x - 1});
    x = lti::findNonZero(row, x, width);
  }
}

// Union-find over run indices. The root of a set is always its smallest
// index, which is the run holding the component's first pixel in scan order.
class RunSets {
 public:
  explicit RunSets(std::vector<std::int32_t>& parent) : parent_(parent) { parent_.clear(); }
  void add() { parent_.push_back(static_cast<std::int32_t>(parent_.size())); }

  std::int32_t find(std::int32_t i) {
    while (parent_[i] != i) {
      parent_[i] = parent_[parent_[i]];  // path halving
      i = parent_[i];
    }
    return i;
  }

  void unite(std::int32_t a, std::int32_t b) {
    a = find(a);
    b = find(b);
    if (a < b) {
      parent_[b] = a;
    } else if (b < a) {
      parent_[a] = b;
    }
  }

 private:
  std::vector<std::int32_t>& parent_;
};

bool touch(const Run& above, const Run& below) {
  return above.first <= below.last + 1 && below.first <= above.last + 1;
}

}  // namespace

std::vector<Run> maskRuns(const MaskView& mask, bool keepAll) {
  std::vector<Run> runs;
  for (int y = 0; y < mask.height; ++y) appendRowRuns(mask.pixels + y * mask.stride, mask.width, y, runs);
  if (!keepAll) keepLargestComponent(runs);
  return runs;
}

void keepLargestComponent(std::vector<Run>& runs) {
  ComponentWorkspace workspace;
  keepLargestComponent(runs, workspace);
}

void keepLargestComponent(std::vector<Run>& runs, ComponentWorkspace& workspace) {
  if (runs.empty()) return;
  if (runs.size() > maxRuns) throw lti::allocException();
  RunSets sets(workspace.parent);
  std::size_t aboveBegin = 0, aboveEnd = 0;  // runs of the row above the current one
  for (std::size_t begin = 0; begin < runs.size();) {
    const std::int32_t row = runs[begin].row;
    std::size_t end = begin;
    while (end < runs.size() && runs[end].row == row) ++end;
    if (aboveBegin == aboveEnd || runs[aboveBegin].row != row - 1) aboveBegin = aboveEnd = begin;  // none just above
    // Runs of both rows are sorted and disjoint, so the runs above that touch
    // a run form a contiguous range, and the range only moves right.
    std::size_t above = aboveBegin;
    for (std::size_t i = begin; i < end; ++i) {
      sets.add();
      while (above < aboveEnd && runs[above].last + 1 < runs[i].first) ++above;
      for (std::size_t k = above; k < aboveEnd && touch(runs[k], runs[i]); ++k) {
        sets.unite(static_cast<std::int32_t>(k), static_cast<std::int32_t>(i));
      }
    }
    aboveBegin = begin;
    aboveEnd = end;
    begin = end;
  }

  // A run's parent never has a larger index, and a root is the smallest
  // index of its set: in index order, each parent's parent is a root
  // already, so one pass points every run at its root.
  std::vector<std::int32_t>& root = workspace.parent;
  for (std::size_t i = 0; i < runs.size(); ++i) root[i] = root[static_cast<std::size_t>(root[i])];

  // Pixels per component, held at its root; the first root met with the
  // largest size wins.
  std::vector<std::int64_t>& pixels = workspace.pixels;
  pixels.assign(runs.size(), 0);
  std::int32_t best = 0;
  for (std::size_t i = 0; i < runs.size(); ++i) pixels[root[i]] += runs[i].last - runs[i].first + 1;
  for (std::size_t i = 1; i < runs.size(); ++i) {
    if (pixels[i] > pixels[best]) best = static_cast<std::int32_t>(i);
  }

  std::size_t kept = 0;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (root[i] == best) runs[kept++] = runs[i];
  }
  runs.resize(kept);
}

}  // namespace tressel
