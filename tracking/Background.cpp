#include "tracking/Background.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#endif

namespace tressel::tracking {
namespace {

Rect wholeOrRoi(const Rect& roi, int width, int height) {
  if (roi.empty()) return Rect{0, 0, width, height};
  const int x0 = std::clamp(roi.x, 0, width), y0 = std::clamp(roi.y, 0, height);
  return Rect{x0, y0, std::clamp(roi.x + roi.width, 0, width) - x0, std::clamp(roi.y + roi.height, 0, height) - y0};
}

// Mean grey level of a picture over every 8th pixel of every 8th row of the
// arena.
double arenaBrightness(const std::uint8_t* pixels, std::ptrdiff_t stride, int width, const Rect& area,
                       const std::vector<std::uint8_t>& arenaMask) {
  constexpr int step = 8;
  std::int64_t sum = 0, count = 0;
  for (int y = area.y + step / 2; y < area.y + area.height; y += step) {
    const std::uint8_t* row = pixels + y * stride;
    for (int x = area.x + step / 2; x < area.x + area.width; x += step) {
      if (!arenaMask.empty() && arenaMask[static_cast<std::size_t>(y) * width + x] == 0) continue;
      sum += row[x];
      ++count;
    }
  }
  return count > 0 ? static_cast<double>(sum) / static_cast<double>(count) : 0.0;
}

double arenaBrightness(const video::Frame& f, const Rect& area, const std::vector<std::uint8_t>& arenaMask) {
  return arenaBrightness(f.pixels, f.stride, f.width, area, arenaMask);
}

// The q-quantile (0..1) of a histogram of values 0..255, interpolated
// within the bin so that a narrow distribution still gives a usable spread.
double histogramQuantile(const std::array<std::int64_t, 256>& histogram, double q) {
  std::int64_t total = 0;
  for (std::int64_t n : histogram) total += n;
  if (total == 0) return 0;
  const double target = q * static_cast<double>(total);
  double below = 0;
  for (int v = 0; v < 256; ++v) {
    const double n = static_cast<double>(histogram[v]);
    if (below + n >= target && n > 0) return v - 0.5 + (target - below) / n;
    below += n;
  }
  return 255;
}

std::int64_t medianOf(std::vector<std::int64_t> values) {
  if (values.empty()) return 0;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

bool sameFrame(const video::Frame& a, const video::Frame& b) { return a.time == b.time; }

}  // namespace

namespace {
// Appends to `samples`, as they are read, the samples of slices first..last-1
// of `count`; false when the source ended before the last of them.
bool sampleInto(video::FrameSource& source, double start, double end, int count, int first, int last,
                std::vector<video::Frame>& samples);
}  // namespace

std::vector<video::Frame> sampleFrames(video::FrameSource& source, double start, double end, int count,
                                       std::string* ended) {
  std::vector<video::Frame> samples;
  try {
    sampleInto(source, start, end, count, 0, count, samples);
  } catch (const video::SourceError& e) {
    if (ended == nullptr) throw;
    *ended = e.what();
  }
  return samples;
}

std::vector<video::Frame> sampleFramesSideBySide(const video::OpenSource& open, double start, double end, int count,
                                                 int readers, std::string* ended) {
  readers = std::clamp(readers, 1, std::max(count, 1));
  struct Share {
    std::vector<video::Frame> samples;
    bool complete = true;
    std::exception_ptr failure;
    std::string error;  // a SourceError's message
  };
  std::vector<Share> shares(static_cast<std::size_t>(readers));
  auto read = [&](int k) {
    Share& share = shares[static_cast<std::size_t>(k)];
    try {
      std::unique_ptr<video::FrameSource> source = open();
      share.complete = sampleInto(*source, start, end, count, k * count / readers, (k + 1) * count / readers,
                                  share.samples);
    } catch (const video::SourceError& e) {
      share.error = e.what();
      share.failure = std::current_exception();
    } catch (...) {
      share.failure = std::current_exception();
    }
  };
  std::vector<std::thread> threads;
  for (int k = 1; k < readers; ++k) threads.emplace_back(read, k);
  read(0);
  for (std::thread& t : threads) t.join();

  // Joined in slice order as one reader would have read them: a share that
  // failed or ended early is the last one taken.
  std::vector<video::Frame> samples;
  for (Share& share : shares) {
    if (share.failure && (ended == nullptr || share.error.empty())) std::rethrow_exception(share.failure);
    for (video::Frame& f : share.samples) {
      if (samples.empty() || !sameFrame(samples.back(), f)) samples.push_back(std::move(f));
    }
    if (share.failure) {
      *ended = share.error;
      break;
    }
    if (!share.complete) break;
  }
  return samples;
}

namespace {
bool sampleInto(video::FrameSource& source, double start, double end, int count, int first, int last,
                std::vector<video::Frame>& samples) {
  if (count <= 0 || !(end > start) || first >= last) return true;
  std::vector<double> targets;
  for (int i = first; i < last; ++i) targets.push_back(start + (i + 0.5) * (end - start) / count);

  std::vector<double> keys;
  for (double t : source.keyframeTimes()) {
    if (t >= start && t < end) keys.push_back(t);
  }
  // Kept as copies of their grey pixels, not as the decoder's pictures.
  auto keep = [&](const video::Frame& frame) {
    if (!frame.ok() || (!samples.empty() && sameFrame(samples.back(), frame))) return;
    samples.push_back(video::compactCopy(frame));
  };

  if (keys.size() >= static_cast<std::size_t>(count)) {
    for (double t : targets) {
      const auto after = std::lower_bound(keys.begin(), keys.end(), t);
      double key = after == keys.end() ? keys.back() : *after;
      if (after != keys.begin() && (after == keys.end() || t - *(after - 1) < *after - t)) key = *(after - 1);
      source.seekKey(key);
      video::Frame frame;
      if (source.next(frame)) keep(frame);
    }
    return true;
  }

  // Few key frames: decode each sample exactly, reading on from the last one
  // when no key frame lies between them (a seek would decode the same frames
  // again), and leaving undecoded what the sample does not need.
  double position = -1;  // time of the last frame read, -1 before the first
  for (double t : targets) {
    const bool keyBetween = std::any_of(keys.begin(), keys.end(), [&](double k) { return k > position && k <= t; });
    if (position < 0 || keyBetween) source.seekExact(t);
    source.skipBefore(t);
    video::Frame frame;
    bool found = false;
    while (source.next(frame)) {
      position = frame.time;
      if (frame.time >= t) {
        found = true;
        break;
      }
    }
    if (!found) return false;
    keep(frame);
  }
  return true;
}

}  // namespace

Background medianBackground(const std::vector<video::Frame>& samples, const Rect& roi,
                            const std::vector<std::uint8_t>& arenaMask, int threads) {
  if (samples.empty()) throw std::invalid_argument("no frames to estimate the background from");
  const int width = samples.front().width, height = samples.front().height;
  for (const video::Frame& f : samples) {
    if (f.width != width || f.height != height) throw std::invalid_argument("background samples differ in size");
  }
  const Rect area = wholeOrRoi(roi, width, height);

  // Each sample's grey levels scaled to the samples' mean brightness, as a
  // table per sample.
  std::vector<double> brightness;
  for (const video::Frame& f : samples) brightness.push_back(arenaBrightness(f, area, arenaMask));
  double reference = 0;
  for (double b : brightness) reference += b;
  reference /= static_cast<double>(brightness.size());
  std::vector<std::array<std::uint8_t, 256>> scale(samples.size());
  for (std::size_t k = 0; k < samples.size(); ++k) {
    const double factor = brightness[k] > 0 ? reference / brightness[k] : 1.0;
    for (int v = 0; v < 256; ++v) scale[k][v] = static_cast<std::uint8_t>(std::min(255.0, std::round(v * factor)));
  }

  Background background;
  background.width = width;
  background.height = height;
  background.pixels.resize(static_cast<std::size_t>(width) * height);
  // One row of every sample at a time, scaled, then the median of each column.
  const std::size_t n = samples.size();
  const std::size_t stride = (static_cast<std::size_t>(width) + 15) / 16 * 16;
  const int bands = std::clamp(threads, 1, std::max(1, height / 16));
  std::vector<std::vector<std::uint8_t>> rows(static_cast<std::size_t>(bands), std::vector<std::uint8_t>(n * stride));
  auto band = [&](int b) {
    // Locals, not captures: byte stores could alias what a capture refers to.
    const int w = width;
    std::uint8_t* scaled = rows[static_cast<std::size_t>(b)].data();
    std::uint8_t* out = background.pixels.data();
    for (int y = b * height / bands; y < (b + 1) * height / bands; ++y) {
      for (std::size_t k = 0; k < n; ++k) {
        const std::uint8_t* in = samples[k].row(y);
        const std::uint8_t* table = scale[k].data();
        std::uint8_t* row = scaled + k * stride;
        mapBytes(in, table, w, row);
      }
      columnMedians(scaled, n, stride, w, out + static_cast<std::size_t>(y) * w);
    }
  };
  std::vector<std::thread> helpers;
  try {
    for (int b = 1; b < bands; ++b) helpers.emplace_back(band, b);
  } catch (...) {
    for (std::thread& t : helpers) t.join();
    throw;
  }
  band(0);
  for (std::thread& t : helpers) t.join();
  return background;
}

namespace {

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TRESSEL_AVX2_MEDIANS 1
// columnMedians' SSE2 loop 32 columns at a time; returns the first column
// it left. At most 255 rows, so that each byte's count fits.
__attribute__((target("avx2"))) int columnMediansAvx2(const std::uint8_t* values, std::size_t count,
                                                      std::size_t stride, int width, std::size_t need,
                                                      std::uint8_t* out) {
  const __m256i needed = _mm256_set1_epi8(static_cast<char>(need));
  int x = 0;
  for (; x + 32 <= width; x += 32) {
    __m256i median = _mm256_setzero_si256();
    for (int bit = 128; bit > 0; bit >>= 1) {
      const __m256i bitMask = _mm256_set1_epi8(static_cast<char>(bit));
      const __m256i candidate = _mm256_or_si256(median, bitMask);
      __m256i atOrAbove = _mm256_setzero_si256();
      for (std::size_t k = 0; k < count; ++k) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(values + k * stride + x));
        atOrAbove = _mm256_sub_epi8(atOrAbove, _mm256_cmpeq_epi8(_mm256_max_epu8(v, candidate), v));
      }
      const __m256i keep = _mm256_cmpeq_epi8(_mm256_max_epu8(atOrAbove, needed), atOrAbove);
      median = _mm256_or_si256(median, _mm256_and_si256(keep, bitMask));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), median);
  }
  return x;
}

// mapBytes 32 bytes at a time; returns the first byte it left. The table is
// looked up a sixteenth at a time: bytes of the sixteenth h are 16h + i, and
// after 16h is taken off (wrapping) and 0x70 added (saturating) they are
// 0x70 + i, which the shuffle looks up at i; every other byte is then 0x80
// or more, which the shuffle turns into 0.
__attribute__((target("avx2"))) int mapBytesAvx2(const std::uint8_t* in, const std::uint8_t* table, int width,
                                                 std::uint8_t* out) {
  __m256i sixteenths[16];
  for (int h = 0; h < 16; ++h) {
    sixteenths[h] = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16 * h)));
  }
  const __m256i sixteen = _mm256_set1_epi8(16), lift = _mm256_set1_epi8(0x70);
  int x = 0;
  for (; x + 32 <= width; x += 32) {
    __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + x));
    __m256i mapped = _mm256_setzero_si256();
    for (int h = 0; h < 16; ++h) {
      mapped = _mm256_or_si256(mapped, _mm256_shuffle_epi8(sixteenths[h], _mm256_adds_epu8(index, lift)));
      index = _mm256_sub_epi8(index, sixteen);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), mapped);
  }
  return x;
}

bool haveAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}
#endif

}  // namespace

void mapBytes(const std::uint8_t* in, const std::uint8_t* table, int width, std::uint8_t* out) {
  int x = 0;
#if defined(TRESSEL_AVX2_MEDIANS)
  static const bool avx2 = haveAvx2();
  if (avx2) x = mapBytesAvx2(in, table, width, out);
#endif
  for (; x < width; ++x) out[x] = table[in[x]];
}

// The value at index count / 2 of the sorted column is the largest v with
// at most count / 2 values below it, or with at least count - count / 2 at
// or above it; its bits are decided from the top, each kept when the count
// allows it.
void columnMedians(const std::uint8_t* values, std::size_t count, std::size_t stride, int width, std::uint8_t* out) {
  if (count == 0 || width <= 0) return;
  const std::size_t need = count - count / 2;
  int x = 0;
#if defined(TRESSEL_AVX2_MEDIANS)
  static const bool avx2 = haveAvx2();
  if (count <= 255 && avx2) x = columnMediansAvx2(values, count, stride, width, need, out);
#endif
#if defined(__SSE2__)
  if (count <= 255) {
    const __m128i needed = _mm_set1_epi8(static_cast<char>(need));
    for (; x + 16 <= width; x += 16) {
      __m128i median = _mm_setzero_si128();
      for (int bit = 128; bit > 0; bit >>= 1) {
        const __m128i bitMask = _mm_set1_epi8(static_cast<char>(bit));
        const __m128i candidate = _mm_or_si128(median, bitMask);
        __m128i atOrAbove = _mm_setzero_si128();  // a count in each byte, at most 255
        for (std::size_t k = 0; k < count; ++k) {
          const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + k * stride + x));
          atOrAbove = _mm_sub_epi8(atOrAbove, _mm_cmpeq_epi8(_mm_max_epu8(v, candidate), v));
        }
        const __m128i keep = _mm_cmpeq_epi8(_mm_max_epu8(atOrAbove, needed), atOrAbove);
        median = _mm_or_si128(median, _mm_and_si128(keep, bitMask));
      }
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), median);
    }
  }
#endif
  for (; x < width; ++x) {
    int median = 0;
    for (int bit = 128; bit > 0; bit >>= 1) {
      const int candidate = median | bit;
      std::size_t atOrAbove = 0;
      for (std::size_t k = 0; k < count; ++k) atOrAbove += values[k * stride + x] >= candidate;
      if (atOrAbove >= need) median = candidate;
    }
    out[x] = static_cast<std::uint8_t>(median);
  }
}

Calibration calibrate(const std::vector<video::Frame>& samples, const Background& background,
                      const CalibrationRequest& request) {
  Calibration c;
  c.settings = request.base;
  c.samples = static_cast<int>(samples.size());
  const Rect area = wholeOrRoi(request.base.roi, background.width, background.height);
  const std::vector<std::uint8_t>& arena = request.base.arenaMask;

  // The floor's noise: the spread of |frame - background| over every 4th
  // pixel of every 4th row, almost all of which show floor.
  std::array<std::int64_t, 256> histogram{};
  const double backgroundBrightness =
      std::max(1.0, arenaBrightness(background.pixels.data(), background.width, background.width, area, arena));
  // The floor shows the same few pairs of frame and background levels again
  // and again: each pair's rounded difference is worked out once per sample
  // (-1: not yet).
  std::vector<std::int16_t> differenceOf(256 * 256);
  for (const video::Frame& f : samples) {
    const double gain = arenaBrightness(f, area, arena) / backgroundBrightness;
    std::fill(differenceOf.begin(), differenceOf.end(), std::int16_t{-1});
    for (int y = area.y + 2; y < area.y + area.height; y += 4) {
      const std::uint8_t* row = f.row(y);
      const std::uint8_t* bg = background.pixels.data() + static_cast<std::size_t>(y) * background.width;
      for (int x = area.x + 2; x < area.x + area.width; x += 4) {
        if (!arena.empty() && arena[static_cast<std::size_t>(y) * background.width + x] == 0) continue;
        std::int16_t& d = differenceOf[static_cast<std::size_t>(bg[x]) << 8 | row[x]];
        if (d < 0) d = static_cast<std::int16_t>(std::min(255L, std::lround(std::abs(row[x] - gain * bg[x]))));
        ++histogram[d];
      }
    }
  }
  // The median of |d| of a normal distribution is 0.6745 sigma.
  c.noise = std::max(0.5, histogramQuantile(histogram, 0.5) / 0.6745);

  // A first, safe threshold well above the noise finds the animal's core.
  const int probe = std::clamp(static_cast<int>(std::ceil(8 * c.noise)), 12, 128);
  auto areasAt = [&](Polarity polarity, int threshold, std::vector<std::int64_t>& areas,
                     std::vector<double>* contrasts) {
    SegmentationSettings s = request.base;
    s.polarity = polarity;
    s.threshold = threshold;
    Segmenter segmenter(s, background);
    Segmentation found;
    areas.clear();
    for (const video::Frame& f : samples) {
      segmenter.segment(f, found);
      areas.push_back(found.area);
      if (contrasts == nullptr || found.runs.empty()) continue;
      // The median difference inside the component: the body's contrast.
      std::array<std::int64_t, 256> inside{};
      const int gain256 = static_cast<int>(std::lround(found.gain * 256));
      for (const Run& r : found.runs) {
        const std::uint8_t* row = f.row(r.row);
        const std::uint8_t* bg = background.pixels.data() + static_cast<std::size_t>(r.row) * background.width;
        for (int x = r.first; x <= r.last; ++x) {
          const int scaledBg = std::min(255, (bg[x] * gain256) >> 8);
          ++inside[std::clamp(polarity == Polarity::dark ? scaledBg - row[x] : row[x] - scaledBg, 0, 255)];
        }
      }
      contrasts->push_back(histogramQuantile(inside, 0.5));
    }
  };
  auto total = [](const std::vector<std::int64_t>& v) {
    std::int64_t sum = 0;
    for (std::int64_t a : v) sum += a;
    return sum;
  };

  std::vector<std::int64_t> areas;
  if (request.polarity) {
    c.settings.polarity = *request.polarity;
  } else {
    c.polarityLearnt = true;
    std::vector<std::int64_t> darkAreas, lightAreas;
    areasAt(Polarity::dark, probe, darkAreas, nullptr);
    areasAt(Polarity::light, probe, lightAreas, nullptr);
    c.settings.polarity = total(lightAreas) > total(darkAreas) ? Polarity::light : Polarity::dark;
  }

  std::vector<double> contrasts;
  areasAt(c.settings.polarity, probe, areas, &contrasts);
  if (!contrasts.empty()) {
    std::nth_element(contrasts.begin(), contrasts.begin() + contrasts.size() / 2, contrasts.end());
    c.contrast = contrasts[contrasts.size() / 2];
  }

  if (request.threshold) {
    c.settings.threshold = *request.threshold;
  } else {
    c.thresholdLearnt = true;
    // Low enough for a thin, lighter, blurred tail (a tenth of the body's
    // contrast), high enough that the floor's noise, its drawn lines and
    // the compression's ringing stay out (five noise deviations).
    const double threshold = std::max(5 * c.noise, 0.1 * c.contrast);
    c.settings.threshold = std::clamp(static_cast<int>(std::lround(threshold)), 3, 250);
  }

  areasAt(c.settings.polarity, c.settings.threshold, areas, nullptr);
  // The typical area: the median over the samples that show an animal of a
  // size comparable to the largest ones (samples where it sat still show
  // only what moved).
  std::vector<std::int64_t> sorted = areas;
  std::sort(sorted.begin(), sorted.end());
  const std::int64_t high = sorted.empty() ? 0 : sorted[sorted.size() * 9 / 10];
  std::vector<std::int64_t> comparable;
  for (std::int64_t a : areas) {
    if (a > 0 && 5 * a >= high) comparable.push_back(a);
  }
  c.typicalArea = medianOf(comparable);
  c.minArea = static_cast<std::int64_t>(std::floor(c.typicalArea / areaGateFactor));
  c.maxArea = static_cast<std::int64_t>(std::ceil(c.typicalArea * areaGateFactor));
  for (std::int64_t a : areas) {
    if (c.typicalArea > 0 && 2 * a >= c.typicalArea) ++c.samplesWithAnimal;
  }
  // The body is about half as wide as the square root of the animal's area;
  // a third of that between coarse rows still crosses it several times.
  if (request.base.coarseStep <= 1 && request.base.openRadius == 0) {
    c.settings.coarseStep = std::clamp(static_cast<int>(std::sqrt(static_cast<double>(c.minArea)) / 6), 1, 8);
    // A tail can reach about as far from the body as the body is long.
    c.settings.searchMargin = static_cast<int>(std::sqrt(static_cast<double>(c.typicalArea)) / 2);
  }

  if (c.typicalArea == 0) {
    c.warnings.push_back("no animal was found in any of the " + std::to_string(c.samples) +
                         " background samples: check --animal and --threshold, or give --background");
  } else if (2 * c.samplesWithAnimal < c.samples) {
    c.warnings.push_back("the animal seems to sit still in most of the " + std::to_string(c.samples) +
                         " background samples (it was found whole in " + std::to_string(c.samplesWithAnimal) +
                         "), so it is part of the estimated background; give a picture of the empty arena with "
                         "--background");
  }
  return c;
}

}  // namespace tressel::tracking
