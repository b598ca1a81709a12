// The vectorised mask scan against the plain one, and the choice of the
// largest component, on masks whose runs are known.
#include "capi/maskRuns.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using tressel::MaskView;
using Span = tressel::Run;
using tressel::Scan;

struct Mask {
  int width, height;
  std::ptrdiff_t stride;
  std::vector<std::uint8_t> pixels;
  Mask(int w, int h, std::ptrdiff_t s = 0) : width(w), height(h), stride(s ? s : w), pixels(stride * h, 0) {}
  void set(int x, int y, std::uint8_t v = 255) { pixels[y * stride + x] = v; }
  void fill(int y, int first, int last) {
    for (int x = first; x <= last; ++x) set(x, y, static_cast<std::uint8_t>(1 + x % 250));
  }
  MaskView view() const { return MaskView{pixels.data(), width, height, stride}; }
};


std::string text(const std::vector<Span>& runs) {
  std::string s;
  for (const Span& r : runs) s += std::to_string(r.row) + ":" + std::to_string(r.first) + "-" + std::to_string(r.last) + " ";
  return s;
}

TEST(MaskRuns, VectorisedScanGivesThePlainRuns) {
  struct Case {
    const char* name;
    Mask mask;
    std::vector<Span> expected;  // all components, when known
  };
  std::vector<Case> cases;
  {  // runs touching both ends of rows of every width around the block sizes
    for (int w : {64, 65, 95, 96, 127, 128, 129, 191, 192, 200, 255, 256, 257, 640}) {
      Case c{"row ends", Mask(w, 3), {}};
      c.mask.fill(0, 0, w - 1);
      c.mask.fill(1, 0, 0);
      c.mask.fill(1, w - 1, w - 1);
      c.mask.fill(2, 0, 31);
      c.mask.fill(2, w - 32, w - 1);
      c.expected = {{0, 0, w - 1}, {1, 0, 0}, {1, w - 1, w - 1}};
      if (w - 32 > 32) {
        c.expected.push_back({2, 0, 31});
        c.expected.push_back({2, w - 32, w - 1});
      } else {
        c.expected.push_back({2, 0, w - 1});
      }
      cases.push_back(c);
    }
  }
  {  // runs of exactly 32 and 64 on block edges, and runs across block edges
    Case c{"block edges", Mask(320, 4), {{0, 32, 63}, {0, 128, 191}, {1, 63, 64}, {1, 127, 128}, {2, 0, 63},
                                         {3, 31, 32}, {3, 255, 319}}};
    for (const Span& r : c.expected) c.mask.fill(r.row, r.first, r.last);
    cases.push_back(c);
  }
  {  // alternate pixels: an edge on every bit
    Case c{"comb", Mask(130, 1), {}};
    for (int x = 1; x < 130; x += 2) {
      c.mask.set(x, 0);
      c.expected.push_back({0, x, x});
    }
    cases.push_back(c);
  }
  {  // rows not following one another in memory, with region in the padding
    Case c{"stride", Mask(100, 3, 160), {{0, 90, 99}, {2, 0, 5}}};
    for (const Span& r : c.expected) c.mask.fill(r.row, r.first, r.last);
    for (int y = 0; y < 3; ++y)
      for (int x = 100; x < 160; ++x) c.mask.pixels[y * 160 + x] = 7;
    cases.push_back(c);
  }
  {  // runs far apart on padded rows: the scan leaves the row and comes back
    Case c{"stride, far apart", Mask(400, 3, 448),
           {{0, 10, 20}, {0, 300, 310}, {1, 0, 399}, {2, 200, 201}, {2, 395, 399}}};
    for (const Span& r : c.expected) c.mask.fill(r.row, r.first, r.last);
    for (int y = 0; y < 3; ++y)
      for (int x = 400; x < 448; ++x) c.mask.pixels[y * 448 + x] = 9;
    cases.push_back(c);
  }
  {  // narrower than a block: the plain scan serves
    Case c{"narrow", Mask(20, 2), {{0, 0, 19}, {1, 3, 3}}};
    for (const Span& r : c.expected) c.mask.fill(r.row, r.first, r.last);
    cases.push_back(c);
  }
  std::mt19937 random(7);
  for (int density : {2, 50, 98}) {  // percent of region pixels, in blobs of every shape
    Case c{"random", Mask(333, 40), {}};
    for (auto& p : c.mask.pixels) p = static_cast<int>(random() % 100) < density ? 1 : 0;
    cases.push_back(c);
  }

  for (const Case& c : cases) {
    for (bool keepAll : {true, false}) {
      const std::vector<Span> plain = tressel::maskRuns(c.mask.view(), keepAll, Scan::plain);
      const std::vector<Span> fast = tressel::maskRuns(c.mask.view(), keepAll, Scan::fastest);
      EXPECT_EQ(text(fast), text(plain)) << c.name << " width " << c.mask.width << " keepAll " << keepAll;
      if (keepAll && !c.expected.empty()) {
        EXPECT_EQ(text(plain), text(c.expected)) << c.name << " " << c.mask.width;
      }
    }
  }
}

TEST(MaskRuns, KeepsTheLargestEightConnectedComponent) {
  struct Case {
    const char* name;
    std::vector<Span> drawn;
    std::vector<Span> kept;
  };
  const std::vector<Case> cases = {
      {"single pixel", {{5, 70, 70}}, {{5, 70, 70}}},
      {"diagonal steps join", {{0, 10, 10}, {1, 11, 11}, {2, 10, 10}, {0, 100, 101}},
       {{0, 10, 10}, {1, 11, 11}, {2, 10, 10}}},
      {"a gap of one column parts", {{0, 10, 12}, {1, 14, 15}, {0, 100, 103}}, {{0, 100, 103}}},
      {"equal sizes: the first in scan order", {{2, 100, 103}, {3, 10, 13}}, {{2, 100, 103}}},
      {"merged late: a U", {{0, 0, 1}, {0, 200, 201}, {1, 0, 1}, {1, 200, 201}, {2, 0, 201}, {3, 300, 304}},
       {{0, 0, 1}, {0, 200, 201}, {1, 0, 1}, {1, 200, 201}, {2, 0, 201}}},
      {"an empty row parts", {{0, 0, 9}, {2, 0, 10}}, {{2, 0, 10}}},
  };
  for (const Case& c : cases) {
    Mask mask(320, 6);
    for (const Span& r : c.drawn) mask.fill(r.row, r.first, r.last);
    for (Scan scan : {Scan::plain, Scan::fastest}) {
      EXPECT_EQ(text(tressel::maskRuns(mask.view(), false, scan)), text(c.kept)) << c.name;
    }
  }
}

}  // namespace
