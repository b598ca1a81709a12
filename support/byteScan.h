// Scans along a row of bytes eight at a time: rasters are mostly long runs of
// equal bytes, and testing a word at once skips them quickly. Words are read
// with memcpy, so no alignment or aliasing assumptions are made.
#pragma once

#include <cstdint>
#include <cstring>

namespace lti {

// Index of the first non-zero byte in row[from, end), or end.
inline int findNonZero(const unsigned char* row, int from, int end) {
  int x = from;
  while (x + 8 <= end) {
    std::uint64_t word;
    std::memcpy(&word, row + x, 8);
    if (word != 0) break;
    x += 8;
  }
  while (x < end && row[x] == 0) ++x;
  return x;
}

// Index of the first zero byte in row[from, end), or end.
inline int findZero(const unsigned char* row, int from, int end) {
  constexpr std::uint64_t ones = 0x0101010101010101ULL;
  constexpr std::uint64_t highs = 0x8080808080808080ULL;
  int x = from;
  while (x + 8 <= end) {
    std::uint64_t word;
    std::memcpy(&word, row + x, 8);
    if (((word - ones) & ~word & highs) != 0) break;  // some byte of the word is 0
    x += 8;
  }
  while (x < end && row[x] != 0) ++x;
  return x;
}

}  // namespace lti
