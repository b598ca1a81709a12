// Point lists from literal points and back, for tests.
#pragma once

#include <vector>

#include "support/point.h"

namespace testing_lists {

using Points = std::vector<lti::point>;

template <class List>
List listOf(const Points& points) {
  List list;
  for (const lti::point& p : points) list.pushBack(p);
  return list;
}

template <class List>
Points pointsOf(const List& list) {
  return Points(list.begin(), list.end());
}

}  // namespace testing_lists
