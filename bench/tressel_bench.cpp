// Times every case of cases.h with Google Benchmark; see bench/RESULTS.md and
// bench/run.sh for how they are run and reported.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "cases.h"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const char* dir = std::getenv("TRESSEL_BENCH_MASKS");
  static const std::vector<bench::Mask> masks = bench::loadMasks(BENCH_MANIFEST, dir != nullptr ? dir : BENCH_MASK_DIR);
  static const std::vector<bench::Case> cases = bench::allCases(masks);
  for (const bench::Case& c : cases) {
    benchmark::RegisterBenchmark(c.name.c_str(), [&c](benchmark::State& state) {
      for (auto _ : state) c.run();
      if (c.maskBytes > 0) state.SetBytesProcessed(state.iterations() * c.maskBytes);
    })->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
  }
  benchmark::AddCustomContext("tressel_core", bench::coreKind());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
