// Cleaning the body contour after the tail cut: short loops are pruned, then
// up to ten thin limbs are found and cut off one at a time.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <numeric>
#include <vector>

#include "analysis/CTailAnalyzer.h"
#include "analysis/arithmetic.h"

namespace tressel {
namespace {

constexpr int maxLimbCuts = 10;

// Counts of a 0/1 value per list position (a Fenwick tree).
class PositionCounts {
 public:
  explicit PositionCounts(const std::vector<std::uint8_t>& values) : tree_(values.size() + 1, 0) {
    for (std::size_t i = 1; i < tree_.size(); ++i) {
      tree_[i] += values[i - 1];
      const std::size_t up = i + (i & (~i + 1));
      if (up < tree_.size()) tree_[up] += tree_[i];
    }
  }
  void remove(std::size_t position) {
    for (std::size_t i = position + 1; i < tree_.size(); i += i & (~i + 1)) --tree_[i];
  }
  // The sum over positions 0 to `last`.
  int64 upTo(std::size_t last) const {
    int64 sum = 0;
    for (std::size_t i = last + 1; i > 0; i -= i & (~i + 1)) sum += tree_[i];
    return sum;
  }

 private:
  std::vector<std::int32_t> tree_;
};

// The positions 0..n-1 in scan order of their points, equal points in list
// order: counted into rows (list order kept), then each row by column, by
// insertion while short. A comparison sort does it all where the box has many
// more rows than there are points.
void sortByPixel(const std::vector<lti::borderPoints::iterator>& at, std::vector<std::size_t>& order) {
  const std::size_t n = at.size();
  auto before = [&at](std::size_t a, std::size_t b) {
    const lti::point &p = *at[a], &q = *at[b];
    return p.y != q.y ? p.y < q.y : p.x != q.x ? p.x < q.x : a < b;
  };
  if (n == 0) return;
  int top = at[0]->y, bottom = at[0]->y;
  for (const auto& it : at) {
    top = std::min(top, it->y);
    bottom = std::max(bottom, it->y);
  }
  const std::int64_t rows = std::int64_t{bottom} - top + 1;
  if (rows > 2 * static_cast<std::int64_t>(n) + 64) {
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), before);
    return;
  }
  std::vector<std::size_t> rowStarts(static_cast<std::size_t>(rows) + 1, 0);
  auto rowOf = [&](std::size_t i) { return static_cast<std::size_t>(std::int64_t{at[i]->y} - top); };
  for (std::size_t i = 0; i < n; ++i) ++rowStarts[rowOf(i) + 1];
  for (std::size_t r = 1; r < rowStarts.size(); ++r) rowStarts[r] += rowStarts[r - 1];
  std::vector<std::size_t> next(rowStarts.begin(), rowStarts.end() - 1);
  for (std::size_t i = 0; i < n; ++i) order[next[rowOf(i)]++] = i;
  for (std::size_t r = 0; r + 1 < rowStarts.size(); ++r) {
    std::size_t* first = order.data() + rowStarts[r];
    std::size_t* last = order.data() + rowStarts[r + 1];
    if (last - first > 16) {
      std::sort(first, last, before);
      continue;
    }
    for (std::size_t* i = first + 1; i < last; ++i) {
      const std::size_t v = *i;
      std::size_t* j = i;
      for (; j > first && before(v, j[-1]); --j) *j = j[-1];
      *j = v;
    }
  }
}

// pruneLoops without walking the window from every point: each point's next
// occurrence of its pixel is looked up, and the steps to it and the tail ends
// on the way are counted. Positions are those of the list before pruning. The
// walk only ever erases points ahead of P, and a stretch over the list's end
// ends it, so every position after P is still on the list: the next
// occurrence after P is the first met, and only positions before P (reached
// by wrapping) need the counts of what is left.
void pruneLoopsIndexed(lti::borderPoints& contour, int window, const lti::point& tailStart,
                       const lti::point& tailEnd) {
  if (window <= 0) return;
  const std::size_t n = static_cast<std::size_t>(contour.size());
  constexpr std::size_t none = static_cast<std::size_t>(-1);
  std::vector<lti::borderPoints::iterator> at;
  at.reserve(n);
  for (auto it = contour.begin(); it != contour.end(); ++it) at.push_back(it);

  // Positions of equal pixels, chained in list order.
  std::vector<std::size_t> order(n);
  sortByPixel(at, order);
  std::vector<std::size_t> nextSame(n, none), firstSame(n);
  for (std::size_t k = 0; k < n; ++k) {
    const bool startsGroup = k == 0 || *at[order[k - 1]] != *at[order[k]];
    firstSame[order[k]] = startsGroup ? order[k] : firstSame[order[k - 1]];
    if (!startsGroup) nextSame[order[k - 1]] = order[k];
  }

  std::vector<std::uint8_t> onList(n, 1), tailFlags(n, 0);
  for (std::size_t i = 0; i < n; ++i) tailFlags[i] = *at[i] == tailStart || *at[i] == tailEnd;
  PositionCounts left(onList), tails(tailFlags);
  auto erase = [&](std::size_t position) {
    onList[position] = 0;
    left.remove(position);
    if (tailFlags[position]) tails.remove(position);
  };

  std::size_t i = 0;
  while (i < n) {
    std::size_t q = nextSame[i];
    bool wrapped = false;
    int64 steps = 0;
    if (q != none) {
      steps = static_cast<int64>(q - i);
    } else {
      for (std::size_t k = firstSame[i]; k != i; k = nextSame[k]) {
        if (!onList[k]) continue;
        q = k;
        wrapped = true;
        steps = static_cast<int64>(n - 1 - i) + left.upTo(k);
        break;
      }
    }
    if (q == none || steps > window) {
      ++i;
      continue;
    }
    const int64 tailsPassed = wrapped ? tails.upTo(n - 1) - tails.upTo(i) + tails.upTo(q) : tails.upTo(q) - tails.upTo(i);
    if (tailsPassed > 0) {
      ++i;
      continue;
    }
    if (wrapped) {
      contour.eraseRange(std::next(at[i]), contour.end());
      contour.eraseRange(contour.begin(), std::next(at[q]));
      return;  // P is now the last point
    }
    contour.eraseRange(std::next(at[i]), std::next(at[q]));
    for (std::size_t k = i + 1; k <= q; ++k) erase(k);
    i = q + 1;
  }
}

}  // namespace

void CTailAnalyzer::removeLimbs() {
  if (!hasTail) return;
  const int window = percentOf(bodyBorder->size(), loopLengthMaxPercent);
  if (window > 0 && path.steps != nullptr) {
    path.steps->pruneLoops(*this, window);
  } else if (window > 0) {
    pruneLoopsIndexed(*bodyBorder, window, tailStart, tailEnd);
  }

  for (int cut = 0; cut < maxLimbCuts; ++cut) {
    searchLimb();
    if (!hasLimb) return;
    buildLimbSegment();
    cutLimb();
  }
}

}  // namespace tressel
