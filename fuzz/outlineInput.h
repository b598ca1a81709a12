// The byte format the outline fuzzers share: nine parameters, then a
// silhouette as rows of runs, placed somewhere in the int32 plane.
//
//   9 x parameter   selector byte s: s < 0x40 the default, 0x40.. a notable
//                   value (s & 15), 0x80.. the small value s & 63, 0xC0.. the
//                   int32 in the next four bytes
//   call            bits 0-1: 0 arrays as given, 1 x null, 2 y null,
//                   3 a negative count (bit 2: INT_MIN instead of -count)
//   frame           low nibble: x origin, high nibble: y origin (origins[])
//   layout          bits 0-1 scale (1, 2, 3, 5), bits 2-4 point order,
//                   bits 5-6 fraction added, bit 7 the whole list twice
//   records         [ctl a b] a run of the current row, from column a to
//                   a + b; ctl bits 0-2 rows to advance first, bit 3 entry
//                   point only, bit 4 the run twice, bit 5 exit before entry,
//                   bit 6 exit one row lower. ctl with bit 7 set is instead
//                   followed by two raw floats (x, y) taken as they are.
//
// A silhouette is at most 510 columns wide; the scale and the origin move it
// anywhere, from beside the origin to the far ends of the int32 range.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace fuzzing {

class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool done() const { return at_ >= size_; }
  std::size_t left() const { return at_ < size_ ? size_ - at_ : 0; }
  std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint32_t word() {
    std::uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w |= std::uint32_t{byte()} << (8 * i);
    return w;
  }
  std::int32_t int32() {
    const std::uint32_t w = word();
    std::int32_t v;
    std::memcpy(&v, &w, sizeof v);
    return v;
  }
  float rawFloat() {
    const std::uint32_t w = word();
    float f;
    std::memcpy(&f, &w, sizeof f);
    return f;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

constexpr int defaultParameters[9] = {13, 16, 7, 50, 10, 7, 7, 15, 10};

constexpr int notableValues[16] = {std::numeric_limits<int>::min(), std::numeric_limits<int>::min() + 1,
                                   -100, -1, 0, 1, 2, 3, 7, 10, 25, 50, 99, 100, 101,
                                   std::numeric_limits<int>::max()};

// Beside the origin, negative, around the segment raster's size bound (side
// 2^14) and at the ends of the int32 range, where a silhouette may run
// into the saturated last column.
constexpr double origins[16] = {0, 1, -1, 7, -50, 300, -300, 1000, -1000, 4000, 16000, 16300, 17000,
                                2147483000.0, -2000000000.0, 2147480000.0};

struct OutlineInput {
  int parameters[9];
  int callMode = 0;  // 0 as given, 1 x null, 2 y null, 3 negative count
  bool countIsIntMin = false;
  std::vector<float> x, y;

  const float* xArg() const { return callMode == 1 ? nullptr : x.data(); }
  const float* yArg() const { return callMode == 2 ? nullptr : y.data(); }
  int countArg() const {
    const int n = static_cast<int>(x.size());
    if (callMode != 3) return n;
    return countIsIntMin ? std::numeric_limits<int>::min() : -n;
  }
  // Whether the call reads any point.
  bool readsPoints() const { return callMode == 0 && !x.empty(); }
};

inline int decodeParameter(ByteReader& in, int index) {
  const std::uint8_t s = in.byte();
  if (s < 0x40) return defaultParameters[index];
  if (s < 0x80) return notableValues[s & 15];
  if (s < 0xC0) return s & 63;
  return in.int32();
}

inline void reorder(std::vector<float>& x, std::vector<float>& y, int order) {
  const std::size_t n = x.size();
  if (n < 2) return;
  std::vector<std::size_t> index(n);
  for (std::size_t i = 0; i < n; ++i) index[i] = i;
  switch (order) {
    case 1:  // reversed
      for (std::size_t i = 0; i < n; ++i) index[i] = n - 1 - i;
      break;
    case 2: {  // even positions, then odd ones
      std::size_t k = 0;
      for (std::size_t i = 0; i < n; i += 2) index[k++] = i;
      for (std::size_t i = 1; i < n; i += 2) index[k++] = i;
      break;
    }
    case 3:  // rotated by half
      for (std::size_t i = 0; i < n; ++i) index[i] = (i + n / 2) % n;
      break;
    case 4:  // the two points of every pair exchanged
      for (std::size_t i = 0; i + 1 < n; i += 2) std::swap(index[i], index[i + 1]);
      break;
    case 5: {  // a fixed pseudo-random shuffle
      std::uint32_t state = 0x9E3779B9u ^ static_cast<std::uint32_t>(n);
      for (std::size_t i = n - 1; i > 0; --i) {
        state = state * 1664525u + 1013904223u;
        std::swap(index[i], index[state % (i + 1)]);
      }
      break;
    }
    default:
      return;
  }
  std::vector<float> ox(n), oy(n);
  for (std::size_t i = 0; i < n; ++i) {
    ox[i] = x[index[i]];
    oy[i] = y[index[i]];
  }
  x.swap(ox);
  y.swap(oy);
}

inline OutlineInput decodeOutline(const std::uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  OutlineInput out;
  for (int i = 0; i < 9; ++i) out.parameters[i] = decodeParameter(in, i);
  const std::uint8_t call = in.byte();
  out.callMode = call & 3;
  out.countIsIntMin = (call & 4) != 0;
  const std::uint8_t frame = in.byte();
  const double originX = origins[frame & 15];
  const double originY = origins[frame >> 4];
  const std::uint8_t layout = in.byte();
  static constexpr double scales[4] = {1, 2, 3, 5};
  static constexpr double fractions[4] = {0, 0.5, 0.999, -0.75};
  const double scale = scales[layout & 3];
  const int order = (layout >> 2) & 7;
  const double fraction = fractions[(layout >> 5) & 3];

  auto place = [&](double origin, double v) { return static_cast<float>(origin + scale * v + fraction); };
  int row = 0;
  while (!in.done()) {
    const std::uint8_t ctl = in.byte();
    if (ctl & 0x80) {
      const float fx = in.rawFloat();
      const float fy = in.rawFloat();
      out.x.push_back(fx);
      out.y.push_back(fy);
      continue;
    }
    row += ctl & 7;
    const int first = in.byte();
    const int last = first + in.byte();
    const float entryX = place(originX, first), entryY = place(originY, row);
    const float exitX = place(originX, last), exitY = place(originY, row + ((ctl & 0x40) ? 1 : 0));
    for (int copy = 0; copy < ((ctl & 0x10) ? 2 : 1); ++copy) {
      if (ctl & 0x20) {
        out.x.push_back(exitX);
        out.y.push_back(exitY);
      }
      out.x.push_back(entryX);
      out.y.push_back(entryY);
      if (!(ctl & 0x20) && !(ctl & 0x08)) {
        out.x.push_back(exitX);
        out.y.push_back(exitY);
      }
    }
  }
  reorder(out.x, out.y, order);
  if (layout & 0x80) {
    const std::size_t n = out.x.size();
    for (std::size_t i = 0; i < n; ++i) {
      out.x.push_back(out.x[i]);
      out.y.push_back(out.y[i]);
    }
  }
  return out;
}

// A caller's coordinate as the analysis reads it: truncated toward zero, NaN
// as 0, saturated to the int32 range.
inline std::int64_t truncated(float v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
  if (v < -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int64_t>(v);
}

struct Box {
  std::int64_t minX = 0, minY = 0, maxX = 0, maxY = 0;
  bool empty = true;
  bool contains(std::int64_t px, std::int64_t py) const {
    return !empty && px >= minX && px <= maxX && py >= minY && py <= maxY;
  }
  // Cells of the box, and of the raster from the origin to its far corner;
  // both far beyond 2^28 are reported as 2^62 so nothing overflows.
  std::int64_t cells() const { return empty ? 0 : product(maxX - minX + 1, maxY - minY + 1); }
  std::int64_t cornerCells() const { return empty ? 0 : product(maxX + 1, maxY + 1); }

 private:
  static std::int64_t product(std::int64_t a, std::int64_t b) {
    if (a <= 0 || b <= 0) return 0;
    if (a > (std::int64_t{1} << 31) || b > (std::int64_t{1} << 31)) return std::int64_t{1} << 62;
    return a * b;
  }
};

inline Box boundingBox(const std::vector<float>& x, const std::vector<float>& y) {
  Box b;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const std::int64_t px = truncated(x[i]), py = truncated(y[i]);
    if (b.empty) {
      b.minX = b.maxX = px;
      b.minY = b.maxY = py;
      b.empty = false;
    }
    b.minX = std::min(b.minX, px);
    b.maxX = std::max(b.maxX, px);
    b.minY = std::min(b.minY, py);
    b.maxY = std::max(b.maxY, py);
  }
  return b;
}

// The library's bound on any raster, and the largest box a fuzzer lets
// through below it: a box between the two would be analysed correctly but
// slowly, one raster of up to a quarter of a gigabyte per execution.
constexpr std::int64_t rasterBound = std::int64_t{1} << 28;
constexpr std::int64_t quickCells = std::int64_t{1} << 20;

inline bool slowButValid(std::int64_t cells) { return cells > quickCells && cells <= rasterBound; }

}  // namespace fuzzing
