#include "Rows.h"

#include <algorithm>
#include <cstdio>

namespace tressel_tool {
namespace {

const char* const kPointNames[] = {"tail_base", "tail_start", "tail_end", "center", "nose"};
const char* const kTableHeadings[] = {"tail base", "tail start", "tail end", "body centre", "nose"};
constexpr std::size_t kPointColumn = 13;

// The five points of a row and whether each exists: the tail's three only
// with a tail, and none for an empty mask.
struct Points {
  tressel_point p[5];
  bool present[5];
};

Points pointsOf(const Row& row) {
  const tressel_result& r = row.result;
  Points points{{r.tail_base, r.tail_start, r.tail_end, r.body_center, r.nose}, {}};
  for (int i = 0; i < 5; ++i) points.present[i] = !row.empty && (i >= 3 || r.has_tail);
  return points;
}

// The text and spaces up to the width; a text that does not fit still gets
// one space, so that it cannot run into the next column.
std::string padded(std::string text, std::size_t width) {
  text.append(text.size() < width ? width - text.size() : 1, ' ');
  return text;
}

std::string pair(tressel_point p, const char* separator) {
  return std::to_string(p.x) + separator + std::to_string(p.y);
}

}  // namespace

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// JSON text must be UTF-8: a file name that is not (Unix file names are just
// bytes) has its stray bytes replaced by U+FFFD.
std::string jsonString(const std::string& text) {
  std::string out = "\"";
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else {
      // Length of a well-formed sequence starting here, or 0.
      std::size_t length = 0;
      if (c >= 0xC2 && c <= 0xDF) length = 2;
      else if (c >= 0xE0 && c <= 0xEF) length = 3;
      else if (c >= 0xF0 && c <= 0xF4) length = 4;
      bool valid = length > 0 && i + length <= n;
      for (std::size_t k = 1; valid && k < length; ++k) valid = (s[i + k] & 0xC0) == 0x80;
      if (valid && length >= 3) {
        const unsigned char second = s[i + 1];
        if (c == 0xE0) valid = second >= 0xA0;          // overlong
        else if (c == 0xED) valid = second <= 0x9F;     // surrogates
        else if (c == 0xF0) valid = second >= 0x90;     // overlong
        else if (c == 0xF4) valid = second <= 0x8F;     // beyond U+10FFFF
      }
      if (valid) {
        out.append(text, i, length);
        i += length;
      } else {
        out += "\xEF\xBF\xBD";
        ++i;
      }
    }
  }
  return out + "\"";
}

RowFormatter::RowFormatter(Format format, std::size_t fileWidth)
    : format_(format), fileWidth_(std::max<std::size_t>(fileWidth, 4)) {}

std::string RowFormatter::header() const {
  switch (format_) {
    case Format::csv: {
      std::string h = "file,has_tail";
      for (const char* name : kPointNames) h += std::string(",") + name + "_x," + name + "_y";
      return h + "\n";
    }
    case Format::table: {
      std::string h = padded("file", fileWidth_ + 2) + "tail  ";
      for (const char* heading : kTableHeadings) h += padded(heading, kPointColumn);
      while (!h.empty() && h.back() == ' ') h.pop_back();
      return h + "\n";
    }
    case Format::json:
    case Format::automatic:
    case Format::dlc:  // the track command's only
      break;
  }
  return "";
}

std::string RowFormatter::row(const Row& row) const {
  const Points points = pointsOf(row);
  const bool tail = row.result.has_tail != 0 && !row.empty;
  std::string line;
  switch (format_) {
    case Format::csv:
      line = csvField(row.file) + (tail ? ",1" : ",0");
      for (int i = 0; i < 5; ++i) line += points.present[i] ? "," + pair(points.p[i], ",") : ",,";
      break;
    case Format::json:
      line = "{\"file\":" + jsonString(row.file) + ",\"has_tail\":" + (tail ? "true" : "false");
      for (int i = 0; i < 5; ++i) {
        line += std::string(",\"") + kPointNames[i] + "\":" + (points.present[i] ? "[" + pair(points.p[i], ",") + "]" : "null");
      }
      line += "}";
      break;
    case Format::table:
    case Format::automatic:
    case Format::dlc:
      line = padded(row.file, fileWidth_ + 2) + (tail ? "yes   " : "no    ");
      for (int i = 0; i < 5; ++i) line += padded(points.present[i] ? pair(points.p[i], ",") : "-", kPointColumn);
      while (!line.empty() && line.back() == ' ') line.pop_back();
      break;
  }
  return line + "\n";
}

}  // namespace tressel_tool
