#include "Overlay.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "Canvas.h"
#include "Font.h"
#include "Marks.h"

namespace tressel_tool {
namespace {

// Pictures are refused beyond 2^26 pixels (192 MiB).
constexpr std::int64_t kMaxCanvasPixels = std::int64_t{1} << 26;

const Colour kBackground{18, 20, 24};
const Colour kMaskPixel{54, 57, 64};      // mask pixels left out of the analysis (noise)
const Colour kSilhouette{88, 93, 104};    // the analysed silhouette
const Colour kBorder = kBorderColour;
const Colour kBody = kBodyColour;
const Colour kTailSegment = kTailSegmentColour;
const Colour kTailBase = kTailBaseColour;
const Colour kCentre = kCentreColour;
const Colour kNose = kNoseColour;
const Colour kPanel = kPanelColour;
const Colour kText = kTextColour;
const Colour kDimText = kDimTextColour;

// Maps picture coordinates (mask pixels) to canvas coordinates.
// The origin is 64-bit: a points file's frame may start a margin before
// the most negative int.
struct Frame {
  std::int64_t originX = 0, originY = 0;  // mask pixel at the canvas's upper left
  int width = 0, height = 0;              // in mask pixels
  int scale = 1;
  Vertex centreOf(const lti::point& p) const {
    return {(static_cast<double>(p.x - originX) + 0.5) * scale, (static_cast<double>(p.y - originY) + 0.5) * scale};
  }
  // Canvas column and row of a pixel's upper left corner; only called for
  // pixels inside the frame, whose canvas the caller has bounded.
  int canvasX(int x) const { return static_cast<int>((x - originX) * scale); }
  int canvasY(int y) const { return static_cast<int>((y - originY) * scale); }
};

void drawChain(Canvas& canvas, const Frame& frame, const lti::borderPoints& chain, bool closed, double width,
               Colour c) {
  if (chain.empty()) return;
  Vertex previous = frame.centreOf(*chain.begin());
  if (chain.size() == 1) canvas.line(previous, previous, width, c);
  bool first = true;
  for (const lti::point& p : chain) {
    const Vertex v = frame.centreOf(p);
    if (!first) canvas.line(previous, v, width, c);
    previous = v;
    first = false;
  }
  if (closed) canvas.line(previous, frame.centreOf(*chain.begin()), width, c);
}

// Mask pixels, then the analysed spans on top of them.
void drawRegion(Canvas& canvas, const Frame& frame, const OverlayScene& scene) {
  const int s = frame.scale;
  if (scene.mask != nullptr) {
    const tressel_image::Mask& m = *scene.mask;
    for (int y = 0; y < m.height; ++y) {
      for (int x = 0; x < m.width; ++x) {
        if (m.at(x, y)) canvas.fillRect(frame.canvasX(x), frame.canvasY(y), s, s, kMaskPixel);
      }
    }
  }
  const std::vector<float>& xs = *scene.x;
  const std::vector<float>& ys = *scene.y;
  for (std::size_t i = 0; i + 1 < xs.size(); i += 2) {
    const int y = static_cast<int>(ys[i]);
    if (static_cast<int>(ys[i + 1]) != y) continue;  // not a span; the analysis skips it too
    const int x0 = static_cast<int>(std::min(xs[i], xs[i + 1])), x1 = static_cast<int>(std::max(xs[i], xs[i + 1]));
    canvas.fillRect(frame.canvasX(x0), frame.canvasY(y), (x1 - x0 + 1) * s, s, kSilhouette);
  }
}

// The number of pixels the spans cover.
std::int64_t spanArea(const OverlayScene& scene) {
  std::int64_t area = 0;
  for (std::size_t i = 0; i + 1 < scene.x->size(); i += 2) {
    area += std::abs(static_cast<std::int64_t>((*scene.x)[i + 1]) - static_cast<std::int64_t>((*scene.x)[i])) + 1;
  }
  return area;
}

struct LegendEntry {
  enum Kind { line, marker } kind;
  Colour colour;
  Marker shape;
  std::string label;
};

std::string coordinates(const lti::point& p) { return std::to_string(p.x) + "," + std::to_string(p.y); }

std::vector<LegendEntry> legendEntries(const tressel::CTailAnalyzer& a) {
  std::vector<LegendEntry> entries = {
      {LegendEntry::line, kBorder, Marker::ring, "traced border"},
      {LegendEntry::line, kBody, Marker::ring, "body contour"},
  };
  if (a.hasTail) {
    entries.push_back({LegendEntry::line, kTailSegment, Marker::ring, "tail base segment"});
    entries.push_back({LegendEntry::marker, kTailBase, Marker::ring, "tail base " + coordinates(a.tailBase)});
  }
  entries.push_back({LegendEntry::marker, kCentre, Marker::cross, "body centre " + coordinates(a.bodyCenter)});
  entries.push_back({LegendEntry::marker, kNose, Marker::diamond,
                     "nose " + coordinates(a.nose) + (a.nose == a.bodyCenter ? " (at the centre)" : "")});
  return entries;
}

// The legend lays its entries out in rows that fit `width`.
struct Legend {
  int size = 1;          // font pixel size
  int swatch = 0;        // width of a sample
  int gap = 0;
  int rowHeight = 0;
  int padding = 0;
  std::vector<LegendEntry> entries;
  std::string title;

  int entryWidth(const LegendEntry& e) const { return swatch + gap / 2 + Canvas::textWidth(e.label, size); }
  int widest() const {
    int w = Canvas::textWidth(title, size);
    for (const LegendEntry& e : entries) w = std::max(w, entryWidth(e));
    return w + 2 * padding;
  }
  // Rows needed at this width, counting the title's.
  int rows(int width) const {
    int rows = 1, x = padding, count = 0;
    for (const LegendEntry& e : entries) {
      const int w = entryWidth(e);
      if (count > 0 && x + w > width - padding) {
        ++rows;
        x = padding;
        count = 0;
      }
      x += w + gap;
      ++count;
    }
    return rows + 1;
  }
  int height(int width) const { return rows(width) * rowHeight + padding; }

  void draw(Canvas& canvas, int top) const {
    canvas.fillRect(0, top, canvas.width(), canvas.height() - top, kPanel);
    const int textHeight = kGlyphHeight * size;
    int y = top + padding;
    canvas.text(padding, y + (rowHeight - textHeight) / 2, title, size, kDimText);
    y += rowHeight;
    int x = padding, count = 0;
    for (const LegendEntry& e : entries) {
      const int w = entryWidth(e);
      if (count > 0 && x + w > canvas.width() - padding) {
        x = padding;
        y += rowHeight;
        count = 0;
      }
      const double midY = y + rowHeight / 2.0;
      if (e.kind == LegendEntry::line) {
        canvas.fillRect(x, static_cast<int>(midY) - size, swatch, 2 * size, e.colour);
      } else {
        drawMarker(canvas, {x + swatch / 2.0, midY}, e.shape, 2.5 * size + 0.5, e.colour);
      }
      canvas.text(x + swatch + gap / 2, y + (rowHeight - textHeight) / 2, e.label, size, kText);
      x += w + gap;
      ++count;
    }
  }
};

Frame frameOf(const OverlayScene& scene, int scale) {
  Frame f;
  f.scale = scale;
  if (scene.mask != nullptr) {
    f.width = scene.mask->width;
    f.height = scene.mask->height;
    return f;
  }
  // A points file has no picture: frame the points with a margin.
  const std::vector<float>& xs = *scene.x;
  const std::vector<float>& ys = *scene.y;
  int minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (std::size_t i = 0; i < xs.size(); ++i) {
    const int x = static_cast<int>(xs[i]), y = static_cast<int>(ys[i]);
    if (i == 0 || x < minX) minX = x;
    if (i == 0 || x > maxX) maxX = x;
    if (i == 0 || y < minY) minY = y;
    if (i == 0 || y > maxY) maxY = y;
  }
  constexpr int margin = 8;
  f.originX = std::int64_t{minX} - margin;
  f.originY = std::int64_t{minY} - margin;
  f.width = static_cast<int>(std::min<std::int64_t>(std::int64_t{maxX} - minX + 1 + 2 * margin, INT32_MAX));
  f.height = static_cast<int>(std::min<std::int64_t>(std::int64_t{maxY} - minY + 1 + 2 * margin, INT32_MAX));
  return f;
}

}  // namespace

tressel_image::RgbImage drawOverlay(const OverlayScene& scene, int scale, std::string& error) {
  const tressel::CTailAnalyzer& a = *scene.analysis;
  const Frame frame = frameOf(scene, scale);
  const std::int64_t pictureW = std::int64_t{frame.width} * scale, pictureH = std::int64_t{frame.height} * scale;

  Legend legend;
  legend.size = pictureW >= 480 ? 2 : 1;
  legend.swatch = 14 * legend.size;
  legend.gap = 12 * legend.size;
  legend.rowHeight = 12 * legend.size;
  legend.padding = 6 * legend.size;
  legend.entries = legendEntries(a);
  legend.title = scene.title + (a.hasTail ? "" : "  (no tail found)");

  const std::int64_t canvasW = std::max<std::int64_t>(pictureW, legend.widest());
  if (canvasW * (pictureH + 400) > kMaxCanvasPixels) {
    error = "picture too large (" + std::to_string(pictureW) + " x " + std::to_string(pictureH) +
            " pixels at scale " + std::to_string(scale) + ")";
    return {};
  }
  const int legendH = legend.height(static_cast<int>(canvasW));
  Canvas canvas(static_cast<int>(canvasW), static_cast<int>(pictureH) + legendH, kBackground);

  drawRegion(canvas, frame, scene);
  const double size = std::sqrt(static_cast<double>(spanArea(scene))) * scale;  // the animal's size on the canvas
  const double width = std::max(scale == 1 ? 1.0 : std::max(2, scale / 2), std::round(size / 110));
  drawChain(canvas, frame, *a.border, true, width, kBorder);
  drawChain(canvas, frame, *a.bodyBorder, true, width, kBody);
  if (a.hasTail) drawChain(canvas, frame, *a.tailBorder, false, width + 2, kTailSegment);

  // Markers grow with the animal, so that they stand out on large ones and
  // do not hide small ones.
  const double r = std::max({4.0, 2.5 * scale, size / 14});
  if (a.hasTail) drawMarker(canvas, frame.centreOf(a.tailBase), Marker::ring, r, kTailBase);
  // Without a tail the nose is the centre: the cross then shows on the diamond.
  drawMarker(canvas, frame.centreOf(a.nose), Marker::diamond, r, kNose);
  drawMarker(canvas, frame.centreOf(a.bodyCenter), Marker::cross, r, kCentre);

  legend.draw(canvas, static_cast<int>(pictureH));
  return canvas.image();
}

}  // namespace tressel_tool
