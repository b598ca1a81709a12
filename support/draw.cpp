#include "support/draw.h"

#include "support/bresenham.h"

#include <cmath>
#include <cstdint>

namespace lti {
namespace {

using int64 = std::int64_t;

struct Canvas {
  int64 rows;
  int64 columns;
  bool contains(int64 x, int64 y) const { return x >= 0 && x < columns && y >= 0 && y < rows; }
};

// Moves the end point (ax, ay), which lies off the canvas, to where the line
// towards (bx, by) enters the canvas. Returns false when the line misses the
// canvas. Differences are taken in 64 bits and the crossing is computed in
// extended precision, so any int32 coordinates are safe.
bool clipEndPoint(const Canvas& c, int64& ax, int64& ay, int64 bx, int64 by) {
  if ((ay >= c.rows && by >= c.rows) || (ay < 0 && by < 0) || (ax >= c.columns && bx >= c.columns) ||
      (ax < 0 && bx < 0)) {
    return false;
  }
  const int64 lastRow = c.rows - 1;
  const int64 lastColumn = c.columns - 1;
  if (ax == bx) {
    ay = ay > by ? lastRow : 0;
    return true;
  }
  if (ay == by) {
    ax = ax > bx ? lastColumn : 0;
    return true;
  }
  const long double k = static_cast<long double>(ax - bx) / static_cast<long double>(ay - by);
  const int64 e = ay > by ? lastRow : 0;
  long double x = std::trunc(static_cast<long double>(bx) + k * static_cast<long double>(e - by));
  long double y;
  if (x < 0) {
    x = 0;
    y = std::trunc(static_cast<long double>(by) - static_cast<long double>(bx) / k);
  } else if (x >= static_cast<long double>(c.columns)) {
    x = static_cast<long double>(lastColumn);
    y = std::trunc(static_cast<long double>(by) + static_cast<long double>(lastColumn - bx) / k);
  } else {
    y = static_cast<long double>(e);
  }
  // Compared before converting, so a far-off crossing is never cast.
  if (y < 0 || y >= static_cast<long double>(c.rows)) return false;
  ax = static_cast<int64>(x);
  ay = static_cast<int64>(y);
  return true;
}

}  // namespace

template <class T>
void draw<T>::setPixel(int x, int y) {
  if (canvas_ == nullptr || !canvas_->hasStorage()) return;
  if (static_cast<unsigned>(x) < static_cast<unsigned>(canvas_->columns()) &&
      static_cast<unsigned>(y) < static_cast<unsigned>(canvas_->rows())) {
    canvas_->at(y, x) = this->color_;
    this->pen_ = point(x, y);
  }
}

template <class T>
void draw<T>::drawLine(int fromX, int fromY, int toX, int toY) {
  this->pen_ = point(toX, toY);
  if (canvas_ == nullptr || !canvas_->hasStorage()) return;

  const Canvas c{canvas_->rows(), canvas_->columns()};
  int64 x0 = fromX, y0 = fromY, x1 = toX, y1 = toY;
  if (!c.contains(x0, y0) && !clipEndPoint(c, x0, y0, x1, y1)) {
    this->pen_ = point(toX, toY);
    return;
  }
  if (!c.contains(x1, y1) && !clipEndPoint(c, x1, y1, x0, y0)) {
    this->pen_ = point(toX, toY);
    return;
  }

  // Both ends now lie on the canvas, so every value of the walk stays small.
  walkLine(x0, y0, x1, y1, [this](int64 px, int64 py) { setPixel(static_cast<int>(px), static_cast<int>(py)); });
  this->pen_ = point(toX, toY);
}

template class draw<unsigned char>;

}  // namespace lti
