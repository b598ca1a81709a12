#include "tracking/RowCompare.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define TRESSEL_AVX2_KERNEL 1
#endif

namespace tressel::tracking {
namespace {

// Closes a run still open at x1 and joins the span's first run to the one
// before it when they touch (see PiecesCompare).
inline void finishSpan(int y, int open, int x1, std::size_t before, std::vector<Run>& runs) {
  if (open >= 0) runs.push_back(Run{y, open, x1 - 1});
  if (before > 0 && runs.size() > before) {
    Run& last = runs[before - 1];
    if (last.row == y && last.last + 1 == runs[before].first) {
      last.last = runs[before].last;
      runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(before));
    }
  }
}

// The pieces of one call come rows apart (the coarse rows, the rows of a
// grown area), so the hardware's prefetcher does not see them coming and
// every cache line of a row waited for memory. The lines of the piece after
// next are asked for while this one is compared (one core on 640x480: the
// compare's time fell by a quarter to a third).
constexpr std::size_t piecesAhead = 2;

inline void prefetchPiece(const ComparePlanes& planes, const RowPiece& p, bool masked) {
  const std::ptrdiff_t at = p.y * planes.stride;
  const std::uint8_t* frame = planes.frame + p.y * planes.frameStride;
  const std::uint8_t* background = planes.background + at;
  const std::uint8_t* arena = masked ? planes.arena + at : nullptr;
  // Plain addresses: GCC drops a prefetch whose address a condition picks,
  // and with it the loop.
  for (int x = p.x0; x < p.x1; x += 64) {
    __builtin_prefetch(frame + x);
    __builtin_prefetch(background + x);
    if (masked) __builtin_prefetch(arena + x);
  }
}

template <bool dark, bool masked>
inline bool beyond(const std::uint8_t* frame, const std::uint8_t* background, const std::uint8_t* arena, int gain256,
                   int threshold, int x) {
  const int s = std::min(255, (background[x] * gain256) >> 8);
  const int d = dark ? s - frame[x] : frame[x] - s;
  return d > threshold && (!masked || arena[x] != 0);
}

// The word of columns x .. x1 - 1 (at most 64), pixel by pixel.
template <bool dark, bool masked>
std::uint64_t partialWord(const std::uint8_t* frame, const std::uint8_t* background, const std::uint8_t* arena,
                          int gain256, int threshold, int x, int x1) {
  std::uint64_t word = 0;
  for (int i = 0; x + i < x1; ++i) {
    if (beyond<dark, masked>(frame, background, arena, gain256, threshold, x + i)) word |= std::uint64_t{1} << i;
  }
  return word;
}

// The kernels: each compares a span word by word and reads the runs off
// each word as it comes (PiecesCompare). The SIMD ones take the 64 columns
// from x as a word; with unit gain (gain256 = 256) the background is its own
// scaled value and is used as it is.
template <bool dark, bool masked>
void spanScalar(const std::uint8_t* frame, const std::uint8_t* background, const std::uint8_t* arena, int gain256,
                int threshold, int y, int x0, int x1, std::vector<Run>& runs) {
  const std::size_t before = runs.size();
  int open = -1;
  for (int x = x0; x < x1; x += 64) {
    const std::uint64_t word =
        partialWord<dark, masked>(frame, background, arena, gain256, threshold, x, std::min(x1, x + 64));
    if (word != 0 || open >= 0) appendBitRuns(word, x, y, open, runs);
  }
  finishSpan(y, open, x1, before, runs);
}

#if defined(__SSE2__)
template <bool dark, bool masked, bool unit>
inline std::uint64_t wordSse2(const std::uint8_t* frame, const std::uint8_t* background, const std::uint8_t* arena,
                              __m128i gain, __m128i limit, int x) {
  const __m128i zero = _mm_setzero_si128();
  std::uint64_t word = 0;
  for (int part = 0; part < 4; ++part) {
    const int j = x + 16 * part;
    const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frame + j));
    __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(background + j));
    if (!unit) {
      // (b << 8) * gain >> 16 = b * gain / 256, saturated to a byte by the pack.
      const __m128i low = _mm_mulhi_epu16(_mm_unpacklo_epi8(zero, s), gain);
      const __m128i high = _mm_mulhi_epu16(_mm_unpackhi_epi8(zero, s), gain);
      s = _mm_packus_epi16(low, high);
    }
    const __m128i d = dark ? _mm_subs_epu8(s, f) : _mm_subs_epu8(f, s);
    __m128i within = _mm_cmpeq_epi8(_mm_subs_epu8(d, limit), zero);  // 0xFF where d <= threshold
    if (masked) {
      const __m128i outside = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(arena + j)), zero);
      within = _mm_or_si128(within, outside);
    }
    const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(within)) ^ 0xFFFFu;
    word |= static_cast<std::uint64_t>(m) << (16 * part);
  }
  return word;
}

template <bool dark, bool masked, bool unit>
inline void rowSse2(const std::uint8_t* frame, const std::uint8_t* background, const std::uint8_t* arena, __m128i gain,
                    __m128i limit, int gain256, int threshold, int y, int x0, int x1, std::vector<Run>& runs) {
  const std::size_t before = runs.size();
  int open = -1, x = x0;
  for (; x + 64 <= x1; x += 64) {
    const std::uint64_t word = wordSse2<dark, masked, unit>(frame, background, arena, gain, limit, x);
    if (word != 0 || open >= 0) appendBitRuns(word, x, y, open, runs);
  }
  if (x < x1) {  // the last, partial word: the 64 columns that end at x1, where they exist
    const std::uint64_t word =
        x1 >= 64 ? wordSse2<dark, masked, unit>(frame, background, arena, gain, limit, x1 - 64) >> (x - (x1 - 64))
                 : partialWord<dark, masked>(frame, background, arena, gain256, threshold, x, x1);
    appendBitRuns(word, x, y, open, runs);
  }
  finishSpan(y, open, x1, before, runs);
}

template <bool dark, bool masked, bool unit>
void piecesSse2(const ComparePlanes& planes, int gain256, int threshold, const RowPiece* pieces, std::size_t count,
                std::vector<Run>& runs) {
  const __m128i gain = _mm_set1_epi16(static_cast<short>(static_cast<unsigned short>(gain256)));
  const __m128i limit = _mm_set1_epi8(static_cast<char>(threshold));
  for (std::size_t k = 0; k < std::min(count, piecesAhead); ++k) prefetchPiece(planes, pieces[k], masked);
  for (std::size_t k = 0; k < count; ++k) {
    if (k + piecesAhead < count) prefetchPiece(planes, pieces[k + piecesAhead], masked);
    const RowPiece& p = pieces[k];
    const std::ptrdiff_t at = p.y * planes.stride;
    rowSse2<dark, masked, unit>(planes.frame + p.y * planes.frameStride, planes.background + at,
                                masked ? planes.arena + at : nullptr, gain, limit, gain256, threshold, p.y, p.x0, p.x1,
                                runs);
  }
}
#endif

#if defined(TRESSEL_AVX2_KERNEL)
// As the SSE2 kernel, 32 bytes at a time. The unpacks and the pack work
// within each 16-byte lane, so the pack puts every byte back in its place.
template <bool dark, bool masked, bool unit>
__attribute__((target("avx2"), always_inline)) inline std::uint32_t halfAvx2(const std::uint8_t* frame,
                                                                              const std::uint8_t* background,
                                                                              const std::uint8_t* arena, __m256i gain,
                                                                              __m256i limit, int j) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frame + j));
  __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(background + j));
  if (!unit) {
    const __m256i low = _mm256_mulhi_epu16(_mm256_unpacklo_epi8(zero, s), gain);
    const __m256i high = _mm256_mulhi_epu16(_mm256_unpackhi_epi8(zero, s), gain);
    s = _mm256_packus_epi16(low, high);
  }
  const __m256i d = dark ? _mm256_subs_epu8(s, f) : _mm256_subs_epu8(f, s);
  __m256i within = _mm256_cmpeq_epi8(_mm256_subs_epu8(d, limit), zero);
  if (masked) {
    const __m256i outside = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(arena + j)), zero);
    within = _mm256_or_si256(within, outside);
  }
  return ~static_cast<std::uint32_t>(_mm256_movemask_epi8(within));
}

template <bool dark, bool masked, bool unit>
__attribute__((target("avx2"), always_inline)) inline std::uint64_t wordAvx2(const std::uint8_t* frame,
                                                                              const std::uint8_t* background,
                                                                              const std::uint8_t* arena, __m256i gain,
                                                                              __m256i limit, int x) {
  const std::uint32_t low = halfAvx2<dark, masked, unit>(frame, background, arena, gain, limit, x);
  const std::uint32_t high = halfAvx2<dark, masked, unit>(frame, background, arena, gain, limit, x + 32);
  return (std::uint64_t{high} << 32) | low;
}

template <bool dark, bool masked, bool unit>
__attribute__((target("avx2"), always_inline)) inline void rowAvx2(const std::uint8_t* frame,
                                                                   const std::uint8_t* background,
                                                                   const std::uint8_t* arena, __m256i gain,
                                                                   __m256i limit, int gain256, int threshold, int y,
                                                                   int x0, int x1, std::vector<Run>& runs) {
  const std::size_t before = runs.size();
  int open = -1, x = x0;
  for (; x + 64 <= x1; x += 64) {
    const std::uint64_t word = wordAvx2<dark, masked, unit>(frame, background, arena, gain, limit, x);
    if (word != 0 || open >= 0) appendBitRuns(word, x, y, open, runs);
  }
  if (x < x1) {  // the last, partial word: the 32 or 64 columns that end at x1, where they exist
    std::uint64_t word;
    if (x1 - x <= 32 && x1 >= 32) {
      word = halfAvx2<dark, masked, unit>(frame, background, arena, gain, limit, x1 - 32) >> (x - (x1 - 32));
    } else if (x1 >= 64) {
      word = wordAvx2<dark, masked, unit>(frame, background, arena, gain, limit, x1 - 64) >> (x - (x1 - 64));
    } else {
      word = partialWord<dark, masked>(frame, background, arena, gain256, threshold, x, x1);
    }
    appendBitRuns(word, x, y, open, runs);
  }
  finishSpan(y, open, x1, before, runs);
}

template <bool dark, bool masked, bool unit>
__attribute__((target("avx2"))) void piecesAvx2(const ComparePlanes& planes, int gain256, int threshold,
                                                 const RowPiece* pieces, std::size_t count, std::vector<Run>& runs) {
  const __m256i gain = _mm256_set1_epi16(static_cast<short>(static_cast<unsigned short>(gain256)));
  const __m256i limit = _mm256_set1_epi8(static_cast<char>(threshold));
  for (std::size_t k = 0; k < std::min(count, piecesAhead); ++k) prefetchPiece(planes, pieces[k], masked);
  for (std::size_t k = 0; k < count; ++k) {
    if (k + piecesAhead < count) prefetchPiece(planes, pieces[k + piecesAhead], masked);
    const RowPiece& p = pieces[k];
    const std::ptrdiff_t at = p.y * planes.stride;
    rowAvx2<dark, masked, unit>(planes.frame + p.y * planes.frameStride, planes.background + at,
                                masked ? planes.arena + at : nullptr, gain, limit, gain256, threshold, p.y, p.x0, p.x1,
                                runs);
  }
}
#endif

// Pieces one at a time, pixel by pixel.
template <bool dark, bool masked>
void piecesScalar(const ComparePlanes& planes, int gain256, int threshold, const RowPiece* pieces, std::size_t count,
                  std::vector<Run>& runs) {
  for (std::size_t k = 0; k < count; ++k) {
    const RowPiece& p = pieces[k];
    const std::ptrdiff_t at = p.y * planes.stride;
    spanScalar<dark, masked>(planes.frame + p.y * planes.frameStride, planes.background + at,
                             masked ? planes.arena + at : nullptr, gain256, threshold, p.y, p.x0, p.x1, runs);
  }
}

// The kernel for the frame's gain. Beyond 32767 the SIMD kernels' 16-bit
// products can pass 2^15, which their pack would take as negative: such
// frames are compared pixel by pixel.
#define TRESSEL_PIECES_BY_GAIN(name, kernel)                                                                    \
  template <bool dark, bool masked>                                                                            \
  void name(const ComparePlanes& planes, int gain256, int threshold, const RowPiece* pieces, std::size_t count,  \
            std::vector<Run>& runs) {                                                                          \
    if (gain256 == 256) return kernel<dark, masked, true>(planes, gain256, threshold, pieces, count, runs); \
    if (gain256 < 32768) return kernel<dark, masked, false>(planes, gain256, threshold, pieces, count, runs); \
    return piecesScalar<dark, masked>(planes, gain256, threshold, pieces, count, runs);                   \
  }
#if defined(__SSE2__)
TRESSEL_PIECES_BY_GAIN(piecesBySse2, piecesSse2)
#endif
#if defined(TRESSEL_AVX2_KERNEL)
TRESSEL_PIECES_BY_GAIN(piecesByAvx2, piecesAvx2)
#endif
#undef TRESSEL_PIECES_BY_GAIN

#define TRESSEL_CHOOSE(name) \
  (dark ? (masked ? name<true, true> : name<true, false>) : (masked ? name<false, true> : name<false, false>))

}  // namespace

VectorWidth widestVectors() {
#if defined(TRESSEL_AVX2_KERNEL)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return VectorWidth::avx2;
#endif
#if defined(__SSE2__)
  return VectorWidth::sse2;
#else
  return VectorWidth::none;
#endif
}

PiecesCompare piecesCompare(bool dark, bool masked, VectorWidth width) {
  (void)width;
#if defined(TRESSEL_AVX2_KERNEL)
  if (width == VectorWidth::avx2) return TRESSEL_CHOOSE(piecesByAvx2);
#endif
#if defined(__SSE2__)
  if (width != VectorWidth::none) return TRESSEL_CHOOSE(piecesBySse2);
#endif
  return TRESSEL_CHOOSE(piecesScalar);
}
#undef TRESSEL_CHOOSE

}  // namespace tressel::tracking
