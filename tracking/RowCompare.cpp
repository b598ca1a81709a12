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

// Compares `words` x 64 pixels from column 0 of the given rows; bit i of
// bits[k] is pixel 64 k + i.
using WordsCompare = void (*)(const std::uint8_t* frame, const std::uint8_t* background, const std::uint8_t* arena,
                              int gain256, int threshold, int words, std::uint64_t* bits);

template <bool dark, bool masked>
void compareWordsScalar(const std::uint8_t* frame, const std::uint8_t* background, const std::uint8_t* arena,
                        int gain256, int threshold, int words, std::uint64_t* bits) {
  for (int k = 0; k < words; ++k) {
    std::uint64_t word = 0;
    for (int i = 0; i < 64; ++i) {
      const int j = 64 * k + i;
      const int s = std::min(255, (background[j] * gain256) >> 8);
      const int d = dark ? s - frame[j] : frame[j] - s;
      if (d > threshold && (!masked || arena[j] != 0)) word |= std::uint64_t{1} << i;
    }
    bits[k] = word;
  }
}

#if defined(__SSE2__)
template <bool dark, bool masked>
void compareWordsSse2(const std::uint8_t* frame, const std::uint8_t* background, const std::uint8_t* arena,
                      int gain256, int threshold, int words, std::uint64_t* bits) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i gain = _mm_set1_epi16(static_cast<short>(static_cast<unsigned short>(gain256)));
  const __m128i limit = _mm_set1_epi8(static_cast<char>(threshold));
  for (int k = 0; k < words; ++k) {
    std::uint64_t word = 0;
    for (int part = 0; part < 4; ++part) {
      const int j = 64 * k + 16 * part;
      const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frame + j));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(background + j));
      // (b << 8) * gain >> 16 = b * gain / 256, saturated to a byte by the pack.
      const __m128i low = _mm_mulhi_epu16(_mm_unpacklo_epi8(zero, b), gain);
      const __m128i high = _mm_mulhi_epu16(_mm_unpackhi_epi8(zero, b), gain);
      const __m128i s = _mm_packus_epi16(low, high);
      const __m128i d = dark ? _mm_subs_epu8(s, f) : _mm_subs_epu8(f, s);
      __m128i within = _mm_cmpeq_epi8(_mm_subs_epu8(d, limit), zero);  // 0xFF where d <= threshold
      if (masked) {
        const __m128i outside = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(arena + j)), zero);
        within = _mm_or_si128(within, outside);
      }
      const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(within)) ^ 0xFFFFu;
      word |= static_cast<std::uint64_t>(m) << (16 * part);
    }
    bits[k] = word;
  }
}
#endif

#if defined(TRESSEL_AVX2_KERNEL)
// As the SSE2 kernel, 32 bytes at a time. The unpacks and the pack work
// within each 16-byte lane, so the pack puts every byte back in its place.
template <bool dark, bool masked>
__attribute__((target("avx2"))) void compareWordsAvx2(const std::uint8_t* frame, const std::uint8_t* background,
                                                       const std::uint8_t* arena, int gain256, int threshold,
                                                       int words, std::uint64_t* bits) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i gain = _mm256_set1_epi16(static_cast<short>(static_cast<unsigned short>(gain256)));
  const __m256i limit = _mm256_set1_epi8(static_cast<char>(threshold));
  for (int k = 0; k < words; ++k) {
    std::uint64_t word = 0;
    for (int part = 0; part < 2; ++part) {
      const int j = 64 * k + 32 * part;
      const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frame + j));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(background + j));
      const __m256i low = _mm256_mulhi_epu16(_mm256_unpacklo_epi8(zero, b), gain);
      const __m256i high = _mm256_mulhi_epu16(_mm256_unpackhi_epi8(zero, b), gain);
      const __m256i s = _mm256_packus_epi16(low, high);
      const __m256i d = dark ? _mm256_subs_epu8(s, f) : _mm256_subs_epu8(f, s);
      __m256i within = _mm256_cmpeq_epi8(_mm256_subs_epu8(d, limit), zero);
      if (masked) {
        const __m256i outside =
            _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(arena + j)), zero);
        within = _mm256_or_si256(within, outside);
      }
      const std::uint32_t m = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(within));
      word |= static_cast<std::uint64_t>(m) << (32 * part);
    }
    bits[k] = word;
  }
}
#endif

// Appends to `runs` the runs of one row given as a bit mask of 64 pixels starting at
// column x0; `open` is the column where a run began in an earlier word, or -1.
inline void appendBitRuns(std::uint64_t bits, int x0, int row, int& open, std::vector<Run>& runs) {
  int x = 0;
  while (x < 64) {
    if (open < 0) {
      const std::uint64_t rest = bits >> x;
      if (rest == 0) return;
      x += __builtin_ctzll(rest);
      open = x0 + x;
    }
    const std::uint64_t gaps = ~bits >> x;
    if (gaps == 0) return;  // the run goes on into the next word
    x += __builtin_ctzll(gaps);
    runs.push_back(Run{row, open, x0 + x - 1});
    open = -1;
  }
}

template <bool dark, bool masked, WordsCompare compareWords>
void compareSpan(const std::uint8_t* f, const std::uint8_t* b, const std::uint8_t* a, int gain256, int threshold,
                 int y, int x0, int x1, std::vector<Run>& runs) {
  const std::size_t before = runs.size();
  constexpr int chunk = 32;  // words compared before their runs are read
  std::uint64_t bits[chunk];
  int open = -1;
  int x = x0;
  while (x + 64 <= x1) {
    const int words = std::min(chunk, (x1 - x) / 64);
    compareWords(f + x, b + x, masked ? a + x : nullptr, gain256, threshold, words, bits);
    for (int k = 0; k < words; ++k, x += 64) {
      if (bits[k] != 0 || open >= 0) appendBitRuns(bits[k], x, y, open, runs);
    }
  }
  if (x < x1 && x1 >= 64) {
    // The last, partial word: compare the 64 columns that end at x1 and
    // drop the ones already done (or left of x0).
    const int start = x1 - 64;
    compareWords(f + start, b + start, masked ? a + start : nullptr, gain256, threshold, 1, bits);
    appendBitRuns(bits[0] >> (x - start), x, y, open, runs);
    x = x1;
  }
  for (; x < x1; ++x) {  // rows narrower than a word
    const int s = std::min(255, (b[x] * gain256) >> 8);
    const int d = dark ? s - f[x] : f[x] - s;
    const bool in = d > threshold && (!masked || a[x] != 0);
    if (in && open < 0) open = x;
    if (!in && open >= 0) {
      runs.push_back(Run{y, open, x - 1});
      open = -1;
    }
  }
  if (open >= 0) runs.push_back(Run{y, open, x1 - 1});
  if (before > 0 && runs.size() > before) {
    Run& last = runs[before - 1];
    if (last.row == y && last.last + 1 == runs[before].first) {
      last.last = runs[before].last;
      runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(before));
    }
  }
}

template <WordsCompare dm, WordsCompare dn, WordsCompare lm, WordsCompare ln>
SpanCompare choose(bool dark, bool masked) {
  if (dark) return masked ? compareSpan<true, true, dm> : compareSpan<true, false, dn>;
  return masked ? compareSpan<false, true, lm> : compareSpan<false, false, ln>;
}

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

SpanCompare spanCompare(bool dark, bool masked, VectorWidth width) {
  (void)width;
#if defined(TRESSEL_AVX2_KERNEL)
  if (width == VectorWidth::avx2) {
    return choose<compareWordsAvx2<true, true>, compareWordsAvx2<true, false>, compareWordsAvx2<false, true>,
                  compareWordsAvx2<false, false>>(dark, masked);
  }
#endif
#if defined(__SSE2__)
  if (width != VectorWidth::none) {
    return choose<compareWordsSse2<true, true>, compareWordsSse2<true, false>, compareWordsSse2<false, true>,
                  compareWordsSse2<false, false>>(dark, masked);
  }
#endif
  return choose<compareWordsScalar<true, true>, compareWordsScalar<true, false>, compareWordsScalar<false, true>,
                compareWordsScalar<false, false>>(dark, masked);
}

}  // namespace tressel::tracking
