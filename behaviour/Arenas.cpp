#include "behaviour/Arenas.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "behaviour/Json.h"

namespace tressel::behaviour {

Shape Shape::rectangle(double x, double y, double w, double h) {
  Shape s;
  s.kind = Kind::rectangle;
  s.x = x;
  s.y = y;
  s.w = w;
  s.h = h;
  return s;
}

Shape Shape::polygon(std::vector<Point2> vertices) {
  Shape s;
  s.kind = Kind::polygon;
  s.vertices = std::move(vertices);
  return s;
}

Shape Shape::circle(double cx, double cy, double r) {
  Shape s;
  s.kind = Kind::circle;
  s.cx = cx;
  s.cy = cy;
  s.r = r;
  return s;
}

bool Shape::contains(double px, double py) const {
  switch (kind) {
    case Kind::rectangle:
      return px >= x - 0.5 && px < x + w - 0.5 && py >= y - 0.5 && py < y + h - 0.5;
    case Kind::circle:
      return (px - cx) * (px - cx) + (py - cy) * (py - cy) <= r * r;
    case Kind::polygon: {
      bool inside = false;
      const std::size_t n = vertices.size();
      for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        const Point2 a = vertices[i], b = vertices[j];
        if ((a.y > py) != (b.y > py) && px < a.x + (py - a.y) * (b.x - a.x) / (b.y - a.y)) inside = !inside;
      }
      return inside;
    }
  }
  return false;
}

Bounds Shape::bounds() const {
  switch (kind) {
    case Kind::rectangle:
      return {x - 0.5, y - 0.5, x + w - 0.5, y + h - 0.5};
    case Kind::circle:
      return {cx - r, cy - r, cx + r, cy + r};
    case Kind::polygon: {
      Bounds b{vertices[0].x, vertices[0].y, vertices[0].x, vertices[0].y};
      for (const Point2& v : vertices) {
        b.minX = std::min(b.minX, v.x);
        b.minY = std::min(b.minY, v.y);
        b.maxX = std::max(b.maxX, v.x);
        b.maxY = std::max(b.maxY, v.y);
      }
      return b;
    }
  }
  return {};
}

std::string Shape::json() const {
  switch (kind) {
    case Kind::rectangle:
      return "{\"rect\":[" + jsonNumber(x) + "," + jsonNumber(y) + "," + jsonNumber(w) + "," + jsonNumber(h) + "]}";
    case Kind::circle:
      return "{\"circle\":[" + jsonNumber(cx) + "," + jsonNumber(cy) + "," + jsonNumber(r) + "]}";
    case Kind::polygon: {
      std::string text = "{\"polygon\":[";
      for (std::size_t i = 0; i < vertices.size(); ++i) {
        text += (i ? ",[" : "[") + jsonNumber(vertices[i].x) + "," + jsonNumber(vertices[i].y) + "]";
      }
      return text + "]}";
    }
  }
  return "{}";
}

bool Zone::contains(double px, double py) const {
  if (!shape.contains(px, py)) return false;
  for (const Shape& hole : excluded) {
    if (hole.contains(px, py)) return false;
  }
  return true;
}

std::string Zone::json() const {
  std::string text = "{\"name\":" + jsonQuoted(name) + ",\"shape\":" + shape.json();
  if (!excluded.empty()) {
    text += ",\"excluding\":[";
    for (std::size_t i = 0; i < excluded.size(); ++i) text += (i ? "," : "") + excluded[i].json();
    text += "]";
  }
  return text + "}";
}

Arena frameArena(int width, int height) { return {"arena", Shape::rectangle(0, 0, width, height), "frame"}; }

Arena roiArena(int x, int y, int width, int height) {
  return {"arena", Shape::rectangle(x, y, width, height), "roi"};
}

std::vector<Zone> openFieldZones(const Arena& arena) {
  Shape centre;
  if (arena.shape.kind == Shape::Kind::circle) {
    centre = Shape::circle(arena.shape.cx, arena.shape.cy, arena.shape.r / 2);
  } else {
    // Central half of the bounds, as a rectangle in the [x, y, w, h] pixel
    // form (whose area starts half a pixel before x).
    const Bounds b = arena.shape.bounds();
    centre = Shape::rectangle(b.minX + b.width() / 4 + 0.5, b.minY + b.height() / 4 + 0.5, b.width() / 2,
                              b.height() / 2);
  }
  Zone inner{"centre", centre, {}, arena.name};
  Zone outer{"periphery", arena.shape, {centre}, arena.name};
  return {inner, outer};
}

namespace {

// Reads the shape member of one entry ("rect", "polygon" or "circle"; a
// circle only where `circles` allows it).
struct EntryReader {
  const std::string& fileName;
  std::string what;  // "zone 2 \"corner\""

  [[noreturn]] void fail(const std::string& message) const {
    throw BehaviourError(fileName + ": " + what + ": " + message);
  }

  std::vector<double> numbers(const JsonValue& value, const char* member, std::size_t count) const {
    if (!value.isArray() || value.items.size() != count) {
      fail(std::string("\"") + member + "\" must be an array of " + std::to_string(count) + " numbers");
    }
    std::vector<double> out;
    for (const JsonValue& item : value.items) {
      if (!item.isNumber()) fail(std::string("\"") + member + "\" must be an array of " + std::to_string(count) + " numbers");
      out.push_back(item.number);
    }
    return out;
  }

  Shape shape(const JsonValue& entry, bool circles) const {
    const JsonValue* rect = entry.find("rect");
    const JsonValue* polygon = entry.find("polygon");
    const JsonValue* circle = circles ? entry.find("circle") : nullptr;
    const int given = (rect != nullptr) + (polygon != nullptr) + (circle != nullptr);
    const char* kinds = circles ? "\"rect\", \"polygon\" or \"circle\"" : "\"rect\" or \"polygon\"";
    if (given != 1) fail(std::string("needs exactly one of ") + kinds);
    if (rect) {
      const std::vector<double> v = numbers(*rect, "rect", 4);
      if (v[2] <= 0 || v[3] <= 0) fail("a rectangle needs a positive width and height");
      return Shape::rectangle(v[0], v[1], v[2], v[3]);
    }
    if (circle) {
      const std::vector<double> v = numbers(*circle, "circle", 3);
      if (v[2] <= 0) fail("a circle needs a positive radius");
      return Shape::circle(v[0], v[1], v[2]);
    }
    if (!polygon->isArray()) fail("\"polygon\" must be an array of [x, y] points");
    std::vector<Point2> vertices;
    for (const JsonValue& item : polygon->items) {
      if (!item.isArray() || item.items.size() != 2 || !item.items[0].isNumber() || !item.items[1].isNumber()) {
        fail("\"polygon\" must be an array of [x, y] points");
      }
      vertices.push_back({item.items[0].number, item.items[1].number});
    }
    if (vertices.size() < 3) fail("a polygon needs at least 3 points");
    double twiceArea = 0;
    for (std::size_t i = 0, j = vertices.size() - 1; i < vertices.size(); j = i++) {
      twiceArea += vertices[j].x * vertices[i].y - vertices[i].x * vertices[j].y;
    }
    if (std::fabs(twiceArea) < 1e-9) fail("the polygon encloses no area");
    return Shape::polygon(std::move(vertices));
  }
};

// The entries of the file's one list ("arenas" or "zones"), each with a
// unique name and only the members in `allowed`.
template <typename Make>
void readEntries(const std::string& text, const std::string& fileName, const char* listName, const char* entryName,
                 const std::vector<std::string>& allowed, bool uniqueNames, Make make) {
  JsonValue document;
  try {
    document = parseJson(text);
  } catch (const JsonError& e) {
    throw BehaviourError(fileName + ": not valid JSON: " + e.what());
  }
  const std::string list = std::string("\"") + listName + "\"";
  if (!document.isObject() || document.members.size() != 1 || document.find(listName) == nullptr) {
    throw BehaviourError(fileName + ": expected an object with one member " + list);
  }
  const JsonValue& entries = *document.find(listName);
  if (!entries.isArray() || entries.items.empty()) {
    throw BehaviourError(fileName + ": " + list + " must be a non-empty array");
  }
  std::vector<std::string> names;
  for (std::size_t i = 0; i < entries.items.size(); ++i) {
    const JsonValue& entry = entries.items[i];
    EntryReader reader{fileName, std::string(entryName) + " " + std::to_string(i + 1)};
    if (!entry.isObject()) reader.fail("must be an object, not " + std::string(entry.typeName()));
    const JsonValue* name = entry.find("name");
    if (name == nullptr || !name->isString() || name->string.empty()) reader.fail("needs a non-empty \"name\"");
    reader.what += " " + jsonQuoted(name->string);
    if (uniqueNames && std::find(names.begin(), names.end(), name->string) != names.end()) {
      reader.fail("the name is used twice");
    }
    names.push_back(name->string);
    for (const auto& member : entry.members) {
      if (std::find(allowed.begin(), allowed.end(), member.first) == allowed.end()) {
        reader.fail("unknown member \"" + member.first + "\"");
      }
    }
    make(entry, reader);
  }
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw BehaviourError(path + ": cannot be opened");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw BehaviourError(path + ": cannot be read");
  return text.str();
}

}  // namespace

std::vector<Arena> parseArenas(const std::string& text, const std::string& fileName) {
  std::vector<Arena> arenas;
  readEntries(text, fileName, "arenas", "arena", {"name", "rect", "polygon", "circle"}, true,
              [&](const JsonValue& entry, const EntryReader& reader) {
                arenas.push_back({entry.find("name")->string, reader.shape(entry, true), "arenas file"});
              });
  return arenas;
}

std::vector<Zone> parseZones(const std::string& text, const std::string& fileName) {
  std::vector<Zone> zones;
  readEntries(text, fileName, "zones", "zone", {"name", "rect", "polygon", "circle", "arena"}, false,
              [&](const JsonValue& entry, const EntryReader& reader) {
                Zone zone{entry.find("name")->string, reader.shape(entry, true), {}, ""};
                if (const JsonValue* arena = entry.find("arena")) {
                  if (!arena->isString() || arena->string.empty()) reader.fail("\"arena\" must be an arena's name");
                  zone.arena = arena->string;
                }
                // One name may serve a zone in each of several arenas (an
                // "object" per cage), never twice in one arena.
                for (const Zone& other : zones) {
                  if (other.name == zone.name && (other.arena.empty() || zone.arena.empty() || other.arena == zone.arena)) {
                    reader.fail("the name is used twice for the same arena");
                  }
                }
                zones.push_back(std::move(zone));
              });
  return zones;
}

std::vector<Arena> loadArenasFile(const std::string& path) { return parseArenas(readFile(path), path); }

std::vector<Zone> loadZonesFile(const std::string& path) { return parseZones(readFile(path), path); }

}  // namespace tressel::behaviour
