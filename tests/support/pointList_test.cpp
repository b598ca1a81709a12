#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "support/areaPoints.h"
#include "support/borderPoints.h"
#include "support/draw.h"
#include "support/ioPoints.h"
#include "pointLists.h"

namespace {

using lti::point;
using List = lti::tpointList<int>;
using testing_lists::Points;
using testing_lists::pointsOf;

List listOf(const Points& points) { return testing_lists::listOf<List>(points); }

// Walking backwards must meet the same points: catches broken prev links.
Points pointsBackwards(const List& list) {
  Points result;
  for (auto it = list.end(); it != list.begin();) result.insert(result.begin(), *--it);
  return result;
}

TEST(PointList, PushPopAndEndsReportSizes) {
  List list;
  EXPECT_EQ(list.pushBack(point(1, 1)), 1);
  EXPECT_EQ(list.pushFront(point(0, 0)), 2);
  EXPECT_EQ(list.pushBack(point(2, 2)), 3);
  EXPECT_EQ(list.front(), point(0, 0));
  EXPECT_EQ(list.back(), point(2, 2));
  EXPECT_EQ(list.popFront(), 2);
  EXPECT_EQ(list.popBack(), 1);
  EXPECT_EQ(pointsOf(list), Points({point(1, 1)}));
  EXPECT_EQ(list.popBack(), 0);
  EXPECT_TRUE(list.empty());
}

TEST(PointList, EmptyListEndsAreSafe) {
  List list;
  EXPECT_EQ(list.popFront(), 0);
  EXPECT_EQ(list.popBack(), 0);
  EXPECT_THROW(list.front(), std::out_of_range);
  EXPECT_THROW(list.back(), std::out_of_range);
  const List& constList = list;
  EXPECT_THROW(constList.front(), std::out_of_range);
  EXPECT_EQ(list.begin(), list.end());
}

TEST(PointList, EraseAndInsertKeepOrderAndLinks) {
  List list = listOf({point(0, 0), point(1, 0), point(2, 0), point(3, 0), point(4, 0)});
  auto second = std::next(list.begin());
  auto fourth = std::next(second, 2);
  EXPECT_EQ(list.eraseRange(second, fourth), fourth);
  EXPECT_EQ(pointsOf(list), Points({point(0, 0), point(3, 0), point(4, 0)}));
  EXPECT_EQ(*list.erase(list.begin()), point(3, 0));

  const List source = listOf({point(7, 7), point(8, 8)});
  auto inserted = list.insertRange(list.end(), source.begin(), source.end());
  EXPECT_EQ(*inserted, point(7, 7));
  auto copies = list.insertCopies(list.begin(), 2, point(5, 5));
  EXPECT_EQ(copies, list.begin());
  EXPECT_EQ(*list.insert(std::next(list.begin()), point(6, 6)), point(6, 6));

  const Points expected = {point(5, 5), point(6, 6), point(5, 5), point(3, 0), point(4, 0), point(7, 7), point(8, 8)};
  EXPECT_EQ(pointsOf(list), expected);
  EXPECT_EQ(pointsBackwards(list), expected);
  EXPECT_EQ(list.size(), 7);
}

TEST(PointList, EmptyInsertionsReturnThePositionGiven) {
  List list = listOf({point(1, 1)});
  const List nothing;
  EXPECT_EQ(list.insertRange(list.begin(), nothing.begin(), nothing.end()), list.begin());
  EXPECT_EQ(list.insertCopies(list.end(), 0, point(9, 9)), list.end());
  EXPECT_EQ(list.size(), 1);
}

TEST(PointList, AssignFromCopiesPointsAndStoredBoxInEverySizeRelation) {
  struct Case {
    const char* name;
    Points target;
    Points source;
  };
  const Case cases[] = {
      {"longer source", {point(1, 1)}, {point(2, 2), point(3, 3), point(4, 4)}},
      {"shorter source", {point(1, 1), point(2, 2), point(3, 3)}, {point(9, 9)}},
      {"equal sizes", {point(1, 1), point(2, 2)}, {point(5, 5), point(6, 6)}},
      {"empty source", {point(1, 1), point(2, 2)}, {}},
      {"source over several chunks", {point(1, 1)}, [] {
         Points many;
         for (int i = 0; i < 300; ++i) many.emplace_back(i, 300 - i);
         return many;
       }()},
  };
  for (const Case& c : cases) {
    List target = listOf(c.target);
    target.pushBack(point(7, 7));
    target.erase(target.begin());  // a node left for reuse
    target.pushBack(point(8, 8));
    List source = listOf(c.source);
    source.storedBox = lti::box{1, 2, 3, 4};
    EXPECT_FALSE(target.equals(source)) << c.name;
    target.assignFrom(source);
    EXPECT_EQ(pointsOf(target), c.source) << c.name;
    EXPECT_EQ(pointsBackwards(target), c.source) << c.name;
    EXPECT_EQ(target.size(), static_cast<int>(c.source.size())) << c.name;
    EXPECT_TRUE(target.equals(source)) << c.name;
    EXPECT_TRUE(target.isEqual(source)) << c.name;
    target.pushBack(point(-1, -1));  // the copy's nodes and the spare ones stay apart
    Points extended = c.source;
    extended.push_back(point(-1, -1));
    EXPECT_EQ(pointsOf(target), extended) << c.name;
    EXPECT_EQ(pointsBackwards(target), extended) << c.name;
  }
}

TEST(PointList, EqualsComparesStoredBoxToo) {
  List a = listOf({point(1, 2)});
  List b = listOf({point(1, 2)});
  EXPECT_TRUE(a.equals(b));
  b.storedBox.maxX = 5;
  EXPECT_FALSE(a.equals(b));
  b.storedBox = a.storedBox;
  b.back() = point(2, 1);
  EXPECT_FALSE(a.equals(b));
}

TEST(PointList, SortIsStableScanOrder) {
  List list = listOf({point(5, 2), point(1, 3), point(4, 2), point(4, 2)});
  // Tag the two equal points through their nodes: after a stable sort the
  // node that came first still comes first.
  auto firstEqual = std::next(list.begin(), 2);
  const point* firstEqualAddress = &*firstEqual;
  list.sortPoints();
  EXPECT_EQ(pointsOf(list), Points({point(4, 2), point(4, 2), point(5, 2), point(1, 3)}));
  EXPECT_EQ(&*list.begin(), firstEqualAddress) << "nodes are relinked, not copied, and equal points keep their order";
  EXPECT_EQ(pointsBackwards(list), pointsOf(list));
}

// Appending reuses erased nodes and carves new chunks as pushBack does; the
// points follow the list's own, linked both ways.
TEST(PointList, AppendPointsKeepsOrderAndLinks) {
  struct Case {
    const char* name;
    Points before;
    int erased;  // points erased from the front before appending
    int appended;
  };
  const Case cases[] = {
      {"onto an empty list", {}, 0, 3},
      {"nothing appended", {point(1, 1)}, 0, 0},
      {"into erased nodes", {point(0, 0), point(1, 0), point(2, 0), point(3, 0)}, 3, 2},
      {"across new chunks", {point(5, 5)}, 0, 500},
      {"into erased nodes, then across new chunks", {point(0, 0), point(1, 0), point(2, 0), point(3, 0)}, 2, 300},
  };
  for (const Case& c : cases) {
    List list = listOf(c.before);
    for (int i = 0; i < c.erased; ++i) list.erase(list.begin());
    Points added;
    for (int i = 0; i < c.appended; ++i) added.emplace_back(i, -i);
    list.appendPoints(added.data(), added.data() + added.size());
    Points expected(c.before.begin() + c.erased, c.before.end());
    expected.insert(expected.end(), added.begin(), added.end());
    EXPECT_EQ(pointsOf(list), expected) << c.name;
    EXPECT_EQ(pointsBackwards(list), expected) << c.name;
    EXPECT_EQ(list.size(), static_cast<int>(expected.size())) << c.name;
  }
}

TEST(PointList, SortHandlesLongListsWithNegativeCoordinates) {
  List list;
  Points expected;
  std::uint32_t seed = 7;
  for (int i = 0; i < 1000; ++i) {
    seed = seed * 1103515245u + 12345u;
    const point p(static_cast<int>(seed >> 16) % 41 - 20, static_cast<int>(seed >> 8) % 23 - 11);
    list.pushBack(p);
    expected.push_back(p);
  }
  std::stable_sort(expected.begin(), expected.end(), [](const point& a, const point& b) { return lti::scanOrderLess(a, b); });
  list.sortPoints();
  EXPECT_EQ(pointsOf(list), expected);
  EXPECT_EQ(pointsBackwards(list), expected);
}

TEST(PointList, BoundingBox) {
  EXPECT_EQ(List().boundingBox(), (lti::box{0, 0, 0, 0}));
  EXPECT_EQ(listOf({point(-3, 7)}).boundingBox(), (lti::box{-3, 7, -3, 7}));
  List list = listOf({point(4, -2), point(-5, 9), point(0, 0)});
  list.storedBox = lti::box{100, 100, 100, 100};
  EXPECT_EQ(list.boundingBox(), (lti::box{-5, -2, 4, 9}));
  EXPECT_EQ(list.storedBox, (lti::box{100, 100, 100, 100}));
}

TEST(PointList, TypeNamesAndCloneOfAKind) {
  lti::borderPoints contour;
  contour.pushBack(point(1, 1));
  contour.storedBox = lti::box{0, 0, 3, 3};
  EXPECT_STREQ(contour.getTypeName(), "borderPoints");
  EXPECT_STREQ(lti::ioPoints().getTypeName(), "ioPoints");
  EXPECT_STREQ(lti::areaPoints().getTypeName(), "areaPoints");
  std::unique_ptr<List> copy(contour.clone());
  EXPECT_STREQ(copy->getTypeName(), "tpointList<T>");
  EXPECT_TRUE(copy->equals(contour));
}

#if defined(__x86_64__) || defined(__i386__)
// On the Itanium C++ ABI a pointer to a virtual member holds 1 + its byte
// offset in the table of virtual operations; the destructor takes two slots.
template <class F>
std::ptrdiff_t slotOf(F member) {
  struct {
    std::uintptr_t pointer;
    std::ptrdiff_t adjustment;
  } raw;
  static_assert(sizeof(member) == sizeof(raw), "Itanium member pointer");
  std::memcpy(&raw, &member, sizeof raw);
  return static_cast<std::ptrdiff_t>((raw.pointer - 1) / sizeof(void*));
}

TEST(PointList, VirtualOperationsKeepTheirTableOrder) {
  using It = List::iterator;
  using CIt = List::const_iterator;
  using P = lti::point;
  const std::ptrdiff_t slots[] = {
      slotOf(&List::getTypeName),
      slotOf(&List::write),
      slotOf(&List::read),
      slotOf(&List::size),
      slotOf(&List::hasFewerPointsThan),
      slotOf(&List::hasMorePointsThan),
      slotOf(static_cast<It (List::*)()>(&List::begin)),
      slotOf(static_cast<CIt (List::*)() const>(&List::begin)),
      slotOf(static_cast<It (List::*)()>(&List::end)),
      slotOf(static_cast<CIt (List::*)() const>(&List::end)),
      slotOf(&List::clear),
      slotOf(&List::eraseRange),
      slotOf(&List::erase),
      slotOf(&List::insertRange),
      slotOf(&List::insertCopies),
      slotOf(&List::insert),
      slotOf(&List::pushFront),
      slotOf(&List::popFront),
      slotOf(&List::pushBack),
      slotOf(&List::popBack),
      slotOf(static_cast<P& (List::*)()>(&List::front)),
      slotOf(static_cast<const P& (List::*)() const>(&List::front)),
      slotOf(static_cast<P& (List::*)()>(&List::back)),
      slotOf(static_cast<const P& (List::*)() const>(&List::back)),
      slotOf(&List::clone),
      slotOf(&List::equals),
      slotOf(&List::isEqual),
      slotOf(&List::empty),
  };
  for (std::size_t i = 0; i < std::size(slots); ++i) EXPECT_EQ(slots[i], static_cast<std::ptrdiff_t>(i) + 2) << i;

  using Draw = lti::draw<unsigned char>;
  EXPECT_LT(slotOf(&Draw::setColor), slotOf(&Draw::setPixel));
  EXPECT_LT(slotOf(&Draw::setPixel), slotOf(&Draw::drawLine));
  EXPECT_LT(slotOf(&Draw::drawLine), slotOf(&Draw::setCanvas));
}
#endif

}  // namespace
