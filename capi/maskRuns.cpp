// Run-based labelling: each row's runs are found with word-at-a-time scans,
// and one sweep over the runs unites (union-find) each with the runs of the
// row above that touch it diagonally or directly, summing the component sizes
// at their roots as it goes.
#include "capi/maskRuns.h"

#include <algorithm>
#include <climits>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
#define TRESSEL_AVX2_SCAN 1
#include <immintrin.h>
#else
#define TRESSEL_AVX2_SCAN 0
#endif

#include "support/byteScan.h"
#include "support/exception.h"

namespace tressel {
namespace {

// Runs are counted in int32 indices and each gives two span points, which the
// interface returns as an int.
constexpr std::size_t maxRuns = INT_MAX / 2;

void appendRowRuns(const std::uint8_t* row, int width, int y, std::vector<Run>& runs) {
  int x = lti::findNonZero(row, 0, width);
  while (x < width) {
    const int first = x;
    x = lti::findZero(row, x, width);
    if (runs.size() == maxRuns) throw lti::allocException();
    runs.push_back(Run{y, first, x - 1});
    x = lti::findNonZero(row, x, width);
  }
}

#if TRESSEL_AVX2_SCAN
// The same runs with 32-byte vectors, on processors that have them, 64
// pixels at a time. A stretch wholly inside a run or wholly outside one costs
// one test; elsewhere a bit mask of the stretch gives the run edges, walked
// bit by bit. Empty space is skipped 128 bytes per test.
__attribute__((target("avx2"))) std::uint64_t nonZeroBits(const std::uint8_t* p) {
  const __m256i zero = _mm256_setzero_si256();
  const auto low = static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), zero)));
  const auto high = static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)), zero)));
  return ~((std::uint64_t{high} << 32) | low);
}

__attribute__((target("avx2"))) bool anyNonZero64(const std::uint8_t* p) {
  const __m256i* v = reinterpret_cast<const __m256i*>(p);
  const __m256i any = _mm256_or_si256(_mm256_loadu_si256(v), _mm256_loadu_si256(v + 1));
  return _mm256_testz_si256(any, any) == 0;
}

__attribute__((target("avx2"))) bool allNonZero64(const std::uint8_t* p) {
  const __m256i* v = reinterpret_cast<const __m256i*>(p);
  const __m256i least = _mm256_min_epu8(_mm256_loadu_si256(v), _mm256_loadu_si256(v + 1));
  const __m256i zeros = _mm256_cmpeq_epi8(least, _mm256_setzero_si256());
  return _mm256_testz_si256(zeros, zeros) != 0;
}

__attribute__((target("avx2"))) bool anyNonZero128(const std::uint8_t* p) {
  const __m256i* v = reinterpret_cast<const __m256i*>(p);
  const __m256i any = _mm256_or_si256(_mm256_or_si256(_mm256_loadu_si256(v), _mm256_loadu_si256(v + 1)),
                                      _mm256_or_si256(_mm256_loadu_si256(v + 2), _mm256_loadu_si256(v + 3)));
  return _mm256_testz_si256(any, any) == 0;
}

// Bit i of `edges` is set where column x0 + i differs from the column before
// it; the edges alternate between a run's start and the column after its end.
inline void appendEdges(std::uint64_t edges, int x0, int row, int& open, std::vector<Run>& runs) {
  while (edges != 0) {
    const int x = x0 + __builtin_ctzll(edges);
    edges &= edges - 1;
    if (open < 0) {
      open = x;
    } else {
      runs.push_back(Run{row, open, x - 1});
      open = -1;
    }
  }
}

inline std::uint64_t edgesOf(std::uint64_t region, int open) {
  return region ^ ((region << 1) | (open >= 0 ? 1u : 0u));
}

// Appends the runs of the row's columns from `from`, before which the row
// is background, up to the first empty stretch of 128 columns outside any
// run, or to the row's end: returns where it stopped, the column after the
// empty stretch or the width. The row is at least 64 wide.
__attribute__((target("avx2"))) int appendRowRunsAvx2(const std::uint8_t* row, int width, int y, int from,
                                                      std::vector<Run>& runs) {
  int open = -1;  // where the run going on began, or -1
  int x = from;
  while (x + 64 <= width) {
    if (open < 0 ? !anyNonZero64(row + x) : allNonZero64(row + x)) {
      x += 64;
      if (open < 0 && x + 128 <= width && !anyNonZero128(row + x)) return x + 128;
      continue;
    }
    appendEdges(edgesOf(nonZeroBits(row + x), open), x, y, open, runs);
    x += 64;
  }
  if (x < width) {  // the rest, read as the 64 bytes that end the row
    const int shift = x - (width - 64);
    const std::uint64_t inRow = ~std::uint64_t{0} >> shift;  // keeps out the edge after the last column
    appendEdges(edgesOf(nonZeroBits(row + width - 64) >> shift, open) & inRow, x, y, open, runs);
  }
  if (open >= 0) runs.push_back(Run{y, open, width - 1});
  return width;
}

// All the mask's runs. Where the rows follow one another in memory, empty
// space is skipped 128 bytes at a time across row ends, from where a row's
// last run ends to where the next one begins.
__attribute__((target("avx2"))) void appendMaskRunsAvx2(const MaskView& mask, std::vector<Run>& runs) {
  const std::size_t width = static_cast<std::size_t>(mask.width);
  if (mask.stride != mask.width) {
    for (int y = 0; y < mask.height; ++y) {
      const std::uint8_t* row = mask.pixels + y * mask.stride;
      for (int x = 0; x < mask.width;) x = appendRowRunsAvx2(row, mask.width, y, x, runs);
      if (runs.size() > maxRuns) throw lti::allocException();
    }
    return;
  }
  const std::size_t total = width * static_cast<std::size_t>(mask.height);
  std::size_t at = 0;  // the region before `at` has its runs
  std::size_t y = 0, rowStart = 0;
  for (;;) {
    while (at + 128 <= total && !anyNonZero128(mask.pixels + at)) at += 128;
    if (at >= total) break;
    if (at - rowStart >= width) {
      y = at / width;
      rowStart = y * width;
    }
    const int stop = appendRowRunsAvx2(mask.pixels + rowStart, mask.width, static_cast<int>(y),
                                       static_cast<int>(at - rowStart), runs);
    if (runs.size() > maxRuns) throw lti::allocException();
    at = rowStart + static_cast<std::size_t>(stop);
  }
}

bool haveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2") != 0;
  return have;
}
#endif

}  // namespace

void maskRuns(const MaskView& mask, bool keepAll, std::vector<Run>& runs, ComponentWorkspace& workspace,
              Scan scan) {
  runs.clear();
#if TRESSEL_AVX2_SCAN
  if (scan == Scan::fastest && haveAvx2() && mask.width >= 64) {
    appendMaskRunsAvx2(mask, runs);
    if (!keepAll) keepLargestComponent(runs, workspace);
    return;
  }
#endif
  (void)scan;
  for (int y = 0; y < mask.height; ++y) appendRowRuns(mask.pixels + y * mask.stride, mask.width, y, runs);
  if (!keepAll) keepLargestComponent(runs, workspace);
}

std::vector<Run> maskRuns(const MaskView& mask, bool keepAll, Scan scan) {
  std::vector<Run> runs;
  ComponentWorkspace workspace;
  maskRuns(mask, keepAll, runs, workspace, scan);
  return runs;
}

void keepLargestComponent(std::vector<Run>& runs) {
  ComponentWorkspace workspace;
  keepLargestComponent(runs, workspace);
}

// One sweep in scan order labels the runs (union-find over run indices): a
// run joins the components of the runs just above that touch it, directly or
// diagonally. A root is always the smallest index of its set, the run that
// holds the component's first pixel in scan order. Only when there is more
// than one component are their pixels counted, at the roots.
void keepLargestComponent(std::vector<Run>& runs, ComponentWorkspace& workspace) {
  if (runs.empty()) return;
  if (runs.size() > maxRuns) throw lti::allocException();
  const std::size_t n = runs.size();
  workspace.parent.resize(n);
  std::int32_t* parent = workspace.parent.data();
  auto find = [parent](std::int32_t i) {
    while (parent[i] != i) {
      parent[i] = parent[parent[i]];  // path halving
      i = parent[i];
    }
    return i;
  };

  const Run* run = runs.data();
  std::size_t rowBegin = 0;                      // the current row's first run
  std::size_t aboveEnd = 0;                      // the end of the runs of the row just above, if any
  std::size_t above = 0;
  std::size_t components = 0;                    // roots so far
  std::int32_t row = run[0].row;
  for (std::size_t i = 0; i < n; ++i) {
    const Run r = run[i];
    if (r.row != row) {
      const bool adjacent = r.row == row + 1;
      above = adjacent ? rowBegin : i;
      aboveEnd = i;
      rowBegin = i;
      row = r.row;
    }
    // Both rows' runs are sorted and disjoint, so the runs above that touch
    // this one form a contiguous range, and the range only moves right: past
    // those that end too far left, every run that starts near enough touches.
    while (above < aboveEnd && run[above].last + 1 < r.first) ++above;
    std::size_t k = above;
    if (k == aboveEnd || run[k].first > r.last + 1) {  // touches nothing above: a new component
      parent[i] = static_cast<std::int32_t>(i);
      ++components;
      continue;
    }
    std::int32_t root = parent[k];  // most often a root already
    if (parent[root] != root) root = find(root);
    for (++k; k < aboveEnd && run[k].first <= r.last + 1; ++k) {
      std::int32_t other = parent[k];
      if (parent[other] != other) other = find(other);
      if (other != root) {
        const std::int32_t low = std::min(root, other), high = std::max(root, other);
        parent[high] = low;
        root = low;
        --components;
      }
    }
    parent[i] = root;
  }

  if (components == 1) return;  // the usual mask: one animal, nothing to drop

  // The components' sizes, summed at their roots. A parent never comes after
  // its child, so in index order each run's parent already points at its
  // root.
  workspace.pixels.resize(n);
  std::int64_t* pixels = workspace.pixels.data();  // meaningful at roots only
  for (std::size_t i = 0; i < n; ++i) {
    const std::int32_t root = parent[i] = parent[parent[i]];
    const std::int64_t length = run[i].last - run[i].first + 1;
    if (root == static_cast<std::int32_t>(i)) {
      pixels[i] = length;
    } else {
      pixels[root] += length;
    }
  }
  // The first root met with the largest size wins.
  std::int32_t best = 0;
  for (std::size_t i = 1; i < n; ++i) {
    if (parent[i] == static_cast<std::int32_t>(i) && pixels[i] > pixels[best]) best = static_cast<std::int32_t>(i);
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (parent[i] == best) runs[kept++] = runs[i];
  }
  runs.resize(kept);
}

}  // namespace tressel
