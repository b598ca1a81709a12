#include "tracking/Segmenter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>

#if defined(__GNUC__) && defined(__x86_64__)
#define TRESSEL_AVX2_SAMPLES 1
#include <immintrin.h>
#endif

namespace tressel::tracking {
namespace {

// The gain in 1/256 steps: the background is scaled to bg * gain256 / 256, at most 255.
int gain256Of(double gain) { return static_cast<int>(std::clamp(std::lround(gain * 256), 1L, 65535L)); }

Rect clipped(const Rect& roi, int width, int height) {
  if (roi.empty()) return Rect{0, 0, width, height};
  const int x0 = std::clamp(roi.x, 0, width), y0 = std::clamp(roi.y, 0, height);
  const int x1 = std::clamp(roi.x + roi.width, 0, width), y1 = std::clamp(roi.y + roi.height, 0, height);
  return Rect{x0, y0, x1 - x0, y1 - y0};
}

Rect intersection(const Rect& a, const Rect& b) {
  const int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
  const int x1 = std::min(a.x + a.width, b.x + b.width), y1 = std::min(a.y + a.height, b.y + b.height);
  return Rect{x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
}

bool sameRect(const Rect& a, const Rect& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

// Whether the runs reach an edge of `area` that is not also an edge of the
// whole region: beyond it the component may go on.
bool touchesInnerEdge(const std::vector<Run>& runs, const Rect& area, const Rect& whole) {
  if (runs.empty()) return false;
  const bool left = area.x > whole.x, right = area.x + area.width < whole.x + whole.width;
  const bool top = area.y > whole.y, bottom = area.y + area.height < whole.y + whole.height;
  if (top && runs.front().row == area.y) return true;
  if (bottom && runs.back().row == area.y + area.height - 1) return true;
  for (const Run& r : runs) {
    if ((left && r.first == area.x) || (right && r.last == area.x + area.width - 1)) return true;
  }
  return false;
}

std::int64_t pixelsOf(const std::vector<Run>& runs) {
  std::int64_t n = 0;
  for (const Run& r : runs) n += r.last - r.first + 1;
  return n;
}

#if defined(TRESSEL_AVX2_SAMPLES)
// The sums of the samples whose frame value v is within the threshold of the
// background value b scaled by the gain, |v - gain * b| <= threshold, four at
// a time: the same double operations as one by one (no fused multiply-add),
// so the same samples count. Returns how many samples were taken, a multiple
// of four; the rest are left to the caller.
__attribute__((target("avx2"))) std::size_t sumsNearAvx2(const std::int32_t* frame, const std::uint8_t* background,
                                                          std::size_t count, double gain, int threshold,
                                                          std::int64_t sums[2]) {
  const __m256d g = _mm256_set1_pd(gain), limit = _mm256_set1_pd(threshold);
  const __m256d sign = _mm256_set1_pd(-0.0);
  __m256i sumFrame = _mm256_setzero_si256(), sumBackground = _mm256_setzero_si256();
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frame + i));
    std::int32_t four;
    std::memcpy(&four, background + i, sizeof four);
    const __m128i b = _mm_cvtepu8_epi32(_mm_cvtsi32_si128(four));
    const __m256d d = _mm256_sub_pd(_mm256_cvtepi32_pd(v), _mm256_mul_pd(g, _mm256_cvtepi32_pd(b)));
    const __m256i within = _mm256_castpd_si256(_mm256_cmp_pd(_mm256_andnot_pd(sign, d), limit, _CMP_LE_OQ));
    sumFrame = _mm256_add_epi64(sumFrame, _mm256_and_si256(within, _mm256_cvtepi32_epi64(v)));
    sumBackground = _mm256_add_epi64(sumBackground, _mm256_and_si256(within, _mm256_cvtepi32_epi64(b)));
  }
  alignas(32) std::int64_t lanes[2][4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[0]), sumFrame);
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes[1]), sumBackground);
  for (int k = 0; k < 2; ++k) sums[k] += lanes[k][0] + lanes[k][1] + lanes[k][2] + lanes[k][3];
  return i;
}
#endif

}  // namespace

const char* polarityName(Polarity polarity) { return polarity == Polarity::dark ? "dark" : "light"; }

Segmenter::Segmenter(SegmentationSettings settings, const Background& background)
    : settings_(std::move(settings)), background_(background) {
  roi_ = clipped(settings_.roi, background.width, background.height);
  compare_ = piecesCompare(settings_.polarity == Polarity::dark, !settings_.arenaMask.empty(), widestVectors());
  if (!settings_.arenaMask.empty() &&
      settings_.arenaMask.size() != static_cast<std::size_t>(background.width) * background.height) {
    throw std::invalid_argument("the arena mask's size differs from the frames'");
  }
  avx2Samples_ = widestVectors() == VectorWidth::avx2;
  segmentCompare_ = compare_;
  if (settings_.polarity == Polarity::dark && !settings_.arenaMask.empty() && settings_.threshold >= 0) {
    segmentBackground_ = background.pixels;
    for (std::size_t i = 0; i < segmentBackground_.size(); ++i) {
      if (settings_.arenaMask[i] == 0) segmentBackground_[i] = 0;
    }
    segmentCompare_ = piecesCompare(true, false, widestVectors());
  }

  // Every 24th pixel of every 24th row, inside the arena: a few hundred to a
  // few thousand samples, enough for a brightness ratio, and a small share
  // of a frame.
  constexpr int step = 24;
  const std::size_t width = static_cast<std::size_t>(background.width);
  for (int y = roi_.y + step / 2; y < roi_.y + roi_.height; y += step) {
    for (int x = roi_.x + step / 2; x < roi_.x + roi_.width; x += step) {
      const std::size_t at = static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x);
      if (!settings_.arenaMask.empty() && settings_.arenaMask[at] == 0) continue;
      sampleColumn_.push_back(x);
      sampleBackground_.push_back(background.pixels[at]);
      sampleBackgroundSum_ += background.pixels[at];
    }
    if (sampleRowEnd_.empty() ? !sampleColumn_.empty() : sampleColumn_.size() > sampleRowEnd_.back()) {
      sampleRow_.push_back(y);
      sampleRowEnd_.push_back(sampleColumn_.size());
    }
  }
}

double Segmenter::brightnessGain(const video::Frame& frame) {
  double gain = 1;
  std::int64_t sumFrame = 0;
  std::size_t i = 0;
  sampleFrame_.resize(sampleColumn_.size());
  std::int32_t* value = sampleFrame_.data();
  for (std::size_t k = 0; k < sampleRow_.size(); ++k) {
    const std::uint8_t* f = frame.row(sampleRow_[k]);
    for (; i < sampleRowEnd_[k]; ++i) {
      value[i] = f[sampleColumn_[i]];
      sumFrame += value[i];
    }
  }
  if (sampleBackgroundSum_ == 0 || sumFrame == 0) return gain;
  gain = static_cast<double>(sumFrame) / static_cast<double>(sampleBackgroundSum_);

  // Again without the animal and whatever else moved.
  std::int64_t sums[2] = {0, 0};  // frame, background
  i = 0;
#if defined(TRESSEL_AVX2_SAMPLES)
  if (avx2Samples_) {
    i = sumsNearAvx2(value, sampleBackground_.data(), sampleFrame_.size(), gain, settings_.threshold, sums);
  }
#endif
  for (; i < sampleFrame_.size(); ++i) {
    const int v = value[i], b = sampleBackground_[i];
    if (std::abs(v - gain * b) > settings_.threshold) continue;
    sums[0] += v;
    sums[1] += b;
  }
  if (sums[1] == 0 || sums[0] == 0) return gain;
  return static_cast<double>(sums[0]) / static_cast<double>(sums[1]);
}

void Segmenter::thresholdRuns(const video::Frame& frame, double gain, int threshold, std::vector<Run>& runs) {
  runs.clear();
  compareRows(frame, gain, threshold, roi_, 1, false, runs);
}

void Segmenter::compareRows(const video::Frame& frame, double gain, int threshold, const Rect& area, int rowStep,
                            bool fast, std::vector<Run>& runs) {
  const bool folded = fast && !segmentBackground_.empty();
  const PiecesCompare compare = fast ? segmentCompare_ : compare_;
  const std::uint8_t* background = folded ? segmentBackground_.data() : background_.pixels.data();
  const std::uint8_t* arena = folded || settings_.arenaMask.empty() ? nullptr : settings_.arenaMask.data();
  pieces_.clear();
  for (int y = area.y + (rowStep - 1) / 2; y < area.y + area.height; y += rowStep) {
    pieces_.push_back(RowPiece{y, area.x, area.x + area.width});
  }
  const ComparePlanes planes{frame.pixels, frame.stride, background, arena, background_.width};
  compare(planes, gain256Of(gain), threshold, pieces_.data(), pieces_.size(), runs);
}

// The pieces to compare are gathered and compared together, up to where
// runs known already come next.
void Segmenter::compareGrown(const video::Frame& frame, double gain, const Rect& area, const Rect& done,
                             const std::vector<Run>& doneRuns, std::vector<Run>& runs) {
  const int gain256 = gain256Of(gain);
  const int x0 = area.x, x1 = area.x + area.width;
  const int step = settings_.coarseStep, firstCoarse = roi_.y + (step - 1) / 2;
  const bool folded = !segmentBackground_.empty();
  const std::uint8_t* background = folded ? segmentBackground_.data() : background_.pixels.data();
  const std::uint8_t* arena = folded || settings_.arenaMask.empty() ? nullptr : settings_.arenaMask.data();
  const ComparePlanes planes{frame.pixels, frame.stride, background, arena, background_.width};
  pieces_.clear();
  auto compareGathered = [&] {
    if (pieces_.empty()) return;
    segmentCompare_(planes, gain256, settings_.threshold, pieces_.data(), pieces_.size(), runs);
    pieces_.clear();
  };
  std::size_t old = 0;  // the first of doneRuns not yet passed
  // The first coarse row in the area, and its number.
  std::size_t k = area.y <= firstCoarse ? 0 : static_cast<std::size_t>((area.y - firstCoarse + step - 1) / step);
  int coarseRow = firstCoarse + static_cast<int>(k) * step;
  for (int y = area.y; y < area.y + area.height; ++y) {
    if (y == coarseRow) {
      // A coarse row, compared across the whole region already.
      compareGathered();
      for (std::size_t i = coarseRowStart_[k]; i < coarseRowStart_[k + 1]; ++i) {
        const int first = std::max(coarse_[i].first, x0), last = std::min(coarse_[i].last, x1 - 1);
        if (first <= last) runs.push_back(Run{y, first, last});
      }
      ++k;
      coarseRow += step;
      continue;
    }
    if (y < done.y || y >= done.y + done.height) {
      pieces_.push_back(RowPiece{y, x0, x1});
      continue;
    }
    // A row compared before between done's columns: only the parts either
    // side are new.
    if (x0 < done.x) pieces_.push_back(RowPiece{y, x0, done.x});
    compareGathered();
    while (old < doneRuns.size() && doneRuns[old].row < y) ++old;
    for (; old < doneRuns.size() && doneRuns[old].row == y; ++old) {
      const Run& r = doneRuns[old];
      if (!runs.empty() && runs.back().row == y && runs.back().last + 1 == r.first) {
        runs.back().last = r.last;
      } else {
        runs.push_back(r);
      }
    }
    if (done.x + done.width < x1) pieces_.push_back(RowPiece{y, done.x + done.width, x1});
  }
  compareGathered();
}

void Segmenter::segment(const video::Frame& frame, Segmentation& out) {
  out.gain = settings_.followBrightness ? brightnessGain(frame) : 1.0;
  out.runs.clear();
  const int step = settings_.coarseStep;
  if (step <= 1 || settings_.openRadius > 0) {
    compareRows(frame, out.gain, settings_.threshold, roi_, 1, true, out.runs);
    if (settings_.openRadius > 0) open(out.runs);
    keepLargestComponent(out.runs, components_);
    out.area = pixelsOf(out.runs);
    return;
  }

  // Every step-th row first, to find where the animal is: the coarse rows'
  // largest component, rows `step` apart counting as neighbours. The coarse
  // rows' runs are kept: the rows below read them again.
  coarse_.clear();
  compareRows(frame, out.gain, settings_.threshold, roi_, step, true, coarse_);
  coarseRowStart_.assign(static_cast<std::size_t>(roi_.height / step) + 2, coarse_.size());
  for (std::size_t i = coarse_.size(); i-- > 0;) {
    coarseRowStart_[static_cast<std::size_t>((coarse_[i].row - roi_.y - (step - 1) / 2) / step)] = i;
  }
  for (std::size_t k = coarseRowStart_.size() - 1; k-- > 0;) {
    coarseRowStart_[k] = std::min(coarseRowStart_[k], coarseRowStart_[k + 1]);
  }
  coarseComponent_ = coarse_;
  for (Run& r : coarseComponent_) r.row /= step;
  keepLargestComponent(coarseComponent_, components_);
  if (coarseComponent_.empty()) {
    out.area = 0;
    return;
  }
  Rect box{coarseComponent_.front().first, coarseComponent_.front().row * step, 1, 1};
  int right = coarseComponent_.front().last, bottom = coarseComponent_.back().row * step;
  for (const Run& r : coarseComponent_) {
    box.x = std::min(box.x, r.first);
    right = std::max(right, r.last);
  }
  // Then every row of that place, grown until the component found there
  // does not touch the box's edge (or the box is the whole region): the
  // component is then whole. Each larger box is a superset of the one
  // before, whose pixels are not compared again.
  int margin = std::max(2 * step, settings_.searchMargin);
  Rect area, done;
  fine_.clear();
  for (;;) {
    area = clipped(Rect{box.x - margin, box.y - margin, right - box.x + 1 + 2 * margin, bottom - box.y + 1 + 2 * margin},
                   background_.width, background_.height);
    area = intersection(area, roi_);
    grown_.clear();
    compareGrown(frame, out.gain, area, done, fine_, grown_);
    std::swap(fine_, grown_);
    done = area;
    out.runs = fine_;
    keepLargestComponent(out.runs, components_);
    if (sameRect(area, roi_) || !touchesInnerEdge(out.runs, area, roi_)) break;
    margin *= 2;
  }
  out.area = pixelsOf(out.runs);
}

// Erosion then dilation with a square of side 2r+1, on the runs' bounding
// box: thin parts (a cable, a tether, and also a tail) disappear, the body
// keeps its shape.
void Segmenter::open(std::vector<Run>& runs) {
  if (runs.empty()) return;
  const int r = settings_.openRadius;
  int left = runs.front().first, right = runs.front().last;
  for (const Run& run : runs) {
    left = std::min(left, run.first);
    right = std::max(right, run.last);
  }
  const int top = runs.front().row, bottom = runs.back().row;
  const int w = right - left + 1, h = bottom - top + 1;
  scratch_.assign(static_cast<std::size_t>(w) * h, 0);
  auto at = [&](int x, int y) -> std::uint8_t& { return scratch_[static_cast<std::size_t>(y) * w + x]; };

  // Horizontal erosion on the runs themselves.
  for (const Run& run : runs) {
    for (int x = run.first + r; x <= run.last - r; ++x) at(x - left, run.row - top) = 1;
  }
  // Vertical erosion, then dilation: per column, the number of set pixels in
  // the 2r+1 rows around each row, from prefix counts. Rows beyond the box
  // count as background.
  std::vector<int> prefix(static_cast<std::size_t>(h) + 1);
  for (int pass = 0; pass < 2; ++pass) {
    for (int x = 0; x < w; ++x) {
      for (int y = 0; y < h; ++y) prefix[y + 1] = prefix[y] + at(x, y);
      for (int y = 0; y < h; ++y) {
        const int ones = prefix[std::min(y + r + 1, h)] - prefix[std::max(y - r, 0)];
        at(x, y) = pass == 0 ? (y - r >= 0 && y + r < h && ones == 2 * r + 1) : ones > 0;
      }
    }
  }
  // Horizontal dilation while the runs are read back.
  runs.clear();
  for (int y = 0; y < h; ++y) {
    int x = 0;
    while (x < w) {
      while (x < w && at(x, y) == 0) ++x;
      if (x == w) break;
      const int first = x;
      while (x < w && at(x, y) != 0) ++x;
      const int runFirst = std::max(first - r, 0) + left, runLast = std::min(x - 1 + r, w - 1) + left;
      if (!runs.empty() && runs.back().row == y + top && runs.back().last + 1 >= runFirst) {
        runs.back().last = std::max(runs.back().last, runLast);
      } else {
        runs.push_back(Run{y + top, runFirst, runLast});
      }
    }
  }
}

std::int64_t changedPixels(const std::vector<Run>& a, const std::vector<Run>& b) {
  // |A xor B| = |A| + |B| - 2 |A and B|; the intersection is found row by row
  // by walking both sorted run lists together.
  std::int64_t common = 0;
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].row != b[j].row) {
      (a[i].row < b[j].row ? i : j)++;
      continue;
    }
    const int lo = std::max(a[i].first, b[j].first), hi = std::min(a[i].last, b[j].last);
    if (lo <= hi) common += hi - lo + 1;
    (a[i].last < b[j].last ? i : j)++;
  }
  return pixelsOf(a) + pixelsOf(b) - 2 * common;
}

}  // namespace tressel::tracking
