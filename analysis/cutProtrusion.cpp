// Cutting the tail or a limb off the body contour: the stretch of contour
// from the first base point to the second is replaced by the interior of the
// base segment's chain.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "analysis/CTailAnalyzer.h"
#include "analysis/contourScratch.h"

namespace tressel {
namespace {

bool holds(const lti::tpointList<int>& list, const lti::point& p) {
  for (const lti::point& q : list) {
    if (q == p) return true;
  }
  return false;
}

// Removes the points strictly between the first base point S and the next
// base point E in cyclic order. A pass walks from the front: it finds S, then
// the first E after it, and erases what lies between; when E lies before S
// (the protrusion runs over the list's end), the first pass erases everything
// after S and a second pass, with S already found, erases everything before E.
void removeBetween(lti::borderPoints& contour, const lti::point& s, const lti::point& e) {
  bool foundS = false;
  bool foundE = false;
  while (!(foundS && foundE)) {
    auto first = contour.begin();
    auto last = contour.end();
    for (auto it = contour.begin(); it != contour.end();) {
      if (!foundS) {
        const bool isS = *it == s;
        ++it;
        if (isS) {
          foundS = true;
          first = it;
        }
        continue;
      }
      if (*it == e) {
        foundE = true;
        last = it;
        break;
      }
      ++it;
    }
    if (first != contour.end() && last != contour.begin()) contour.eraseRange(first, last);
  }
}

// The chain's points after S up to, not including, E, each handed to add.
template <class Add>
void collectInterior(const lti::borderPoints& chain, const lti::point& s, const lti::point& e, Add add) {
  bool foundS = false;
  bool foundE = false;
  while (!(foundS && foundE)) {
    for (const lti::point& p : chain) {
      if (!foundS) {
        foundS = p == s;
        continue;
      }
      if (p == e) {
        foundE = true;
        break;
      }
      add(p);
    }
  }
}

void collectInterior(const lti::borderPoints& chain, const lti::point& s, const lti::point& e,
                     lti::borderPoints& interior) {
  collectInterior(chain, s, e, [&interior](const lti::point& p) { interior.pushBack(p); });
}

// Returns false, and leaves the contour alone, when a base point is missing
// from the contour or from the chain: then the passes above could not end.
bool cutProtrusion(lti::borderPoints& contour, const lti::point& s, const lti::point& e,
                   const lti::borderPoints& chain, int* lengthAfterRemoval) {
  const bool complete = holds(contour, s) && holds(contour, e) && holds(chain, s) && holds(chain, e);
  if (!complete) {
    if (lengthAfterRemoval != nullptr) *lengthAfterRemoval = contour.size();
    return false;
  }
  removeBetween(contour, s, e);
  if (lengthAfterRemoval != nullptr) *lengthAfterRemoval = contour.size();

  lti::borderPoints interior;
  collectInterior(chain, s, e, interior);
  for (auto it = contour.begin(); it != contour.end(); ++it) {
    if (*it == s) {
      ++it;
      contour.insertRange(it, interior.begin(), interior.end());
      break;
    }
  }
  return true;
}

}  // namespace

// The tail's cut as cutProtrusion makes it, with the body contour built
// afresh from the border's points instead of copied and then cut: the border
// is read once, into an array, and S's first position, E's first after it
// and E's first of all say which stretches are kept.
void CTailAnalyzer::cutTail() { cutTailFrom(false); }

// With the border's points and widths held in the scratch (as the tail search
// leaves them), they are not read again, and the body contour's points and
// widths are left there in turn; returns whether they are, and then the body
// contour's list is left empty (with its storedBox) for removeLimbsFrom to
// fill.
bool CTailAnalyzer::cutTailFrom(bool borderHeld) {
  if (!hasTail) {
    bodyBorder->assignFrom(*border);
    return false;
  }
  std::vector<lti::point>& points = contourScratch.points;
  std::size_t n = static_cast<std::size_t>(border->size());
  if (!borderHeld || points.size() != n || contourScratch.widths.size() != n) {
    borderHeld = false;
    points.resize(n);
    n = 0;
    for (const lti::point& p : *border) points[n++] = p;
  }
  const std::size_t none = n;
  std::size_t s = none, eAfterS = none, e = none;
  for (std::size_t i = 0; i < n; ++i) {
    if (points[i] == tailEnd) {
      if (e == none) e = i;
      if (s != none) {
        eAfterS = i;
        break;
      }
    }
    if (s == none && points[i] == tailStart) s = i;
  }
  if (s == none || e == none || !holds(*tailBorder, tailStart) || !holds(*tailBorder, tailEnd)) {
    bodyBorder->assignFrom(*border);
    bodyBorderLength = bodyBorder->size();
    return false;
  }
  std::vector<lti::point>& interior = contourScratch.interior;
  interior.clear();
  collectInterior(*tailBorder, tailStart, tailEnd, [&interior](const lti::point& p) { interior.push_back(p); });
  bodyBorder->clear();
  bodyBorder->storedBox = border->storedBox;
  // The kept stretches are [keepFirst, s] and [keepLast, n), the second empty
  // when E lies only before S; the segment's points go between them.
  const std::size_t keepFirst = eAfterS != none ? 0 : e;
  const std::size_t keepLast = eAfterS != none ? eAfterS : n;
  bodyBorderLength = static_cast<int>(s + 1 - keepFirst + (n - keepLast));
  if (!borderHeld) {
    bodyBorder->appendPoints(points.data() + keepFirst, points.data() + s + 1);
    bodyBorder->appendPoints(interior.data(), interior.data() + interior.size());
    bodyBorder->appendPoints(points.data() + keepLast, points.data() + n);
    return false;
  }

  const auto at = [](std::size_t p) { return static_cast<std::ptrdiff_t>(p); };
  points.erase(points.begin() + at(s) + 1, points.begin() + at(keepLast));
  points.insert(points.begin() + at(s) + 1, interior.begin(), interior.end());
  points.erase(points.begin(), points.begin() + at(keepFirst));
  std::vector<std::int32_t>& widths = contourScratch.widths;
  widths.erase(widths.begin() + at(s) + 1, widths.begin() + at(keepLast));
  widths.insert(widths.begin() + at(s) + 1, interior.size(), 0);
  for (std::size_t q = 0; q < interior.size(); ++q) widths[s + 1 + q] = widthGrid->widthAt(interior[q]);
  widths.erase(widths.begin(), widths.begin() + at(keepFirst));
  return true;
}

void CTailAnalyzer::cutLimb() {
  if (!hasLimb) return;
  cutProtrusion(*bodyBorder, limbStart, limbEnd, *limbBorder, nullptr);
}

// cutProtrusion on the classified points: S's first position i, E's first
// after it j, or else E's first of all k, say which stretches are kept, as in
// cutTail; the segment's points go after S.
bool cutClassifiedLimb(CTailAnalyzer& a) {
  ContourScratch& c = a.contourScratch;
  std::vector<lti::point>& points = c.points;
  const lti::point s = a.limbStart, e = a.limbEnd;
  if (!a.hasLimb || !holds(*a.limbBorder, s) || !holds(*a.limbBorder, e)) return false;
  const std::size_t n = points.size();
  const std::size_t i = static_cast<std::size_t>(std::find(points.begin(), points.end(), s) - points.begin());
  if (i == n) return false;
  const std::size_t j = static_cast<std::size_t>(std::find(points.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                                           points.end(), e) - points.begin());
  const std::size_t k = j < n ? j : static_cast<std::size_t>(std::find(points.begin(), points.end(), e) - points.begin());
  if (k == n) return false;  // E is not on the contour

  c.interior.clear();
  collectInterior(*a.limbBorder, s, e, [&c](const lti::point& p) { c.interior.push_back(p); });
  // The kept stretches as [keepFirst, i] and [j, n) (empty when E lies before S).
  const std::size_t keepFirst = j < n ? 0 : k;
  const std::size_t keepLast = j < n ? j : n;
  const std::size_t m = c.interior.size();
  const auto at = [](std::size_t p) { return static_cast<std::ptrdiff_t>(p); };

  std::vector<std::size_t>& tailEnds = c.spareTailEnds;
  tailEnds.swap(c.tailEnds);
  c.tailEnds.clear();
  for (std::size_t t : tailEnds) {
    if (t >= keepFirst && t <= i) c.tailEnds.push_back(t - keepFirst);
  }
  const std::size_t inserted = i + 1 - keepFirst;  // the first segment point's new position
  for (std::size_t q = 0; q < m; ++q) {
    const lti::point& p = c.interior[q];
    if (p == a.tailStart || p == a.tailEnd) c.tailEnds.push_back(inserted + q);
  }
  for (std::size_t t : tailEnds) {
    if (t >= keepLast) c.tailEnds.push_back(t - keepLast + inserted + m);
  }

  // Replace (i, keepLast) by the segment, then drop what lies before keepFirst.
  points.erase(points.begin() + at(i) + 1, points.begin() + at(keepLast));
  points.insert(points.begin() + at(i) + 1, c.interior.begin(), c.interior.end());
  points.erase(points.begin(), points.begin() + at(keepFirst));
  std::vector<std::uint8_t>& kinds = c.kinds;
  kinds.erase(kinds.begin() + at(i) + 1, kinds.begin() + at(keepLast));
  kinds.insert(kinds.begin() + at(i) + 1, m, 0);
  for (std::size_t q = 0; q < m; ++q) kinds[i + 1 + q] = limbKindOf(a, c.interior[q]);
  kinds.erase(kinds.begin(), kinds.begin() + at(keepFirst));
  return true;
}

}  // namespace tressel
