// The segmenter's and the body analysis's shortcuts give what the plain
// ways give: every comparison kernel, a row at a time or many pieces in one
// call, the pixel-by-pixel runs, the grown
// search the whole region's largest component, the per-run sums the
// pixel-by-pixel body ends, the background's median bit by bit the sorted
// middle, its scaling of the samples their tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

#include "tracking/Background.h"
#include "tracking/BodyEnds.h"
#include "tracking/RowCompare.h"
#include "tracking/Segmenter.h"

namespace {

using namespace tressel;
using namespace tressel::tracking;

bool sameRuns(const std::vector<tressel::Run>& a, const std::vector<tressel::Run>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const tressel::Run& p, const tressel::Run& q) {
    return p.row == q.row && p.first == q.first && p.last == q.last;
  });
}

TEST(RowCompare, EveryKernelGivesThePixelByPixelRuns) {
  std::vector<VectorWidth> widths{VectorWidth::none};
  if (widestVectors() != VectorWidth::none) widths.push_back(VectorWidth::sse2);
  if (widestVectors() == VectorWidth::avx2) widths.push_back(VectorWidth::avx2);
  struct Case {
    int width;  // of the row
    int x0, x1;
    int gain256;
    int threshold;
  };
  const Case cases[] = {{40, 0, 40, 256, 10},     {40, 7, 31, 300, 10},    {64, 0, 64, 256, 0},
                        {100, 3, 99, 200, 20},    {100, 60, 63, 256, 5},   {333, 0, 333, 65535, 30},
                        {333, 70, 330, 1, 0},     {2500, 1, 2499, 270, 12}, {2500, 2048, 2113, 256, 12},
                        // last words of 32 columns or fewer, and of more
                        {200, 5, 110, 256, 8},    {200, 5, 110, 300, 8},   {200, 0, 50, 300, 15},
                        {200, 100, 132, 280, 9},  {200, 100, 133, 280, 9}};
  std::mt19937 random(11);
  for (const Case& c : cases) {
    // Rows with runs of every length, values near the threshold and at the
    // ends of the byte range, and an arena with holes.
    std::vector<std::uint8_t> frame(c.width), background(c.width), arena(c.width);
    for (int x = 0; x < c.width; ++x) {
      background[x] = static_cast<std::uint8_t>(random() % 4 == 0 ? 255 * (random() % 2) : random() % 256);
      const int offset = static_cast<int>(random() % (2 * c.threshold + 41)) - c.threshold - 20;
      frame[x] = static_cast<std::uint8_t>(std::clamp(static_cast<int>((background[x] * c.gain256) >> 8) + offset, 0, 255));
      if (random() % 7 == 0) frame[x] = static_cast<std::uint8_t>(random() % 256);
      arena[x] = static_cast<std::uint8_t>(random() % 9 != 0);
    }
    for (const bool dark : {true, false}) {
      for (const bool masked : {false, true}) {
        auto animal = [&](int x) {
          const int s = std::min(255, (background[x] * c.gain256) >> 8);
          const int d = dark ? s - frame[x] : frame[x] - s;
          return d > c.threshold && (!masked || arena[x] != 0);
        };
        std::vector<tressel::Run> expected{{5, -3, c.x0 - 1}};  // a run to join to
        for (int x = c.x0; x < c.x1; ++x) {
          if (!animal(x)) continue;
          if (expected.back().last == x - 1) {
            expected.back().last = x;
          } else {
            expected.push_back(tressel::Run{5, x, x});
          }
        }
        // The same span again on the next row: its first run joins nothing.
        std::vector<tressel::Run> twoRows = expected;
        for (int x = c.x0; x < c.x1; ++x) {
          if (!animal(x)) continue;
          if (twoRows.back().row == 6 && twoRows.back().last == x - 1) {
            twoRows.back().last = x;
          } else {
            twoRows.push_back(tressel::Run{6, x, x});
          }
        }
        for (const VectorWidth w : widths) {
          SCOPED_TRACE(testing::Message() << "width " << c.width << " span " << c.x0 << ".." << c.x1 << " dark " << dark
                                          << " masked " << masked << " kernel " << static_cast<int>(w));
          const ComparePlanes planes{frame.data(), 0, background.data(), masked ? arena.data() : nullptr, 0};
          const RowPiece whole{5, c.x0, c.x1};
          std::vector<tressel::Run> runs{{5, -3, c.x0 - 1}};
          piecesCompare(dark, masked, w)(planes, c.gain256, c.threshold, &whole, 1, runs);
          EXPECT_TRUE(sameRuns(runs, expected));

          // In one call: the span in two pieces, whose runs join where they
          // meet, then on the next row (the same pixels: a zero stride).
          const int middle = c.x0 + (c.x1 - c.x0) / 3;
          const RowPiece pieces[] = {{5, c.x0, middle}, {5, middle, c.x1}, {6, c.x0, c.x1}};
          runs = {{5, -3, c.x0 - 1}};
          piecesCompare(dark, masked, w)(planes, c.gain256, c.threshold, pieces, 3, runs);
          EXPECT_TRUE(sameRuns(runs, twoRows)) << "in pieces";
        }
      }
    }
  }
}

// A floor with a body and a thin tail reaching far from it, which the
// coarse rows miss, and specks elsewhere: the search box has to grow.
struct Far {
  int width, height;
  int bodyX, bodyY;     // the body's centre
  int tailDx, tailDy;   // where the tail ends, from the centre
  Rect roi;
  bool arena;           // an arena mask with walls across the frame, not through the body
  Polarity polarity;
  int coarseStep, searchMargin;
  int brightness = 0;  // added to every frame pixel: the segmenter follows it with a gain
};

TEST(Background, ColumnMediansAreTheSortedMiddle) {
  struct Case {
    std::size_t count;
    int width;
    int levels;  // values drawn from 0..levels-1, shifted to the top when odd
  };
  // 32, 16 and one column at a time (past 255 rows, and the last
  // columns of a row); few distinct values (ties) and the whole byte range.
  const Case cases[] = {{1, 17, 256}, {2, 16, 256}, {3, 40, 2},   {4, 33, 3},  {50, 333, 256},
                        {51, 31, 7},  {255, 48, 256}, {256, 20, 256}, {301, 19, 5}};
  std::mt19937 random(5);
  for (const Case& c : cases) {
    const std::size_t stride = static_cast<std::size_t>(c.width) + 3;
    std::vector<std::uint8_t> values(c.count * stride);
    for (std::uint8_t& v : values) v = static_cast<std::uint8_t>(random() % c.levels + (c.levels % 2 ? 256 - c.levels : 0));
    std::vector<std::uint8_t> medians(c.width);
    columnMedians(values.data(), c.count, stride, c.width, medians.data());
    for (int x = 0; x < c.width; ++x) {
      std::vector<std::uint8_t> column;
      for (std::size_t k = 0; k < c.count; ++k) column.push_back(values[k * stride + x]);
      std::nth_element(column.begin(), column.begin() + c.count / 2, column.end());
      ASSERT_EQ(medians[x], column[c.count / 2]) << c.count << " rows, " << c.width << " columns, column " << x;
    }
  }
}

TEST(Background, MappedBytesAreTheTablesEntries) {
  // Tables whose entries vary in every sixteenth, repeat, or saturate; rows
  // shorter than, equal to and past the 32 bytes taken at a time.
  std::mt19937 random(11);
  std::vector<std::array<std::uint8_t, 256>> tables(3);
  for (int v = 0; v < 256; ++v) {
    tables[0][v] = static_cast<std::uint8_t>(random());
    tables[1][v] = static_cast<std::uint8_t>(255 - v);
    tables[2][v] = static_cast<std::uint8_t>(std::min(255, v * 3 / 2));
  }
  for (const auto& table : tables) {
    for (const int width : {1, 31, 32, 33, 64, 95, 1927}) {
      std::vector<std::uint8_t> in(static_cast<std::size_t>(width));
      for (int x = 0; x < width; ++x) in[x] = static_cast<std::uint8_t>(x < 256 ? x : random());
      std::vector<std::uint8_t> out(in.size() + 1, 77);  // one byte past the row, which stays
      mapBytes(in.data(), table.data(), width, out.data());
      for (int x = 0; x < width; ++x) ASSERT_EQ(out[x], table[in[x]]) << width << " bytes, byte " << x;
      EXPECT_EQ(out[width], 77);
    }
  }
}

TEST(Segmenter, TheGrownSearchFindsTheWholeRegionsLargestComponent) {
  const Far cases[] = {
      {320, 240, 160, 120, 90, 60, Rect{}, false, Polarity::dark, 4, 0},
      {320, 240, 40, 30, -35, 150, Rect{}, false, Polarity::light, 6, 3},   // tail along the left edge
      {320, 240, 280, 200, -250, -5, Rect{5, 3, 310, 230}, false, Polarity::dark, 5, 10},
      {320, 240, 100, 100, 150, 100, Rect{}, true, Polarity::dark, 8, 0},
      {100, 90, 50, 45, -45, 40, Rect{}, false, Polarity::dark, 3, 0},     // narrower than two words
      {50, 60, 20, 30, 20, -25, Rect{1, 2, 48, 57}, true, Polarity::light, 3, 0},  // narrower than a word
      // Specks and a tail in and beyond the arena's walls, with and without
      // a coarse step, at a gain other than 1.
      {320, 240, 100, 100, 150, 100, Rect{}, true, Polarity::dark, 1, 0, 9},
      {320, 240, 100, 100, 150, 100, Rect{}, true, Polarity::dark, 8, 0, 9},
      {320, 240, 100, 100, 150, 100, Rect{}, true, Polarity::light, 8, 0, -9},
  };
  for (const Far& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " body " << c.bodyX << "," << c.bodyY << " step "
                                    << c.coarseStep);
    Background background;
    background.width = c.width;
    background.height = c.height;
    std::vector<std::uint8_t> pixels;
    std::mt19937 random(7);
    const int sign = c.polarity == Polarity::dark ? -1 : 1;
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const int floor = 120 + (x + 2 * y) % 23;
        background.pixels.push_back(static_cast<std::uint8_t>(floor));
        int v = floor + static_cast<int>(random() % 7) - 3;
        const double bx = x - c.bodyX, by = y - c.bodyY;
        // The tail: a one-pixel line from the centre to its end.
        const double len = std::hypot(c.tailDx, c.tailDy);
        const double t = (bx * c.tailDx + by * c.tailDy) / (len * len);
        const double off = std::fabs(bx * c.tailDy - by * c.tailDx) / len;
        if (bx * bx / 100 + by * by / 49 <= 1) {
          v += sign * 60;
        } else if (t >= 0 && t <= 1 && off < 0.6) {
          v += sign * 30;
        } else if ((x * 7 + y * 3) % 97 == 0) {
          v += sign * 60;  // a speck
        }
        pixels.push_back(static_cast<std::uint8_t>(std::clamp(v + c.brightness, 0, 255)));
      }
    }
    const video::Frame frame = video::frameFromPixels(pixels, c.width, c.height, 0, 0);
    SegmentationSettings settings;
    settings.polarity = c.polarity;
    settings.threshold = 12;
    settings.roi = c.roi;
    settings.followBrightness = c.brightness != 0;
    if (c.arena) {
      settings.arenaMask.assign(static_cast<std::size_t>(c.width) * c.height, 1);
      for (int y = 0; y < c.height; ++y) settings.arenaMask[static_cast<std::size_t>(y) * c.width + 2 * c.width / 3] = 0;
      for (int x = 0; x < c.width; ++x) settings.arenaMask[static_cast<std::size_t>(c.height / 4) * c.width + x] = 0;
    }
    Segmenter plain(settings, background);
    const double gain = settings.followBrightness ? plain.brightnessGain(frame) : 1.0;
    if (c.brightness != 0) {
      ASSERT_NE(std::lround(gain * 256), 256);
    }
    std::vector<tressel::Run> whole;
    plain.thresholdRuns(frame, gain, settings.threshold, whole);
    keepLargestComponent(whole);
    ASSERT_GT(whole.size(), 14u);  // more than the body's rows

    settings.coarseStep = c.coarseStep;
    settings.searchMargin = c.searchMargin;
    Segmenter coarse(settings, background);
    Segmentation s;
    coarse.segment(frame, s);
    coarse.segment(frame, s);  // buffers from the frame before
    EXPECT_TRUE(sameRuns(s.runs, whole));
  }
}

// The frame's brightness against the background's, the plain way: every
// 24th pixel of every 24th row of the region, inside the arena, and again
// without those that differ by more than the threshold.
double plainGain(const std::vector<std::uint8_t>& frame, const Background& background, const Rect& roi,
                 const std::vector<std::uint8_t>& arena, int threshold) {
  double gain = 1;
  for (int round = 0; round < 2; ++round) {
    std::int64_t sumFrame = 0, sumBackground = 0;
    for (int y = roi.y + 12; y < roi.y + roi.height; y += 24) {
      for (int x = roi.x + 12; x < roi.x + roi.width; x += 24) {
        const std::size_t at = static_cast<std::size_t>(y) * background.width + x;
        if (!arena.empty() && arena[at] == 0) continue;
        if (round == 1 && std::abs(frame[at] - gain * background.pixels[at]) > threshold) continue;
        sumFrame += frame[at];
        sumBackground += background.pixels[at];
      }
    }
    if (sumBackground == 0 || sumFrame == 0) return gain;
    gain = static_cast<double>(sumFrame) / static_cast<double>(sumBackground);
  }
  return gain;
}

TEST(Segmenter, BrightnessGainIsThePlainRatioOfTheSamples) {
  struct Case {
    int width, height;
    Rect roi;
    bool arena;   // an arena leaving out the left third and some rows
    double light; // the frame's lighting against the background's
    int blackBelow;  // frame rows from here on are black (no sample of the second round)
    // Frame values the threshold above the background in two samples of
    // three, twice it below in the third: the first round's gain is exactly
    // 1, so two thirds sit on the bound, which counts as within.
    bool onTheBound = false;
  };
  const Case cases[] = {{320, 240, Rect{}, false, 1.0, 240},        {320, 240, Rect{}, true, 1.3, 240},
                        {333, 101, Rect{7, 5, 300, 90}, true, 0.7, 101}, {320, 240, Rect{30, 20, 200, 150}, false, 1.1, 60},
                        {320, 240, Rect{}, true, 0.0, 240},        {20, 20, Rect{}, false, 1.2, 20},  // no sample
                        {320, 240, Rect{}, true, 1.0, 240},
                        {360, 240, Rect{}, false, 1.0, 240, true},   // 15 x 10 samples
                        {360, 216, Rect{}, false, 1.0, 216, true}};  // 15 x 9
  std::mt19937 random(3);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " light " << c.light);
    Background background;
    background.width = c.width;
    background.height = c.height;
    std::vector<std::uint8_t> frame;
    SegmentationSettings settings;
    if (c.arena) settings.arenaMask.assign(static_cast<std::size_t>(c.width) * c.height, 1);
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const int b = 40 + static_cast<int>(random() % 160);
        background.pixels.push_back(static_cast<std::uint8_t>(b));
        int v = static_cast<int>(std::lround(b * c.light)) + static_cast<int>(random() % 9) - 4;
        if (random() % 5 == 0) v -= 60;  // the animal and other movers
        if (y >= c.blackBelow) v = 0;
        if (c.onTheBound) v = b + ((x / 24) % 3 == 2 ? -30 : 15);
        frame.push_back(static_cast<std::uint8_t>(std::clamp(v, 0, 255)));
        if (c.arena && (x < c.width / 3 || y % 50 == 12)) settings.arenaMask[frame.size() - 1] = 0;
      }
    }
    settings.roi = c.roi;
    settings.threshold = 15;
    Segmenter segmenter(settings, background);
    const video::Frame f = video::frameFromPixels(frame, c.width, c.height, 0, 0);
    if (c.onTheBound) {
      EXPECT_NE(segmenter.brightnessGain(f), 1.0);
    }
    EXPECT_EQ(segmenter.brightnessGain(f),
              plainGain(frame, background, segmenter.region(), settings.arenaMask, settings.threshold));
  }
}

lti::borderPoints runEnds(const std::vector<lti::rowRun>& runs) {
  lti::borderPoints ends;
  for (const lti::rowRun& r : runs) {
    ends.pushBack(lti::point(r.first, r.y));
    ends.pushBack(lti::point(r.last, r.y));
  }
  return ends;
}

TEST(BodyEnds, PerRunSumsGiveThePixelByPixelEnds) {
  struct Shape {
    double a, b;       // half axes
    double angle;      // radians
    double cx, cy;     // the centre given (not always the mean)
    bool exactExpected;  // false: a tie or a round body, found pixel by pixel (for the named ones)
  };
  std::vector<Shape> shapes = {
      {40.9, 12, 0.3, 300.5, 200.25, true},
      {40.9, 12, 0, 300, 200, false},  // symmetric about its centre: five end pixels tie
      {20, 20, 0, 100, 100, false},    // round: no long axis
      {60, 3, 2.0, 1000.3, 700.9, true},
      {1, 0.4, 0, 5, 5, true},  // three pixels in a row
      {30, 10, -1.2, 12.7, 40.1, true},
  };
  const std::size_t named = shapes.size();
  std::mt19937 random(5);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int i = 0; i < 200; ++i) {
    shapes.push_back(Shape{5 + 60 * unit(random), 2 + 20 * unit(random), 6.3 * unit(random),
                           100 + 1500 * unit(random), 100 + 900 * unit(random), true});
  }
  int exact = 0;
  for (std::size_t i = 0; i < shapes.size(); ++i) {
    const Shape& s = shapes[i];
    SCOPED_TRACE(testing::Message() << s.a << " x " << s.b << " at " << s.angle);
    std::vector<lti::rowRun> runs;
    const double c = std::cos(s.angle), n = std::sin(s.angle);
    const int reach = static_cast<int>(std::ceil(s.a)) + 1;
    const int x0 = static_cast<int>(std::lround(s.cx)), y0 = static_cast<int>(std::lround(s.cy));
    for (int y = y0 - reach; y <= y0 + reach; ++y) {
      for (int x = x0 - reach; x <= x0 + reach; ++x) {
        const double dx = x - x0, dy = y - y0;
        const double p = dx * c + dy * n, q = -dx * n + dy * c;
        if (p * p / (s.a * s.a) + q * q / (s.b * s.b) > 1) continue;
        if (!runs.empty() && runs.back().y == y && runs.back().last == x - 1) {
          ++runs.back().last;
        } else {
          runs.push_back(lti::rowRun{y, x, x});
        }
      }
    }
    const lti::borderPoints contour = runEnds(runs);
    const AxisEnds fast = axisEnds(runs, contour, s.cx, s.cy);
    const AxisEnds plain = axisEnds(runs, contour, s.cx, s.cy, true);
    EXPECT_EQ(fast.low, plain.low);
    EXPECT_EQ(fast.high, plain.high);
    if (i < named) {
      EXPECT_EQ(fast.exactSums, s.exactExpected);
    }
    exact += fast.exactSums;
  }
  EXPECT_GT(exact, 195);  // the shortcut serves almost every body
}

}  // namespace
