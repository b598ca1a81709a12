// The measured cases, shared by the benchmark (timing) and the counting
// driver (instructions under callgrind): the masks, their spans, and one
// callable per case that does exactly the work being measured.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Mask {
  std::string name;  // as in the manifest, e.g. L200_1920x1080
  int bodyLength = 0;
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // row-major, stride = width; 0 background, 255 region
};

// The masks of the manifest (bench/masks.txt), read from `<maskDir>/<name>.png`;
// only the one called `only` when that is not empty. Exits with a message when
// a file is missing or unreadable.
std::vector<Mask> loadMasks(const std::string& manifest, const std::string& maskDir, const std::string& only = "");

// Span points as the analysis takes them: for every row, the entry and the exit
// pixel of each run, rows top to bottom, runs left to right.
struct Spans {
  std::vector<float> x;
  std::vector<float> y;
  int count() const { return static_cast<int>(x.size()); }
};
Spans spansOf(const Mask& mask);
// The same spans moved so that their bounding box starts at (left, top).
Spans movedTo(const Spans& spans, int left, int top);

struct Case {
  std::string name;           // family/variant/mask
  std::int64_t maskBytes = 0;  // bytes of mask one run reads; 0 for the span-input cases
  std::function<void()> run;  // one measured call; keeps its result from being optimised away
};

// Every case of this build, in a fixed order. Checks first that the analysis
// gives the same results through every entry point (and through both paths
// where the core has two), and exits with a message if not.
std::vector<Case> allCases(const std::vector<Mask>& masks);

// One tab-separated line per mask describing its silhouette and the analysis
// result, with a header line: the table of inputs in the results.
std::string describe(const std::vector<Mask>& masks);

// Which core this was built against: "paths" when it has the fast and the
// plain path, "single" for a core with one path (before the speed work).
const char* coreKind();

}  // namespace bench
