// Runs one case of cases.h once, for an instruction count that does not depend
// on the machine's load:
//
//   valgrind --tool=callgrind --toggle-collect=tressel_count_measured tressel_count CASE
//
// counts exactly one call (after one uncounted call that warms the caches and
// the allocator). `tressel_count --list` prints the case names,
// `tressel_count --describe` the table of masks and results.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "cases.h"

extern "C" __attribute__((noinline)) void tressel_count_measured(const std::function<void()>& run) {
  run();
  asm volatile("" ::: "memory");
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s --list | --describe | CASE\n", argv[0]);
    return 2;
  }
  const std::string what = argv[1];
  const char* dir = std::getenv("TRESSEL_BENCH_MASKS");
  const std::string maskDir = dir != nullptr ? dir : BENCH_MASK_DIR;
  if (what == "--describe") {
    std::fputs(bench::describe(bench::loadMasks(BENCH_MANIFEST, maskDir)).c_str(), stdout);
    return 0;
  }
  // A case's mask is the last part of its name.
  const std::string only = what == "--list" ? "" : what.substr(what.rfind('/') + 1);
  const std::vector<bench::Case> cases = bench::allCases(bench::loadMasks(BENCH_MANIFEST, maskDir, only));
  for (const bench::Case& c : cases) {
    if (what == "--list") {
      std::printf("%s\n", c.name.c_str());
    } else if (c.name == what) {
      c.run();
      tressel_count_measured(c.run);
      return 0;
    }
  }
  if (what == "--list") return 0;
  std::fprintf(stderr, "%s: no case %s\n", argv[0], what.c_str());
  return 2;
}
