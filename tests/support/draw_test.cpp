#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "support/channel8.h"
#include "support/draw.h"

namespace {

using lti::point;
using Points = std::vector<point>;

// The pixels a line sets on a rows x columns canvas, in scan order.
Points linePixels(int rows, int columns, int x0, int y0, int x1, int y1) {
  lti::channel8 canvas(rows, columns, 0);
  lti::draw<unsigned char> pen;
  pen.setCanvas(&canvas);
  pen.setColor(255);
  pen.drawLine(x0, y0, x1, y1);
  Points set;
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < columns; ++x) {
      if (canvas.at(y, x) != 0) set.emplace_back(x, y);
    }
  }
  EXPECT_EQ(pen.getPen(), point(x1, y1)) << "the pen ends at the caller's end point";
  return set;
}

struct LineCase {
  int size;
  int x0, y0, x1, y1;
  Points expected;  // scan order
};

TEST(DrawLine, SetsTheExpectedPixels) {
  const LineCase cases[] = {
      {10, 0, 0, 4, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}},
      {10, 4, 2, 0, 0, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}},
      {10, 2, 2, 2, 2, {{2, 2}}},
      {10, 3, 5, 3, 1, {{3, 1}, {3, 2}, {3, 3}, {3, 4}, {3, 5}}},
      {10, 0, 4, 5, 0, {{5, 0}, {4, 1}, {2, 2}, {3, 2}, {1, 3}, {0, 4}}},
      {10, 0, 0, 2, 5, {{0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 4}, {2, 5}}},
      {10, 0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
      {10, 0, 3, 3, 0, {{3, 0}, {2, 1}, {1, 2}, {0, 3}}},  // 45 degrees upward
      {10, 6, 1, 2, 3, {{6, 1}, {4, 2}, {5, 2}, {2, 3}, {3, 3}}},
      // Clipped on a 5 x 5 canvas.
      {5, -2, 1, 3, 1, {{0, 1}, {1, 1}, {2, 1}, {3, 1}}},
      {5, -3, 0, -1, 4, {}},
      {5, -4, 1, 4, 3, {{0, 2}, {1, 2}, {2, 2}, {3, 3}, {4, 3}}},
      {5, 1, 1, 7, 4, {{1, 1}, {2, 1}, {3, 2}, {4, 2}}},
      {5, 2, -3, 2, 9, {{2, 0}, {2, 1}, {2, 2}, {2, 3}, {2, 4}}},
      {5, 7, 2, -9, 2, {{0, 2}, {1, 2}, {2, 2}, {3, 2}, {4, 2}}},
      {5, 6, 0, 9, 4, {}},
      {5, 0, 6, 4, 5, {}},
  };
  for (const LineCase& c : cases) {
    EXPECT_EQ(linePixels(c.size, c.size, c.x0, c.y0, c.x1, c.y1), c.expected)
        << "drawLine(" << c.x0 << ", " << c.y0 << ", " << c.x1 << ", " << c.y1 << ") on " << c.size;
  }
}

TEST(DrawLine, ExtremeCoordinatesAreClippedWithoutOverflow) {
  const Points across = linePixels(5, 5, INT_MIN, 2, INT_MAX, 2);
  EXPECT_EQ(across, (Points{{0, 2}, {1, 2}, {2, 2}, {3, 2}, {4, 2}}));
  EXPECT_TRUE(linePixels(5, 5, INT_MIN, INT_MIN, INT_MAX, INT_MIN).empty());
  EXPECT_EQ(linePixels(5, 5, INT_MIN, INT_MIN, INT_MAX, INT_MAX),
            (Points{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}));
  // The crossing of the top edge lies at x = 3.99999..., which truncates to 3.
  EXPECT_EQ(linePixels(5, 5, 2, 2, INT_MAX, INT_MIN), (Points{{3, 0}, {2, 1}, {2, 2}}));
}

TEST(SetPixel, OutsideTheCanvasChangesNothing) {
  lti::channel8 canvas(5, 5, 0);
  lti::draw<unsigned char> pen;
  pen.setCanvas(&canvas);
  pen.setColor(255);
  pen.setPixel(2, 3);
  EXPECT_EQ(canvas.at(3, 2), 255);
  for (const point& outside : {point(-1, 0), point(5, 0), point(0, -1), point(0, 5), point(INT_MIN, INT_MAX)}) {
    pen.setPixel(outside.x, outside.y);
    EXPECT_EQ(pen.getPen(), point(2, 3));
  }
  pen.setCanvas(nullptr);
  pen.setPixel(1, 1);
  EXPECT_EQ(canvas.at(1, 1), 255) << "a null canvas is ignored";
}

TEST(Channel8, SizesAndClearing) {
  lti::channel8 raster(3, 4, 7);
  EXPECT_EQ(raster.rows(), 3);
  EXPECT_EQ(raster.columns(), 4);
  EXPECT_EQ(raster.lastRow(), 2);
  EXPECT_EQ(raster.lastColumn(), 3);
  EXPECT_EQ(raster.at(2, 3), 7);
  raster.at(1, 1) = 9;
  raster.setSize(3, 4, 0);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(raster.at(y, x), 0);
  }
  EXPECT_EQ(raster.getRow(2).size(), 4);
  EXPECT_STREQ(raster.getTypeName(), "channel8");
  EXPECT_EQ(lti::channel8().lastRow(), -1);
}

TEST(Channel8, RasterWithoutStorageDrawsNothing) {
  lti::channel8 raster(-3, 5, 0);
  EXPECT_EQ(raster.rows(), -3);
  EXPECT_EQ(raster.columns(), 5);
  EXPECT_FALSE(raster.hasStorage());
  lti::draw<unsigned char> pen;
  pen.setCanvas(&raster);
  pen.setColor(255);
  pen.setPixel(0, 0);
  pen.drawLine(-5, -5, 4, 4);
  EXPECT_EQ(pen.getPen(), point(4, 4));
}

TEST(Channel8, SizeBoundRaisesAllocException) {
  const long long big = 1LL << 31;
  EXPECT_THROW(lti::channel8(big, 1, 0), lti::allocException);
  EXPECT_THROW(lti::channel8(1, big, 0), lti::allocException);
  EXPECT_THROW(lti::channel8(1 << 14, (1 << 14) + 1, 0), lti::allocException);
  EXPECT_NO_THROW(lti::channel8(1, 1 << 20, 0));
  try {
    lti::channel8 tooLarge(1 << 15, 1 << 15, 0);
    FAIL() << "expected allocException";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "memory allocation error");
  }
}

TEST(Draw, CanvasAccessorNeedsACanvas) {
  lti::draw<unsigned char> pen;
  try {
    pen.getCanvas();
    FAIL() << "expected an exception";
  } catch (const lti::exception& e) {
    EXPECT_STREQ(e.what(), "draw<T>: Image not set yet.");
  }
}

TEST(GenericVector, ViewOfForeignMemoryCannotBeRepointed) {
  lti::channel8 raster(2, 2, 0);
  lti::genericVector<unsigned char> row = raster.getRow(0);
  try {
    row.useExternData(2, raster.rowData(1));
    FAIL() << "expected constReferenceException";
  } catch (const lti::genericVector<unsigned char>::constReferenceException& e) {
    EXPECT_STREQ(e.what(), "const reference can not be changed");
  }
}

}  // namespace
