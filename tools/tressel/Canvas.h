// An RGB picture with the few drawing operations the overlay needs. Every
// operation clips to the picture; coordinates are in picture pixels, with a
// pixel's centre at +0.5.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/png.h"

namespace tressel_tool {

struct Colour {
  std::uint8_t r, g, b;
};

struct Vertex {
  double x, y;
};

class Canvas {
 public:
  Canvas(int width, int height, Colour background);

  int width() const { return image_.width; }
  int height() const { return image_.height; }
  const tressel_image::RgbImage& image() const { return image_; }
  // Row y's bytes, three per pixel, for copying a picture in.
  std::uint8_t* row(int y) { return &image_.pixels[static_cast<std::size_t>(y) * image_.width * 3]; }

  void set(int x, int y, Colour c);
  void fillRect(int x, int y, int w, int h, Colour c);
  void fillDisc(double cx, double cy, double radius, Colour c) { fillRing(cx, cy, -1, radius, c); }
  // Pixels whose centre lies more than `inner` and at most `outer` away.
  void fillRing(double cx, double cy, double inner, double outer, Colour c);
  // Every pixel whose centre lies inside the polygon.
  void fillPolygon(const std::vector<Vertex>& polygon, Colour c);
  // A straight stroke `width` pixels wide with square ends.
  void line(Vertex from, Vertex to, double width, Colour c);
  // Text in the built-in font, each font pixel `size` x `size`; returns the
  // width drawn.
  int text(int x, int y, const std::string& text, int size, Colour c);
  static int textWidth(const std::string& text, int size);

 private:
  tressel_image::RgbImage image_;
};

}  // namespace tressel_tool
