#include "image/pointsFile.h"

#include <charconv>
#include <cmath>

#include "image/readImage.h"

namespace tressel_image {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

const char* skipBlanks(const char* p, const char* end) {
  while (p < end && isBlank(*p)) ++p;
  return p;
}

// A coordinate: a decimal number whose integer part fits a 32-bit int, as the
// analysis truncates it to one.
const char* coordinate(const char* p, const char* end, float& value) {
  if (p < end && *p == '+') ++p;
  double v = 0;
  const auto [next, status] = std::from_chars(p, end, v);
  if (status != std::errc() || !std::isfinite(v) || std::fabs(v) > 4294967296.0) return nullptr;
  // Checked as the float the analysis receives, which may have rounded up.
  value = static_cast<float>(v);
  if (value < -2147483648.0f || value >= 2147483648.0f) return nullptr;
  return next;
}

}  // namespace

PointsResult readPoints(const std::uint8_t* data, std::size_t size) {
  PointsResult r;
  const char* p = reinterpret_cast<const char*>(data);
  const char* end = p + size;
  for (std::size_t line = 1; p < end; ++line) {
    const char* eol = p;
    while (eol < end && *eol != '\n') ++eol;
    const char* at = skipBlanks(p, eol);
    if (at < eol && *at != '#') {
      float x = 0, y = 0;
      at = coordinate(at, eol, x);
      if (at != nullptr) {
        const char* afterX = at;
        at = skipBlanks(at, eol);
        if (at < eol && *at == ',') at = skipBlanks(at + 1, eol);
        at = at == afterX ? nullptr : coordinate(at, eol, y);
      }
      if (at == nullptr || skipBlanks(at, eol) != eol) {
        r = PointsResult();
        r.error = "line " + std::to_string(line) + ": two coordinates \"x y\" expected";
        return r;
      }
      if (r.x.size() == kMaxPoints) {
        r = PointsResult();
        r.error = "more than 2^22 points";
        return r;
      }
      r.x.push_back(x);
      r.y.push_back(y);
    }
    p = eol < end ? eol + 1 : end;
  }
  return r;
}

PointsResult readPointsFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  PointsResult r;
  if (!readFile(path, bytes, r.error)) return r;
  return readPoints(bytes.data(), bytes.size());
}

}  // namespace tressel_image
