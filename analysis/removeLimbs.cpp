// Cleaning the body contour after the tail cut: short loops are pruned, then
// up to ten thin limbs are found and cut off one at a time.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "analysis/CTailAnalyzer.h"
#include "analysis/arithmetic.h"
#include "analysis/contourScratch.h"

namespace tressel {
namespace {

constexpr int maxLimbCuts = 10;

constexpr std::uint32_t none = 0xFFFFFFFFu;

// The slot of p's pixel in the pixel table: the slot holding the position
// (+ 1) of its first occurrence, or the empty slot where that would go.
std::size_t slotOf(const ContourScratch& s, const lti::point& p, int bits) {
  const std::size_t mask = (std::size_t{1} << bits) - 1;
  const std::uint64_t key = (std::uint64_t{static_cast<std::uint32_t>(p.x)} << 32) | static_cast<std::uint32_t>(p.y);
  std::size_t h = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - bits));
  while (s.slots[h] != 0 && s.points[s.slots[h] - 1] != p) h = (h + 1) & mask;
  return h;
}

// Chains the positions of equal pixels, in list order: firstSame[i] is the
// first position of i's pixel, nextSame[i] the next one after i (none after
// the last). The pixels are looked up in an open-addressed table of at least
// twice as many slots as points, so the work grows with the contour alone.
// Returns the table's size in bits; `repeats` counts the positions whose
// pixel came before.
int chainEqualPixels(ContourScratch& s, std::size_t& repeats) {
  repeats = 0;
  const std::size_t n = s.points.size();
  int bits = 4;
  while ((std::size_t{1} << bits) < 2 * n) ++bits;
  s.slots.assign(std::size_t{1} << bits, 0);
  s.firstSame.resize(n);
  s.nextSame.assign(n, none);
  s.lastSame.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const auto position = static_cast<std::uint32_t>(i);
    std::uint32_t& slot = s.slots[slotOf(s, s.points[i], bits)];
    if (slot == 0) {
      slot = position + 1;
      s.firstSame[i] = s.lastSame[i] = position;
    } else {
      const std::uint32_t first = slot - 1;
      ++repeats;
      s.firstSame[i] = first;
      s.nextSame[s.lastSame[first]] = position;
      s.lastSame[first] = position;
    }
  }
  return bits;
}

// Whether a pixel comes back on the contour: no (0), yes (1), or unknown (-1)
// when a point lies off the grid's box. Most contours have no loop, and this
// says so for less than chaining equal pixels costs: a byte per cell of the
// box holds the number of the last check that met its pixel, so the plane is
// cleared only when the numbers wrap around.
int pixelsRepeat(ContourScratch& s, const WidthGrid& grid) {
  const auto columns = static_cast<std::uint64_t>(grid.columns());
  const auto rows = static_cast<std::uint64_t>(grid.rows());
  const std::size_t cells = static_cast<std::size_t>(columns * rows);
  if (cells == 0) return -1;
  if (s.stamps.size() < cells) s.stamps.resize(cells, 0);
  if (++s.stamp == 0) {
    std::fill(s.stamps.begin(), s.stamps.end(), std::uint8_t{0});
    s.stamp = 1;
  }
  const std::uint8_t stamp = s.stamp;
  std::uint8_t* stamps = s.stamps.data();
  const std::int64_t minX = grid.minX(), minY = grid.minY();
  for (const lti::point& p : s.points) {
    const auto cx = static_cast<std::uint64_t>(p.x - minX);  // wraps when left of the box
    const auto cy = static_cast<std::uint64_t>(p.y - minY);
    if ((cx >= columns) | (cy >= rows)) return -1;
    std::uint8_t& cell = stamps[cy * columns + cx];
    if (cell == stamp) return 1;
    cell = stamp;
  }
  return 0;
}

// pruneLoops without walking the window from every point: each point's next
// occurrence of its pixel is looked up, and the steps to it and the tail ends
// on the way are counted. Positions are those of the list before pruning. The
// walk only ever erases points ahead of P, and a stretch over the list's end
// ends it, so every position after P is still on the list: the next
// occurrence after P is the first met, and only positions before P (reached
// by wrapping), whose state is then final, need counts of what is left.
// Returns whether it erased any point. With pointsHeld, the scratch's points
// are the contour's already, and the list is walked only when a pixel comes
// back; with listPending too, the list is empty and waits for those points,
// and is given them only then (listPending is then cleared).
bool pruneLoopsIndexed(lti::borderPoints& contour, int window, const lti::point& tailStart,
                       const lti::point& tailEnd, const WidthGrid& grid, ContourScratch& s, bool pointsHeld,
                       bool& listPending) {
  if (window <= 0) return false;
  if (!listPending && (!pointsHeld || s.points.size() != static_cast<std::size_t>(contour.size()))) {
    s.points.resize(static_cast<std::size_t>(contour.size()));
    std::size_t i = 0;
    for (const lti::point& p : contour) s.points[i++] = p;
  }
  if (pixelsRepeat(s, grid) == 0) return false;
  const std::size_t n = s.points.size();
  std::size_t repeats = 0;
  const int bits = chainEqualPixels(s, repeats);
  if (repeats == 0) return false;  // no pixel comes back: no loop
  if (listPending) {
    contour.appendPoints(s.points.data(), s.points.data() + n);
    listPending = false;
  }
  s.at.resize(n);
  auto it = contour.begin();
  for (std::size_t i = 0; i < n; ++i, ++it) s.at[i] = it;
  s.onList.assign(n, 1);
  bool erased = false;

  // The tail's ends: a pixel occurs only a few times on a contour, so the
  // tail ends on a stretch are counted along their pixels' chains.
  auto firstOf = [&](const lti::point& p) { return s.slots[slotOf(s, p, bits)] - 1; };  // none if absent
  const std::uint32_t tailChains[2] = {firstOf(tailStart), tailEnd != tailStart ? firstOf(tailEnd) : none};
  // Whether a tail end still on the list lies at a position first..last.
  auto passesTail = [&](std::size_t first, std::size_t last) {
    for (std::uint32_t chain : tailChains) {
      for (std::uint32_t k = chain; k != none; k = s.nextSame[k]) {
        if (k >= first && k <= last && s.onList[k]) return true;
      }
    }
    return false;
  };
  // Positions still on the list before p, for p up to the current point.
  s.keptBefore.assign(1, 0);
  auto keptBefore = [&](std::size_t p) {
    while (s.keptBefore.size() <= p) {
      const std::size_t k = s.keptBefore.size() - 1;
      s.keptBefore.push_back(s.keptBefore[k] + s.onList[k]);
    }
    return int64{s.keptBefore[p]};
  };

  std::size_t i = 0;
  while (i < n) {
    std::size_t q = s.nextSame[i];
    bool wrapped = false;
    int64 steps = 0;
    if (q != none) {
      steps = static_cast<int64>(q - i);
    } else {
      for (std::uint32_t k = s.firstSame[i]; k != i; k = s.nextSame[k]) {
        if (!s.onList[k]) continue;
        q = k;
        wrapped = true;
        steps = static_cast<int64>(n - 1 - i) + keptBefore(k + 1);
        break;
      }
    }
    if (q == none || steps > window) {
      ++i;
      continue;
    }
    const bool tailPassed = wrapped ? passesTail(i + 1, n - 1) || passesTail(0, q) : passesTail(i + 1, q);
    if (tailPassed) {
      ++i;
      continue;
    }
    if (wrapped) {
      contour.eraseRange(std::next(s.at[i]), contour.end());
      contour.eraseRange(contour.begin(), std::next(s.at[q]));
      return true;  // P is now the last point
    }
    contour.eraseRange(std::next(s.at[i]), std::next(s.at[q]));
    for (std::size_t k = i + 1; k <= q; ++k) s.onList[k] = 0;
    erased = true;
    i = q + 1;
  }
  return erased;
}

}  // namespace

void CTailAnalyzer::removeLimbs() { removeLimbsFrom(false); }

// With bodyHeld, the scratch holds the body contour's points and widths and
// the list waits for them, as cutTailFrom leaves them; they stand for the
// contour as long as no loop is pruned, and go to the list once, at the end.
void CTailAnalyzer::removeLimbsFrom(bool bodyHeld) {
  if (!hasTail) return;
  bool listPending = bodyHeld;
  const int size = bodyHeld ? static_cast<int>(contourScratch.points.size()) : bodyBorder->size();
  const int window = percentOf(size, loopLengthMaxPercent);
  if (window > 0 && path.steps != nullptr) {
    path.steps->pruneLoops(*this, window);
  } else if (window > 0) {
    if (pruneLoopsIndexed(*bodyBorder, window, tailStart, tailEnd, *widthGrid, contourScratch, bodyHeld, listPending)) {
      bodyHeld = false;
    }
  }

  if (path.steps != nullptr) {
    for (int cut = 0; cut < maxLimbCuts; ++cut) {
      searchLimb();
      if (!hasLimb) return;
      buildLimbSegment();
      cutLimb();
    }
    return;
  }

  if (bodyHeld) {
    classifyHeldBody(*this);
  } else {
    classifyBodyForLimbs(*this);
  }
  bool changed = false;
  for (int cut = 0; cut < maxLimbCuts; ++cut) {
    searchClassifiedLimb(*this);
    if (!hasLimb) break;
    buildLimbSegment();
    // A cut that cuts nothing leaves the contour as it was, so every further
    // search would find and fail to cut the same limb again.
    if (!cutClassifiedLimb(*this)) break;
    changed = true;
  }
  if (changed || listPending) {
    const std::vector<lti::point>& points = contourScratch.points;
    bodyBorder->clear();
    bodyBorder->appendPoints(points.data(), points.data() + points.size());
  }
}

}  // namespace tressel
