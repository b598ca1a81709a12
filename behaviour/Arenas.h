// Arenas and zones: named rectangles, polygons and circles in frame pixels,
// and the JSON files that list them.
//
// Coordinates are those of the frame's pixels: pixel (c, r) has its centre
// at (c, r). A rectangle [x, y, w, h] covers the pixel columns x .. x+w-1 and
// rows y .. y+h-1, that is the area from (x-0.5, y-0.5) to (x+w-0.5, y+h-0.5),
// like the tracker's --roi. Polygon vertices and circles are taken as given.
//
// An arenas file (--arenas):
//   {"arenas": [{"name": "left",  "rect": [0, 0, 320, 480]},
//               {"name": "right", "polygon": [[320, 0], [640, 0], [640, 480], [320, 480]]},
//               {"name": "round", "circle": [480, 240, 150]}]}
// A zones file (--zones); a zone with "arena" belongs to that arena only,
// one without it to every arena:
//   {"zones": [{"name": "centre", "rect": [160, 120, 320, 240]},
//              {"name": "object", "circle": [100, 100, 30], "arena": "left"}]}
// Names must be unique and non-empty; unknown members are errors (they are
// usually typing mistakes).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tressel::behaviour {

// Bad input for the behaviour measures (an option, a zones or arenas file):
// the message is one line that names the file or option and the fault.
class BehaviourError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Point2 {
  double x = 0;
  double y = 0;
};

struct Bounds {
  double minX = 0, minY = 0, maxX = 0, maxY = 0;
  double width() const { return maxX - minX; }
  double height() const { return maxY - minY; }
};

struct Shape {
  enum class Kind { rectangle, polygon, circle };
  Kind kind = Kind::rectangle;
  double x = 0, y = 0, w = 0, h = 0;  // rectangle, in pixels as in [x, y, w, h]
  std::vector<Point2> vertices;      // polygon
  double cx = 0, cy = 0, r = 0;      // circle

  static Shape rectangle(double x, double y, double w, double h);
  static Shape polygon(std::vector<Point2> vertices);
  static Shape circle(double cx, double cy, double r);

  bool contains(double px, double py) const;  // polygons: even-odd rule
  Bounds bounds() const;                      // the area covered, in pixel coordinates
  std::string json() const;                   // {"rect":[...]}, {"polygon":[...]}, {"circle":[...]}
};

struct Arena {
  std::string name;
  Shape shape;
  std::string source;  // "frame", "roi" or "arenas file": recorded with the summary
};

struct Zone {
  std::string name;
  Shape shape;
  std::vector<Shape> excluded;  // holes: the open field's periphery is the arena less its centre
  std::string arena;            // empty: the zone belongs to every arena

  bool contains(double px, double py) const;
  std::string json() const;
};

// The whole frame, or the tracker's region of interest, as the one arena.
Arena frameArena(int width, int height);
Arena roiArena(int x, int y, int width, int height);

// The open-field convention: "centre", the central rectangle of the arena's
// bounds with half its width and height (a quarter of its area; for a
// circular arena the concentric circle of half the radius), and
// "periphery", the rest of the arena.
std::vector<Zone> openFieldZones(const Arena& arena);

// The files' contents; `fileName` names the file in messages. Throw
// BehaviourError, e.g. "zones.json: zone 2 \"corner\": a polygon needs at
// least 3 points".
std::vector<Arena> parseArenas(const std::string& text, const std::string& fileName);
std::vector<Zone> parseZones(const std::string& text, const std::string& fileName);
std::vector<Arena> loadArenasFile(const std::string& path);
std::vector<Zone> loadZonesFile(const std::string& path);

}  // namespace tressel::behaviour
