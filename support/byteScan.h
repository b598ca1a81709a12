// Scans along a row of bytes several at a time: rasters are mostly long runs
// of equal bytes, and testing a word (or a vector) at once skips them quickly.
// Words are read with memcpy, so no alignment or aliasing assumptions are made.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lti {

inline std::uint64_t loadWord(const unsigned char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Index of the first non-zero byte in row[from, end), or end. Background is
// skipped 64 bytes at a time with vector instructions where available, then
// 32 and 8.
inline int findNonZero(const unsigned char* row, int from, int end) {
  int x = from;
#if defined(__SSE2__)
  // Masks are mostly background: test 64 bytes per step where vector
  // instructions are available.
  const __m128i zero = _mm_setzero_si128();
  while (x + 64 <= end) {
    const __m128i* p = reinterpret_cast<const __m128i*>(row + x);
    const __m128i any = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(p), _mm_loadu_si128(p + 1)),
                                     _mm_or_si128(_mm_loadu_si128(p + 2), _mm_loadu_si128(p + 3)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, zero)) != 0xFFFF) break;
    x += 64;
  }
#endif
  while (x + 32 <= end &&
         (loadWord(row + x) | loadWord(row + x + 8) | loadWord(row + x + 16) | loadWord(row + x + 24)) == 0) {
    x += 32;
  }
  while (x + 8 <= end && loadWord(row + x) == 0) x += 8;
  while (x < end && row[x] == 0) ++x;
  return x;
}

// Index of the first zero byte in row[from, end), or end.
inline int findZero(const unsigned char* row, int from, int end) {
  constexpr std::uint64_t ones = 0x0101010101010101ULL;
  constexpr std::uint64_t highs = 0x8080808080808080ULL;
  int x = from;
  while (x + 8 <= end) {
    const std::uint64_t word = loadWord(row + x);
    if (((word - ones) & ~word & highs) != 0) break;  // some byte of the word is 0
    x += 8;
  }
  while (x < end && row[x] != 0) ++x;
  return x;
}

}  // namespace lti
