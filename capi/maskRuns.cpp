// Run-based labelling: each row's runs are found with word-at-a-time scans,
// each run is united (union-find) with the runs of the row above that touch it
// diagonally or directly, and the component sizes are summed per root.
#include "capi/maskRuns.h"

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
// The same runs with 32-byte vectors, on processors that have them: empty
// stretches are skipped 128 bytes per test, and where there is region the
// runs are read off a bit mask of 64 bytes, so a row costs little more than
// reading it. The caller checks the count of runs after the row.
__attribute__((target("avx2"))) std::uint64_t nonZeroBits(const std::uint8_t* p) {
  const __m256i zero = _mm256_setzero_si256();
  const auto low = static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), zero)));
  const auto high = static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)), zero)));
  return ~((std::uint64_t{high} << 32) | low);
}

__attribute__((target("avx2"))) bool anyNonZero128(const std::uint8_t* p) {
  const __m256i* v = reinterpret_cast<const __m256i*>(p);
  const __m256i any = _mm256_or_si256(_mm256_or_si256(_mm256_loadu_si256(v), _mm256_loadu_si256(v + 1)),
                                      _mm256_or_si256(_mm256_loadu_si256(v + 2), _mm256_loadu_si256(v + 3)));
  return _mm256_testz_si256(any, any) == 0;
}

__attribute__((target("avx2"))) void appendRowRunsAvx2(const std::uint8_t* row, int width, int y,
                                                       std::vector<Run>& runs) {
  int open = -1;  // where the run going on began, or -1
  int x = 0;
  for (; x + 128 <= width; x += 128) {
    if (open < 0 && !anyNonZero128(row + x)) continue;
    appendBitRuns(nonZeroBits(row + x), x, y, open, runs);
    appendBitRuns(nonZeroBits(row + x + 64), x + 64, y, open, runs);
  }
  for (; x + 64 <= width; x += 64) appendBitRuns(nonZeroBits(row + x), x, y, open, runs);
  for (; x < width; ++x) {
    if (row[x] != 0 && open < 0) open = x;
    if (row[x] == 0 && open >= 0) {
      runs.push_back(Run{y, open, x - 1});
      open = -1;
    }
  }
  if (open >= 0) runs.push_back(Run{y, open, width - 1});
}

// All the mask's runs. Where the rows follow one another in memory, empty
// rows are skipped 128 bytes at a time across row ends.
__attribute__((target("avx2"))) void appendMaskRunsAvx2(const MaskView& mask, std::vector<Run>& runs) {
  const bool contiguous = mask.stride == mask.width;
  const std::size_t total = static_cast<std::size_t>(mask.width) * static_cast<std::size_t>(mask.height);
  for (int y = 0; y < mask.height; ++y) {
    if (contiguous) {
      std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(mask.width);
      while (at + 128 <= total && !anyNonZero128(mask.pixels + at)) at += 128;
      y = static_cast<int>(at / static_cast<std::size_t>(mask.width));  // no region before `at`
      if (y >= mask.height) break;
    }
    appendRowRunsAvx2(mask.pixels + y * mask.stride, mask.width, y, runs);
    if (runs.size() > maxRuns) throw lti::allocException();
  }
}

bool haveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2") != 0;
  return have;
}
#endif

// Union-find over run indices. The root of a set is always its smallest
// index, which is the run holding the component's first pixel in scan order.
class RunSets {
 public:
  explicit RunSets(std::vector<std::int32_t>& parent) : parent_(parent) { parent_.clear(); }
  void add() { parent_.push_back(static_cast<std::int32_t>(parent_.size())); }

  std::int32_t find(std::int32_t i) {
    while (parent_[i] != i) {
      parent_[i] = parent_[parent_[i]];  // path halving
      i = parent_[i];
    }
    return i;
  }

  void unite(std::int32_t a, std::int32_t b) {
    a = find(a);
    b = find(b);
    if (a < b) {
      parent_[b] = a;
    } else if (b < a) {
      parent_[a] = b;
    }
  }

 private:
  std::vector<std::int32_t>& parent_;
};

bool touch(const Run& above, const Run& below) {
  return above.first <= below.last + 1 && below.first <= above.last + 1;
}

}  // namespace

std::vector<Run> maskRuns(const MaskView& mask, bool keepAll) {
  std::vector<Run> runs;
#if TRESSEL_AVX2_SCAN
  if (haveAvx2()) {
    appendMaskRunsAvx2(mask, runs);
    if (!keepAll) keepLargestComponent(runs);
    return runs;
  }
#endif
  for (int y = 0; y < mask.height; ++y) appendRowRuns(mask.pixels + y * mask.stride, mask.width, y, runs);
  if (!keepAll) keepLargestComponent(runs);
  return runs;
}

void keepLargestComponent(std::vector<Run>& runs) {
  ComponentWorkspace workspace;
  keepLargestComponent(runs, workspace);
}

void keepLargestComponent(std::vector<Run>& runs, ComponentWorkspace& workspace) {
  if (runs.empty()) return;
  if (runs.size() > maxRuns) throw lti::allocException();
  workspace.parent.reserve(runs.size());
  RunSets sets(workspace.parent);
  std::size_t aboveBegin = 0, aboveEnd = 0;  // runs of the row above the current one
  for (std::size_t begin = 0; begin < runs.size();) {
    const std::int32_t row = runs[begin].row;
    std::size_t end = begin;
    while (end < runs.size() && runs[end].row == row) ++end;
    if (aboveBegin == aboveEnd || runs[aboveBegin].row != row - 1) aboveBegin = aboveEnd = begin;  // none just above
    // Runs of both rows are sorted and disjoint, so the runs above that touch
    // a run form a contiguous range, and the range only moves right.
    std::size_t above = aboveBegin;
    for (std::size_t i = begin; i < end; ++i) {
      sets.add();
      while (above < aboveEnd && runs[above].last + 1 < runs[i].first) ++above;
      for (std::size_t k = above; k < aboveEnd && touch(runs[k], runs[i]); ++k) {
        sets.unite(static_cast<std::int32_t>(k), static_cast<std::int32_t>(i));
      }
    }
    aboveBegin = begin;
    aboveEnd = end;
    begin = end;
  }

  // Every run's root: a parent never comes after its child, so one pass in
  // index order leaves each run pointing straight at its root.
  std::vector<std::int32_t>& root = workspace.parent;
  for (std::size_t i = 0; i < runs.size(); ++i) root[i] = root[static_cast<std::size_t>(root[i])];

  // Pixels per component, held at its root; the first root met with the
  // largest size wins.
  std::vector<std::int64_t>& pixels = workspace.pixels;
  pixels.assign(runs.size(), 0);
  std::int32_t best = 0;
  for (std::size_t i = 0; i < runs.size(); ++i) pixels[root[i]] += runs[i].last - runs[i].first + 1;
  for (std::size_t i = 1; i < runs.size(); ++i) {
    if (pixels[i] > pixels[best]) best = static_cast<std::int32_t>(i);
  }

  std::size_t kept = 0;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (root[i] == best) runs[kept++] = runs[i];
  }
  runs.resize(kept);
}

}  // namespace tressel
