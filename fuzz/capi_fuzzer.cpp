// The C interface on arbitrary arguments: outlines with every capacity, and
// masks of arbitrary sizes, strides and flags. Every call must either fail
// with the documented code and write nothing, or succeed within the room it
// was given; mask spans are compared with a plain flood-fill labelling, and
// the padding between rows (filled with region bytes) must never be read as
// region.
//
// The first byte chooses the outline calls (even) or the mask calls (odd).
// Outline calls: a capacity selector, a params selector, then the outline
// format of outlineInput.h. Mask calls: selectors for width, height, stride,
// flags, capacity and params, then the pixels, one bit each, repeated to
// fill the mask.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "outlineInput.h"
#include "support/exception.h"
#include "tressel/Tressel.h"
#include "tressel/tressel_c.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "capi_fuzzer: %s\n", what);
    std::abort();
  }
}

const tressel_result untouched = {5, {5, 5}, {5, 5}, {5, 5}, {5, 5}, {5, 5}};

bool sameResult(const tressel_result& a, const tressel_result& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// NULL (the defaults) or nine decoded values.
struct Params {
  bool given = false;
  tressel_params values{};
  const tressel_params* pointer() const { return given ? &values : nullptr; }
};

Params decodeParams(fuzzing::ByteReader& in) {
  Params p;
  p.given = (in.byte() & 1) != 0;
  if (!p.given) return p;
  int v[9];
  for (int i = 0; i < 9; ++i) v[i] = fuzzing::decodeParameter(in, i);
  p.values = tressel_params{v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]};
  return p;
}

// The room a caller gives for a result of `size` points, from a selector.
struct Room {
  int capacity;
  bool nullArrays;
};

Room roomFor(std::uint8_t selector, int size) {
  switch (selector % 8) {
    case 0: return Room{0, true};
    case 1: return Room{0, false};
    case 2: return Room{size, false};
    case 3: return Room{std::max(size - 1, 1), false};
    case 4: return Room{size / 2 + 1, false};
    case 5: return Room{size + 3, false};
    case 6: return Room{-1 - selector / 8, false};
    default: return Room{size + 1, true};
  }
}

// Calls `fill(outX, outY, capacity)` with arrays of exactly the room chosen and
// checks that it wrote min(capacity, size) points, equal to `expectX/Y`, and
// nothing else.
template <class Fill>
void checkFill(Fill fill, std::uint8_t selector, int size, const std::vector<float>& expectX,
               const std::vector<float>& expectY) {
  const Room room = roomFor(selector, size);
  const std::size_t n = room.capacity > 0 ? static_cast<std::size_t>(room.capacity) : 0;
  std::vector<float> x(n, -7.0f), y(n, -7.0f);
  float* outX = room.nullArrays ? nullptr : x.data();
  float* outY = room.nullArrays ? nullptr : y.data();
  const int rc = fill(outX, outY, room.capacity);
  const bool invalid = room.capacity < 0 || (room.capacity > 0 && room.nullArrays);
  if (invalid) {
    check(rc == TRESSEL_ERROR_ARGUMENT, "an invalid capacity was accepted");
    check(std::all_of(x.begin(), x.end(), [](float v) { return v == -7.0f; }), "a failed call wrote");
    return;
  }
  check(rc == size, "the full size is not returned");
  const std::size_t written = std::min<std::size_t>(n, static_cast<std::size_t>(size));
  for (std::size_t i = 0; i < n; ++i) {
    if (i < written) {
      check(x[i] == expectX[i] && y[i] == expectY[i], "a written point is wrong");
    } else {
      check(x[i] == -7.0f && y[i] == -7.0f, "a point past the size was written");
    }
  }
}

void outlineCalls(fuzzing::ByteReader& head, const std::uint8_t* data, std::size_t size) {
  const std::uint8_t capacitySelector = head.byte();
  const Params params = decodeParams(head);
  const fuzzing::OutlineInput in = fuzzing::decodeOutline(data + (size - head.left()), head.left());
  const fuzzing::Box box = in.readsPoints() ? fuzzing::boundingBox(in.x, in.y) : fuzzing::Box{};
  if (fuzzing::slowButValid(box.cells())) return;
  const int count = in.countArg();
  const bool nullPoints = (in.callMode == 1 || in.callMode == 2) && count > 0;

  // Analysis: against the class, which the interface must follow exactly.
  tressel_result r = untouched;
  check(tressel_analyze(in.xArg(), in.yArg(), count, params.pointer(), nullptr) == TRESSEL_ERROR_ARGUMENT,
        "a null result was accepted");
  const int rc = tressel_analyze(in.xArg(), in.yArg(), count, params.pointer(), &r);
  if (nullPoints) {
    check(rc == TRESSEL_ERROR_ARGUMENT && sameResult(r, untouched), "null points were accepted");
  } else {
    CTressel t;
    const tressel_params p = params.given ? params.values : tressel_default_params();
    t.SetTailWidthPercent(p.tail_width_percent);
    t.SetTailLengthPercent(p.tail_length_percent);
    t.SetTailWidthMinThreshold(p.tail_width_min_threshold);
    t.SetTailLengthMaxThreshold(p.tail_length_max_threshold);
    t.SetLimbWidthPercent(p.limb_width_percent);
    t.SetLimbLengthPercent(p.limb_length_percent);
    t.SetLimbWidthMinThreshold(p.limb_width_min_threshold);
    t.SetLimbLengthMaxThreshold(p.limb_length_max_threshold);
    t.SetLoopLengthMaxPercent(p.loop_length_max_percent);
    bool thrown = false;
    try {
      t.Tressel(const_cast<float*>(in.xArg()), const_cast<float*>(in.yArg()), count);
    } catch (const lti::allocException&) {
      thrown = true;
    }
    if (thrown) {
      check(rc == TRESSEL_ERROR_MEMORY && sameResult(r, untouched), "a failed analysis was not reported");
    } else {
      const tressel_result expected = {t.HasTail(),
                                       {t.GetTailBase().x, t.GetTailBase().y},
                                       {t.GetTailStart().x, t.GetTailStart().y},
                                       {t.GetTailEnd().x, t.GetTailEnd().y},
                                       {t.GetCenter().x, t.GetCenter().y},
                                       {t.GetNose().x, t.GetNose().y}};
      check(rc == expected.has_tail && sameResult(r, expected), "the interface's result is not the class's");
    }
  }

  // Border: the size query, then the chosen room.
  const int borderSize = tressel_border(in.xArg(), in.yArg(), count, nullptr, nullptr, 0);
  if (nullPoints) {
    check(borderSize == TRESSEL_ERROR_ARGUMENT, "null points were accepted");
    return;
  }
  if (borderSize == TRESSEL_ERROR_MEMORY) return;
  check(borderSize >= 0, "the border failed");
  std::vector<float> bx(static_cast<std::size_t>(borderSize)), by(static_cast<std::size_t>(borderSize));
  check(tressel_border(in.xArg(), in.yArg(), count, bx.data(), by.data(), borderSize) == borderSize,
        "the border's size changed");
  checkFill([&](float* x, float* y, int c) { return tressel_border(in.xArg(), in.yArg(), count, x, y, c); },
            capacitySelector, borderSize, bx, by);
}

// Mask sides: small ones directly, then the edges of the accepted range.
int decodeSide(std::uint8_t s) {
  static constexpr int special[16] = {0, -1, INT_MIN, INT_MAX, 256, 1000, 4096, 65536, 1 << 20, 1 << 24,
                                      (1 << 24) + 1, 3, 8, 9, 31, 33};
  return s < 0xF0 ? s : special[s & 15];
}

std::ptrdiff_t decodeStride(std::uint8_t s, int width) {
  if (s < 0xE0) return std::ptrdiff_t{width} + s % 24;
  static constexpr std::ptrdiff_t far = PTRDIFF_MAX;
  switch (s & 15) {
    case 0: return std::ptrdiff_t{width} - 1;
    case 1: return 0;
    case 2: return -std::ptrdiff_t{width};
    case 3: return -1;
    case 4: return far;
    case 5: return far / 2;
    case 6: return PTRDIFF_MIN;
    case 7: return std::ptrdiff_t{width} + 4096;
    default: return std::ptrdiff_t{width} + (s & 15) * 64;
  }
}

struct Span {
  int row, first, last;
};

// The runs of the mask, or of its largest 8-connected component (the first
// in scan order among equals), by flood fill.
std::vector<Span> referenceRuns(const std::vector<std::uint8_t>& on, int width, int height, bool keepAll) {
  std::vector<int> label(on.size(), -1);
  int best = -1;
  std::size_t bestSize = 0;
  if (!keepAll) {
    std::vector<std::size_t> stack;
    int next = 0;
    for (std::size_t start = 0; start < on.size(); ++start) {
      if (!on[start] || label[start] >= 0) continue;
      std::size_t pixels = 0;
      label[start] = next;
      stack.push_back(start);
      while (!stack.empty()) {
        const std::size_t i = stack.back();
        stack.pop_back();
        ++pixels;
        const int x = static_cast<int>(i % static_cast<std::size_t>(width));
        const int y = static_cast<int>(i / static_cast<std::size_t>(width));
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            const int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
            const std::size_t j = static_cast<std::size_t>(ny) * static_cast<std::size_t>(width) + nx;
            if (on[j] && label[j] < 0) {
              label[j] = next;
              stack.push_back(j);
            }
          }
        }
      }
      if (pixels > bestSize) {
        bestSize = pixels;
        best = next;
      }
      ++next;
    }
  }
  std::vector<Span> runs;
  for (int y = 0; y < height; ++y) {
    const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    for (int x = 0; x < width;) {
      if (!on[row + x] || (!keepAll && label[row + x] != best)) {
        ++x;
        continue;
      }
      const int first = x;
      while (x < width && on[row + x]) ++x;
      runs.push_back(Span{y, first, x - 1});
    }
  }
  return runs;
}

void maskCalls(fuzzing::ByteReader& in) {
  const int width = decodeSide(in.byte());
  const int height = decodeSide(in.byte());
  const std::ptrdiff_t stride = decodeStride(in.byte(), width);
  const std::uint8_t flagSelector = in.byte();
  static constexpr int oddFlags[8] = {2, 3, -1, INT_MIN, 0x100, INT_MAX, 5, 0x81};
  const int flags = flagSelector < 0xC0 ? (flagSelector & 1) : oddFlags[flagSelector & 7];
  const std::uint8_t capacitySelector = in.byte();
  const Params params = decodeParams(in);
  std::vector<std::uint8_t> bits;
  while (!in.done()) bits.push_back(in.byte());

  const bool valid = width > 0 && height > 0 && width <= (1 << 24) && height <= (1 << 24) && stride >= width &&
                     stride <= PTRDIFF_MAX / height && (flags & ~TRESSEL_MASK_ALL_COMPONENTS) == 0;
  float ox[4] = {-7, -7, -7, -7}, oy[4] = {-7, -7, -7, -7};
  tressel_result r = untouched;
  if (!valid) {
    const std::uint8_t pixels[64] = {1, 1, 0, 1};
    check(tressel_mask_spans(pixels, width, height, stride, flags, ox, oy, 4) == TRESSEL_ERROR_ARGUMENT &&
              tressel_mask_spans(pixels, width, height, stride, flags, nullptr, nullptr, 0) == TRESSEL_ERROR_ARGUMENT,
          "a bad mask was accepted");
    check(tressel_analyze_mask(pixels, width, height, stride, flags, params.pointer(), &r) ==
              TRESSEL_ERROR_ARGUMENT, "a bad mask was analysed");
    check(sameResult(r, untouched) && ox[0] == -7 && oy[3] == -7, "a failed mask call wrote");
    return;
  }
  check(tressel_mask_spans(nullptr, width, height, stride, flags, ox, oy, 4) == TRESSEL_ERROR_ARGUMENT,
        "a null mask was accepted");
  // Only masks whose rows fit a small buffer are read: the buffer is exactly
  // as long as the last row's end, padding between rows is region bytes.
  const std::uint64_t span = static_cast<std::uint64_t>(height - 1) * static_cast<std::uint64_t>(stride) + width;
  if (span > (std::uint64_t{1} << 22) || std::uint64_t{1} * width * height > (std::uint64_t{1} << 18)) return;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(span), 0xA5);
  std::vector<std::uint8_t> on(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
  for (std::size_t i = 0; i < on.size() && !bits.empty(); ++i) {
    on[i] = (bits[(i / 8) % bits.size()] >> (i % 8)) & 1;
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x;
      buffer[static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) + x] =
          on[i] ? static_cast<std::uint8_t>(1 + (i * 37) % 255) : 0;
    }
  }

  const bool keepAll = (flags & TRESSEL_MASK_ALL_COMPONENTS) != 0;
  const std::vector<Span> runs = referenceRuns(on, width, height, keepAll);
  std::vector<float> sx, sy;
  for (const Span& s : runs) {
    sx.push_back(static_cast<float>(s.first));
    sx.push_back(static_cast<float>(s.last));
    sy.push_back(static_cast<float>(s.row));
    sy.push_back(static_cast<float>(s.row));
  }
  const int spanCount = static_cast<int>(sx.size());
  check(tressel_mask_spans(buffer.data(), width, height, stride, flags, nullptr, nullptr, 0) == spanCount,
        "the mask's span count");
  checkFill([&](float* x, float* y, int c) {
    return tressel_mask_spans(buffer.data(), width, height, stride, flags, x, y, c);
  }, capacitySelector, spanCount, sx, sy);

  // Analysing the mask is analysing its spans.
  tressel_result direct = untouched;
  const int expected = tressel_analyze(sx.data(), sy.data(), spanCount, params.pointer(), &direct);
  check(tressel_analyze_mask(buffer.data(), width, height, stride, flags, params.pointer(), nullptr) ==
            TRESSEL_ERROR_ARGUMENT, "a null result was accepted");
  check(tressel_analyze_mask(buffer.data(), width, height, stride, flags, params.pointer(), &r) == expected &&
            sameResult(r, direct), "the mask's analysis is not that of its spans");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::ByteReader in(data, size);
  if (in.byte() % 2 == 0) {
    outlineCalls(in, data, size);
  } else {
    maskCalls(in);
  }
  return 0;
}
