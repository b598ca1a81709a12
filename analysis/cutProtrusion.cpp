// Cutting the tail or a limb off the body contour: the stretch of contour
// from the first base point to the second is replaced by the interior of the
// base segment's chain.
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

// The chain's points after S up to, not including, E.
void collectInterior(const lti::borderPoints& chain, const lti::point& s, const lti::point& e,
                     lti::borderPoints& interior) {
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
      interior.pushBack(p);
    }
  }
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
void CTailAnalyzer::cutTail() {
  if (!hasTail) {
    bodyBorder->assignFrom(*border);
    return;
  }
  std::vector<lti::point>& points = contourScratch.points;
  points.resize(static_cast<std::size_t>(border->size()));
  std::size_t n = 0;
  for (const lti::point& p : *border) points[n++] = p;
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
    return;
  }
  lti::borderPoints interior;
  collectInterior(*tailBorder, tailStart, tailEnd, interior);
  bodyBorder->clear();
  bodyBorder->storedBox = border->storedBox;
  if (eAfterS != none) {
    // S, then E after it: the stretch between them goes.
    bodyBorder->appendPoints(points.data(), points.data() + s + 1);
    bodyBorderLength = static_cast<int>(s + 1 + (n - eAfterS));
    bodyBorder->insertRange(bodyBorder->end(), interior.begin(), interior.end());
    bodyBorder->appendPoints(points.data() + eAfterS, points.data() + n);
  } else {
    // E only before S: what follows S and what precedes E go.
    bodyBorder->appendPoints(points.data() + e, points.data() + s + 1);
    bodyBorderLength = static_cast<int>(s + 1 - e);
    bodyBorder->insertRange(bodyBorder->end(), interior.begin(), interior.end());
  }
}

void CTailAnalyzer::cutLimb() {
  if (!hasLimb) return;
  cutProtrusion(*bodyBorder, limbStart, limbEnd, *limbBorder, nullptr);
}

}  // namespace tressel
