#include "Canvas.h"

#include <algorithm>
#include <cmath>

#include "Font.h"

namespace tressel_tool {

Canvas::Canvas(int width, int height, Colour background) {
  image_.width = width;
  image_.height = height;
  image_.pixels.resize(static_cast<std::size_t>(width) * height * 3);
  for (std::size_t i = 0; i < image_.pixels.size(); i += 3) {
    image_.pixels[i] = background.r;
    image_.pixels[i + 1] = background.g;
    image_.pixels[i + 2] = background.b;
  }
}

void Canvas::set(int x, int y, Colour c) {
  if (x < 0 || y < 0 || x >= image_.width || y >= image_.height) return;
  std::uint8_t* p = &image_.pixels[(static_cast<std::size_t>(y) * image_.width + x) * 3];
  p[0] = c.r;
  p[1] = c.g;
  p[2] = c.b;
}

void Canvas::fillRect(int x, int y, int w, int h, Colour c) {
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + w, image_.width), y1 = std::min(y + h, image_.height);
  for (int py = y0; py < y1; ++py) {
    for (int px = x0; px < x1; ++px) set(px, py, c);
  }
}

void Canvas::fillRing(double cx, double cy, double inner, double outer, Colour c) {
  const int x0 = static_cast<int>(std::floor(cx - outer)), x1 = static_cast<int>(std::ceil(cx + outer));
  const int y0 = static_cast<int>(std::floor(cy - outer)), y1 = static_cast<int>(std::ceil(cy + outer));
  const double in2 = inner < 0 ? -1 : inner * inner, out2 = outer * outer;
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      const double dx = x + 0.5 - cx, dy = y + 0.5 - cy, d2 = dx * dx + dy * dy;
      if (d2 > in2 && d2 <= out2) set(x, y, c);
    }
  }
}

void Canvas::fillPolygon(const std::vector<Vertex>& polygon, Colour c) {
  if (polygon.size() < 3) return;
  double minX = polygon[0].x, maxX = minX, minY = polygon[0].y, maxY = minY;
  for (const Vertex& v : polygon) {
    minX = std::min(minX, v.x);
    maxX = std::max(maxX, v.x);
    minY = std::min(minY, v.y);
    maxY = std::max(maxY, v.y);
  }
  for (int y = static_cast<int>(std::floor(minY)); y <= static_cast<int>(std::ceil(maxY)); ++y) {
    for (int x = static_cast<int>(std::floor(minX)); x <= static_cast<int>(std::ceil(maxX)); ++x) {
      const double px = x + 0.5, py = y + 0.5;
      bool inside = false;
      for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const Vertex& a = polygon[i];
        const Vertex& b = polygon[j];
        if ((a.y > py) != (b.y > py) && px < (b.x - a.x) * (py - a.y) / (b.y - a.y) + a.x) inside = !inside;
      }
      if (inside) set(x, y, c);
    }
  }
}

void Canvas::line(Vertex from, Vertex to, double width, Colour c) {
  // Stamps a square brush at short steps along the stroke.
  const double length = std::hypot(to.x - from.x, to.y - from.y);
  const int steps = std::max(1, static_cast<int>(std::ceil(length * 2)));
  const double half = width / 2;
  for (int i = 0; i <= steps; ++i) {
    const double t = static_cast<double>(i) / steps;
    const double x = from.x + (to.x - from.x) * t, y = from.y + (to.y - from.y) * t;
    const int x0 = static_cast<int>(std::lround(x - half)), y0 = static_cast<int>(std::lround(y - half));
    const int w = std::max(1, static_cast<int>(std::lround(width)));
    fillRect(x0, y0, w, w, c);
  }
}

int Canvas::textWidth(const std::string& text, int size) {
  return text.empty() ? 0 : (static_cast<int>(text.size()) * kGlyphAdvance - 1) * size;
}

int Canvas::text(int x, int y, const std::string& text, int size, Colour c) {
  int at = x;
  for (char ch : text) {
    const std::uint8_t* columns = glyph(ch);
    for (int col = 0; col < kGlyphWidth; ++col) {
      for (int row = 0; row < kGlyphHeight; ++row) {
        if (columns[col] >> row & 1) fillRect(at + col * size, y + row * size, size, size, c);
      }
    }
    at += kGlyphAdvance * size;
  }
  return textWidth(text, size);
}

}  // namespace tressel_tool
