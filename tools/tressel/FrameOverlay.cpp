#include "FrameOverlay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Canvas.h"
#include "Font.h"
#include "Marks.h"

namespace tressel_tool {
namespace {

using tressel::behaviour::BehaviourRow;
using tressel::behaviour::Shape;
using tressel::tracking::Pixel;

constexpr Colour kArenaColour{255, 160, 40};
constexpr Colour kZoneColour{150, 130, 255};
constexpr Colour kHeadingColour{255, 255, 255};
constexpr Colour kFlagColour{255, 60, 40};

constexpr double kPi = 3.14159265358979323846;

// The panel's rows: the status line at font size 2 (1 below 480 pixels),
// then the legend at size 1.
int statusSize(int width) { return width >= 480 ? 2 : 1; }
int padding(int width) { return 3 * statusSize(width); }
int statusRowHeight(int width) { return (kGlyphHeight + 4) * statusSize(width); }
constexpr int kLegendRowHeight = kGlyphHeight + 4;

Vertex centreOf(Pixel p) { return {p.x + 0.5, p.y + 0.5}; }

// A shape's outline: its coordinates are pixel centres, the canvas's are
// pixel corners.
std::vector<Vertex> outline(const Shape& s) {
  switch (s.kind) {
    case Shape::Kind::rectangle:  // inside its pixels, so that a whole frame's shows
      return {{s.x + 0.5, s.y + 0.5}, {s.x + s.w - 0.5, s.y + 0.5}, {s.x + s.w - 0.5, s.y + s.h - 0.5},
              {s.x + 0.5, s.y + s.h - 0.5}};
    case Shape::Kind::polygon: {
      std::vector<Vertex> v;
      for (const auto& p : s.vertices) v.push_back({p.x + 0.5, p.y + 0.5});
      return v;
    }
    case Shape::Kind::circle: {
      std::vector<Vertex> v;
      const int n = std::clamp(static_cast<int>(s.r), 16, 256);
      for (int i = 0; i < n; ++i) {
        const double a = 2 * kPi * i / n;
        v.push_back({s.cx + 0.5 + s.r * std::cos(a), s.cy + 0.5 + s.r * std::sin(a)});
      }
      return v;
    }
  }
  return {};
}

void drawClosed(Canvas& canvas, const std::vector<Vertex>& v, double width, Colour c) {
  for (std::size_t i = 0; i < v.size(); ++i) canvas.line(v[i], v[(i + 1) % v.size()], width, c);
}

void drawChain(Canvas& canvas, const std::vector<Pixel>& chain, bool closed, double width, Colour c) {
  for (std::size_t i = 1; i < chain.size(); ++i) canvas.line(centreOf(chain[i - 1]), centreOf(chain[i]), width, c);
  if (closed && chain.size() > 2) canvas.line(centreOf(chain.back()), centreOf(chain.front()), width, c);
  if (chain.size() == 1) canvas.line(centreOf(chain[0]), centreOf(chain[0]), width, c);
}

void drawArrow(Canvas& canvas, Vertex from, double degrees, double length, double width, Colour c) {
  const double a = degrees * kPi / 180, dx = std::cos(a), dy = std::sin(a);
  const Vertex tip{from.x + dx * length, from.y + dy * length};
  const double head = std::max(5.0, length / 4);
  const Vertex back{tip.x - dx * head, tip.y - dy * head};
  canvas.line(from, back, width + 2, kOutlineColour);
  canvas.line(from, back, width, c);
  const double nx = -dy * head / 2, ny = dx * head / 2;
  canvas.fillPolygon({{tip.x + dx, tip.y + dy}, {back.x + nx * 1.3, back.y + ny * 1.3},
                      {back.x - nx * 1.3, back.y - ny * 1.3}},
                     kOutlineColour);
  canvas.fillPolygon({tip, {back.x + nx, back.y + ny}, {back.x - nx, back.y - ny}}, c);
}

void drawAnimal(Canvas& canvas, const BehaviourRow& row) {
  const tressel::tracking::FrameRecord& r = row.record;
  if (!r.hasPoints()) return;
  const double size = std::sqrt(static_cast<double>(std::max<std::int64_t>(r.areaPx, 1)));
  const double width = std::max(1.0, std::round(size / 110));
  if (r.outlines) {
    drawChain(canvas, r.outlines->border, true, width, kBorderColour);
    drawChain(canvas, r.outlines->bodyContour, true, width, kBodyColour);
    drawChain(canvas, r.outlines->tailSegment, false, width + 2, kTailSegmentColour);
  }
  const double radius = std::max(4.0, size / 14);
  // The heading from the body centre, reaching past the nose.
  if (std::isfinite(row.headingDeg)) {
    const double reach = std::hypot(row.nose.x - r.center.x, row.nose.y - r.center.y);
    drawArrow(canvas, centreOf(r.center), row.headingDeg, std::max(3 * radius, reach + 2 * radius), 2, kHeadingColour);
  }
  if (r.hasTail()) drawMarker(canvas, centreOf(row.tailBase), Marker::ring, radius, kTailBaseColour);
  if (row.orientation != tressel::behaviour::Orientation::none) {
    drawMarker(canvas, centreOf(row.nose), Marker::diamond, radius, kNoseColour);
  }
  drawMarker(canvas, centreOf(r.center), Marker::cross, radius, kCentreColour);
}

std::string statusLine(const tressel::video::Frame& frame, const std::vector<const BehaviourRow*>& rows) {
  char head[80];
  const std::int64_t index = rows.empty() ? frame.index : rows.front()->record.frame;
  const double time = rows.empty() ? frame.time : rows.front()->record.time;
  std::snprintf(head, sizeof head, "frame %lld  %.3f s", static_cast<long long>(index), time);
  std::string line = head;
  for (const BehaviourRow* row : rows) {
    line += "  ";
    if (rows.size() > 1) line += row->arena->arena.name + ": ";
    line += tressel::tracking::statusName(row->record.status);
    const std::string why = flagReason(*row);
    const std::string status = tressel::tracking::statusName(row->record.status);
    if (!why.empty() && why != status) line += " (" + why + ")";
  }
  return line;
}

struct LegendItem {
  Colour colour;
  int kind;  // 0 line, 1 ring, 2 cross, 3 diamond, 4 arrow
  const char* label;
};

const LegendItem kLegend[] = {
    {kBorderColour, 0, "border"},     {kBodyColour, 0, "body contour"}, {kTailSegmentColour, 0, "tail base segment"},
    {kTailBaseColour, 1, "tail base"}, {kCentreColour, 2, "centre"},      {kNoseColour, 3, "nose"},
    {kHeadingColour, 0, "heading"},    {kArenaColour, 0, "arena"},        {kZoneColour, 0, "zones"},
};
constexpr int kSwatch = 12, kGap = 10;

int legendItemWidth(const LegendItem& item) { return kSwatch + 4 + Canvas::textWidth(item.label, 1); }

// Legend rows at this width.
int legendRows(int width) {
  int rows = 1, x = padding(width);
  for (const LegendItem& item : kLegend) {
    if (x > padding(width) && x + legendItemWidth(item) > width - padding(width)) {
      ++rows;
      x = padding(width);
    }
    x += legendItemWidth(item) + kGap;
  }
  return rows;
}

void drawLegend(Canvas& canvas, int top) {
  const int width = canvas.width();
  int x = padding(width), y = top;
  for (const LegendItem& item : kLegend) {
    const int w = legendItemWidth(item);
    if (x > padding(width) && x + w > width - padding(width)) {
      x = padding(width);
      y += kLegendRowHeight;
    }
    const double mid = y + kLegendRowHeight / 2.0;
    if (item.kind == 0) {
      canvas.fillRect(x, static_cast<int>(mid) - 1, kSwatch, 2, item.colour);
    } else {
      const Marker shape = item.kind == 1 ? Marker::ring : item.kind == 2 ? Marker::cross : Marker::diamond;
      drawMarker(canvas, {x + kSwatch / 2.0, mid}, shape, 3.5, item.colour);
    }
    canvas.text(x + kSwatch + 4, y + 2, item.label, 1, kTextColour);
    x += w + kGap;
  }
}

}  // namespace

std::string flagReason(const BehaviourRow& row) {
  using tressel::tracking::FrameStatus;
  const FrameStatus status = row.record.status;
  if (status != FrameStatus::ok && status != FrameStatus::noTail) return tressel::tracking::statusName(status);
  if (row.jump) return "jump";
  if (row.sharpTurn) return "sharp turn";
  if (row.interpolated) return "interpolated";
  return "";
}

int panelHeight(int width) {
  const int h = 2 * padding(width) + statusRowHeight(width) + legendRows(width) * kLegendRowHeight;
  return h + h % 2;
}

tressel::tracking::Rect flagMarkArea(int width, int height) {
  const int side = statusRowHeight(width) - 2 * statusSize(width);
  return {width - padding(width) - side, height + padding(width) + statusSize(width), side, side};
}

tressel_image::RgbImage drawTrackedFrame(const tressel::video::Frame& frame, const std::vector<const BehaviourRow*>& rows,
                                         int width, int height) {
  Canvas canvas(width, height + panelHeight(width), kPanelColour);
  if (frame.ok() && frame.width == width && frame.height == height) {
    for (int y = 0; y < height; ++y) {
      const std::uint8_t* in = frame.row(y);
      std::uint8_t* out = canvas.row(y);
      for (int x = 0; x < width; ++x, out += 3) out[0] = out[1] = out[2] = in[x];
    }
  } else {
    canvas.fillRect(0, 0, width, height, kOutlineColour);
  }

  // Arenas and zones first (each once), then the animals over them.
  std::vector<const tressel::behaviour::ArenaInfo*> drawn;
  for (const BehaviourRow* row : rows) {
    if (!row->arena || std::find(drawn.begin(), drawn.end(), row->arena.get()) != drawn.end()) continue;
    drawn.push_back(row->arena.get());
    for (const tressel::behaviour::Zone& zone : row->arena->zones) {
      drawClosed(canvas, outline(zone.shape), 1, kZoneColour);
      const tressel::behaviour::Bounds b = zone.shape.bounds();
      canvas.text(static_cast<int>(b.minX) + 4, static_cast<int>(b.minY) + 4, zone.name, 1, kZoneColour);
    }
    drawClosed(canvas, outline(row->arena->arena.shape), 2, kArenaColour);
  }
  for (const BehaviourRow* row : rows) drawAnimal(canvas, *row);

  const int size = statusSize(width);
  const int top = height + padding(width);
  canvas.text(padding(width), top + 2 * size, statusLine(frame, rows), size, kTextColour);
  const bool flagged = std::any_of(rows.begin(), rows.end(), [](const BehaviourRow* r) { return !flagReason(*r).empty(); });
  if (flagged) {
    const tressel::tracking::Rect m = flagMarkArea(width, height);
    canvas.fillRect(m.x, m.y, m.width, m.height, kFlagColour);
  }
  drawLegend(canvas, top + statusRowHeight(width));
  return canvas.image();
}

}  // namespace tressel_tool
