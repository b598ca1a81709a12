// Drawing object for rasters: single pixels and clipped integer lines. It
// draws on a raster it does not own.
#pragma once

#include "support/exception.h"
#include "support/genericMatrix.h"
#include "support/object.h"
#include "support/point.h"

namespace lti {

template <class T>
class drawBase : public object {
 public:
  const char* getTypeName() const override { return "drawBase"; }
  virtual void setColor(const T& value) { color_ = value; }
  virtual void setPixel(int x, int y) = 0;
  virtual void drawLine(int fromX, int fromY, int toX, int toY) = 0;

  const T& getColor() const { return color_; }
  const point& getPen() const { return pen_; }

 protected:
  T color_ = T();
  point pen_;
};

template <class T>
class draw : public drawBase<T> {
 public:
  ~draw() override { canvas_ = nullptr; }
  const char* getTypeName() const override { return "draw"; }

  // Writes the colour at (x, y) and moves the pen there, when (x, y) lies on the
  // canvas; otherwise does nothing at all.
  void setPixel(int x, int y) override;
  // Draws both end points and an 8-connected chain between them, after
  // clipping the line to the canvas; the pen ends at (toX, toY).
  void drawLine(int fromX, int fromY, int toX, int toY) override;
  // Binds the raster to draw on; a null raster is ignored.
  virtual void setCanvas(matrix<T>* canvas) {
    if (canvas != nullptr) canvas_ = canvas;
  }

  matrix<T>& getCanvas() {
    if (canvas_ == nullptr) throw exception("draw<T>: Image not set yet.");
    return *canvas_;
  }

 private:
  matrix<T>* canvas_ = nullptr;
};

extern template class draw<unsigned char>;

}  // namespace lti
