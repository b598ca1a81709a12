// Background, segmentation and the tracking loop on frames made in memory: a
// rodent drawn over a textured, unevenly lit floor, its tail fainter than
// its body, with sensor noise.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>

#include "../silhouettes.h"
#include "tracking/Arena.h"
#include "tracking/Background.h"
#include "tracking/Tracker.h"

namespace {

using namespace tressel;
using namespace tressel::tracking;
using testing_silhouettes::Mask;

constexpr int W = 320, H = 240;

std::uint8_t floorAt(int x, int y) {
  // A gradient across the arena with a fine texture on it.
  return static_cast<std::uint8_t>(150 + x / 8 + ((x * 7 + y * 13) % 11));
}

struct Scene {
  Polarity polarity = Polarity::dark;
  double gain = 1;    // the lighting of this frame
  int noise = 3;      // +- grey levels
  bool speck = true;  // a small blob away from the animal
};

// The rodent placed with its mask's corner at (ox, oy); body pixels differ
// from the floor by 70, tail pixels by 25.
struct Placed {
  Mask whole{W, H};
  video::Frame frame;
};

Placed draw(const Scene& s, int ox, int oy, std::uint32_t seed) {
  static const Mask body = testing_silhouettes::rodent(60, false, 0, 0);
  static const Mask withTail = testing_silhouettes::rodent(60, true, 0.2, 0);
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> noise(-s.noise, s.noise);
  Placed p;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(W) * H);
  const int sign = s.polarity == Polarity::dark ? -1 : 1;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      int v = static_cast<int>(std::lround(floorAt(x, y) * s.gain));
      if (body.at(x - ox, y - oy)) {
        v += sign * 70;
      } else if (withTail.at(x - ox, y - oy)) {
        v += sign * 25;
      } else if (s.speck && x >= 290 && x < 294 && y >= 20 && y < 24) {
        v += sign * 70;
      }
      if (withTail.at(x - ox, y - oy)) p.whole.set(x, y);
      pixels[static_cast<std::size_t>(y) * W + x] = static_cast<std::uint8_t>(std::clamp(v + noise(random), 0, 255));
    }
  }
  p.frame = video::frameFromPixels(std::move(pixels), W, H, 0, 0);
  return p;
}

Background floorBackground() {
  Background b;
  b.width = W;
  b.height = H;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) b.pixels.push_back(floorAt(x, y));
  }
  return b;
}

std::vector<tressel::Run> runsOf(const Mask& m) {
  return maskRuns(MaskView{m.pixels.data(), m.width, m.height, m.width}, true);
}

bool sameRuns(const std::vector<tressel::Run>& a, const std::vector<tressel::Run>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const tressel::Run& p, const tressel::Run& q) { return p.row == q.row && p.first == q.first && p.last == q.last; });
}

TEST(Segmenter, FindsTheWholeAnimalInEitherPolarityAtAnyStep) {
  const Background background = floorBackground();
  struct Case {
    Polarity polarity;
    double gain;  // the frame's lighting against the background's
    int coarseStep;
    int searchMargin;
  };
  for (const Case c : {Case{Polarity::dark, 1.0, 1, 0}, Case{Polarity::light, 1.0, 1, 0},
                       Case{Polarity::dark, 1.12, 1, 0}, Case{Polarity::dark, 0.9, 4, 0},
                       Case{Polarity::light, 1.0, 8, 2}, Case{Polarity::dark, 1.0, 8, 60}}) {
    SCOPED_TRACE(testing::Message() << polarityName(c.polarity) << " gain " << c.gain << " step " << c.coarseStep);
    Scene scene;
    scene.polarity = c.polarity;
    scene.gain = c.gain;
    const Placed p = draw(scene, 40, 60, 1);
    SegmentationSettings settings;
    settings.polarity = c.polarity;
    settings.threshold = 12;
    settings.coarseStep = c.coarseStep;
    settings.searchMargin = c.searchMargin;
    Segmenter segmenter(settings, background);
    Segmentation s;
    segmenter.segment(p.frame, s);
    EXPECT_TRUE(sameRuns(s.runs, runsOf(p.whole)));
    EXPECT_NEAR(s.gain, c.gain, 0.01);
  }
}

TEST(Segmenter, KeepsToTheRoiAndTheArenaMask) {
  const Background background = floorBackground();
  const Placed p = draw(Scene{}, 40, 60, 2);
  SegmentationSettings settings;
  settings.threshold = 12;
  settings.roi = Rect{280, 0, 40, 60};  // only the speck
  Segmentation s;
  Segmenter(settings, background).segment(p.frame, s);
  EXPECT_EQ(s.area, 16);

  settings.roi = Rect{};
  settings.arenaMask.assign(static_cast<std::size_t>(W) * H, 1);
  for (int y = 0; y < H; ++y) settings.arenaMask[static_cast<std::size_t>(y) * W + 100] = 0;  // a wall at x = 100
  Segmenter(settings, background).segment(p.frame, s);
  ASSERT_FALSE(s.runs.empty());
  for (const tressel::Run& r : s.runs) EXPECT_TRUE(r.last < 100 || r.first > 100);
}

TEST(Segmenter, OpeningRemovesAThinCable) {
  const Background background = floorBackground();
  Placed p = draw(Scene{}, 40, 60, 3);
  std::vector<std::uint8_t> pixels(p.frame.pixels, p.frame.pixels + W * H);
  for (int x = 0; x < W; ++x) pixels[static_cast<std::size_t>(200) * W + x] = 40;  // a cable across the frame
  const video::Frame cabled = video::frameFromPixels(pixels, W, H, 0, 0);
  SegmentationSettings settings;
  settings.threshold = 12;
  Segmentation plain, opened;
  Segmenter(settings, background).segment(cabled, plain);
  settings.openRadius = 2;
  Segmenter(settings, background).segment(cabled, opened);
  EXPECT_GE(plain.area, W);  // the cable joined the animal
  for (const tressel::Run& r : opened.runs) EXPECT_NE(r.row, 200);
  EXPECT_GT(opened.area, 1000);
}

TEST(Segmenter, ChangedPixelsIsTheSymmetricDifference) {
  std::mt19937 random(4);
  for (int trial = 0; trial < 20; ++trial) {
    Mask a(40, 30), b(40, 30);
    for (int i = 0; i < 400; ++i) {
      a.set(random() % 40, random() % 30);
      b.set(random() % 40, random() % 30);
    }
    std::int64_t expected = 0;
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) expected += a.at(x, y) != b.at(x, y);
    }
    EXPECT_EQ(changedPixels(runsOf(a), runsOf(b)), expected);
  }
}

// Fifty-one samples of an animal walking across the arena, under a slowly
// changing light.
std::vector<video::Frame> walk(Polarity polarity, bool still) {
  std::vector<video::Frame> samples;
  for (int i = 0; i < defaultBackgroundSamples; ++i) {
    Scene scene;
    scene.polarity = polarity;
    scene.gain = 0.95 + 0.1 * i / defaultBackgroundSamples;
    scene.speck = false;
    const int at = still && i % 10 != 0 ? 0 : i;
    samples.push_back(draw(scene, 10 + (at * 37) % 130, 20 + (at * 53) % 120, 10 + i).frame);
  }
  return samples;
}

TEST(Background, TheMedianOfAWalkIsTheFloorAndCalibrationFitsTheAnimal) {
  for (const Polarity polarity : {Polarity::dark, Polarity::light}) {
    SCOPED_TRACE(polarityName(polarity));
    const std::vector<video::Frame> samples = walk(polarity, false);
    const Background background = medianBackground(samples, Rect{}, {});
    int off = 0;
    for (int y = 0; y < H; ++y) {
      for (int x = 0; x < W; ++x) off += std::abs(background.pixels[static_cast<std::size_t>(y) * W + x] - floorAt(x, y)) > 4;
    }
    EXPECT_LT(off, W * H / 200);
    for (const int threads : {2, 7}) EXPECT_EQ(medianBackground(samples, Rect{}, {}, threads).pixels, background.pixels);

    const Calibration c = calibrate(samples, background, CalibrationRequest{});
    EXPECT_EQ(c.settings.polarity, polarity);
    EXPECT_GT(c.settings.threshold, 3);   // above the noise
    EXPECT_LT(c.settings.threshold, 25);  // below the tail's contrast
    const Mask whole = draw(Scene{}, 0, 0, 0).whole;
    const auto area = std::count_if(whole.pixels.begin(), whole.pixels.end(), [](std::uint8_t v) { return v != 0; });
    EXPECT_NEAR(static_cast<double>(c.typicalArea), static_cast<double>(area), 0.05 * area);
    EXPECT_TRUE(c.warnings.empty());
  }
}

TEST(Background, WarnsWhenTheAnimalSatStillInMostSamples) {
  const std::vector<video::Frame> samples = walk(Polarity::dark, true);
  const Calibration c = calibrate(samples, medianBackground(samples, Rect{}, {}), CalibrationRequest{});
  ASSERT_EQ(c.warnings.size(), 1u);
  EXPECT_NE(c.warnings[0].find("--background"), std::string::npos);
}

// Frames from memory; it counts how it is asked for them.
class MemorySource : public video::FrameSource {
 public:
  std::vector<video::Frame> frames;
  std::vector<double> keys;
  int seeks = 0, keySeeks = 0;
  std::size_t position = 0;
  std::size_t failAt = SIZE_MAX;  // reading this frame or a later one fails, as in a file cut short

  MemorySource() { info_.seekable = true; }
  void makeStream() { info_.seekable = false; }
  const video::SourceInfo& info() const override { return info_; }
  bool next(video::Frame& f) override {
    if (position >= failAt) throw video::SourceError("cut short");
    if (position >= frames.size()) return false;
    f = frames[position++];
    return true;
  }
  void seekExact(double t) override {
    ++seeks;
    position = 0;
    while (position < frames.size() && frames[position].time < t) ++position;
  }
  void seekKey(double t) override {
    ++keySeeks;
    seekExact(t);
  }
  std::vector<double> keyframeTimes() const override { return keys; }

 private:
  video::SourceInfo info_;
};

MemorySource walkingSource(int count) {
  MemorySource source;
  for (int i = 0; i < count; ++i) {
    Scene scene;
    scene.speck = false;
    video::Frame f = draw(scene, 10 + (i * 3) % 200, 40 + (i * 2) % 100, 100 + i).frame;
    f.index = i;
    f.time = i / 16.0;  // exact in binary
    source.frames.push_back(f);
  }
  return source;
}

TEST(Background, SamplesAreSpreadEvenlyAndDecodedAsCheaplyAsTheKeyFramesAllow) {
  MemorySource source = walkingSource(200);
  std::vector<video::Frame> samples = sampleFrames(source, 0, 12.5, 10);
  ASSERT_EQ(samples.size(), 10u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(samples[i].index, 10 + 20 * i);
  EXPECT_EQ(source.seeks, 1);  // no key frames listed: read on from the first sample

  for (int i = 0; i < 200; i += 5) source.keys.push_back(i / 16.0);
  source.seeks = 0;
  samples = sampleFrames(source, 0, 12.5, 10);
  ASSERT_EQ(samples.size(), 10u);
  EXPECT_EQ(source.keySeeks, 10);
  EXPECT_EQ(source.seeks, 10);  // each through seekKey only
}

TEST(Background, SamplesReadSideBySideAreTheOnesOneReaderTakes) {
  struct Case {
    const char* name;
    int keyEvery;         // 0: no key frames listed
    std::size_t frames;   // of the 200 the interval spans
    std::size_t failAt;   // SIZE_MAX: never
  };
  const MemorySource walk = walkingSource(200);
  for (const Case& c : {Case{"exact samples", 0, 200, SIZE_MAX}, Case{"key frames", 5, 200, SIZE_MAX},
                        Case{"the source ends early", 0, 120, SIZE_MAX}, Case{"a read fails", 0, 200, 120},
                        Case{"a read fails, key frames", 5, 200, 120}}) {
    MemorySource source = walk;
    source.frames.resize(c.frames);
    source.failAt = c.failAt;
    for (int i = 0; c.keyEvery > 0 && i < 200; i += c.keyEvery) source.keys.push_back(i / 16.0);
    MemorySource one = source;
    std::string endedOne;
    const std::vector<video::Frame> expected = sampleFrames(one, 0, 12.5, 10, &endedOne);
    for (int readers : {1, 2, 3, 7}) {
      std::string ended;
      const std::vector<video::Frame> got = sampleFramesSideBySide(
          [&] { return std::make_unique<MemorySource>(source); }, 0, 12.5, 10, readers, &ended);
      std::vector<std::int64_t> want, have;
      for (const video::Frame& f : expected) want.push_back(f.index);
      for (const video::Frame& f : got) have.push_back(f.index);
      EXPECT_EQ(have, want) << c.name << ", " << readers << " readers";
      EXPECT_EQ(ended, endedOne) << c.name << ", " << readers << " readers";
    }
  }
}

TEST(Tracker, PiecesFromKeyFramesGiveTheRowsOfOneReader) {
  TrackerSetup setup;
  setup.background = floorBackground();
  ArenaSetup arena;
  arena.segmentation.threshold = 12;
  setup.arenas.push_back(arena);
  struct Case {
    const char* name;
    std::vector<double> starts;
    int jobs;
    std::size_t failAt;  // SIZE_MAX: never
  };
  for (const Case& c : {Case{"two workers", {0, 0.5, 1.0, 1.5, 2.0}, 2, SIZE_MAX},
                        Case{"more workers than pieces need", {0, 0.3125, 1.4375}, 5, SIZE_MAX},
                        Case{"a piece handed over in several batches", {0, 0.125}, 2, SIZE_MAX},
                        Case{"a read fails in a middle piece", {0, 0.5, 1.0, 1.5, 2.0}, 3, 30}}) {
    MemorySource source = walkingSource(40);
    source.frames[7].error = "corrupt packet";
    source.frames[7].pixels = nullptr;
    source.failAt = c.failAt;
    auto collect = [](std::vector<FrameRecord>& rows, std::vector<std::int64_t>& framesSeen) {
      return [&rows, &framesSeen](std::vector<FrameRecord>& records, const video::Frame& frame) {
        rows.insert(rows.end(), records.begin(), records.end());
        framesSeen.push_back(frame.index);
      };
    };
    std::vector<FrameRecord> one, pieces;
    std::vector<std::int64_t> oneFrames, pieceFrames;
    MemorySource reader = source;
    const LoopResult a = trackSource(reader, setup, LoopSettings{1}, collect(one, oneFrames));
    const LoopResult b = trackPieces([&] { return std::make_unique<MemorySource>(source); }, c.starts, setup,
                                     LoopSettings{c.jobs}, collect(pieces, pieceFrames));
    EXPECT_EQ(a.frames, static_cast<std::int64_t>(std::min<std::size_t>(40, c.failAt))) << c.name;
    EXPECT_EQ(b.frames, a.frames) << c.name;
    EXPECT_EQ(b.decodeErrors, a.decodeErrors) << c.name;
    EXPECT_EQ(b.sourceError, a.sourceError) << c.name;
    EXPECT_EQ(pieceFrames, oneFrames) << c.name;
    ASSERT_EQ(pieces.size(), one.size()) << c.name;
    for (std::size_t i = 0; i < one.size(); ++i) {
      EXPECT_EQ(pieces[i].frame, one[i].frame) << c.name;
      EXPECT_EQ(pieces[i].status, one[i].status) << c.name;
      EXPECT_EQ(pieces[i].nose, one[i].nose) << c.name;
      EXPECT_EQ(pieces[i].bodyChangePx, one[i].bodyChangePx) << c.name << ", frame " << i;
    }
  }
}

TEST(Tracker, RowsComeInFrameOrderWhateverTheJobsAndBadFramesSayWhy) {
  MemorySource source = walkingSource(40);
  source.frames[7].error = "corrupt packet";
  source.frames[7].pixels = nullptr;
  source.frames[9] = video::frameFromPixels(std::vector<std::uint8_t>(100), 10, 10, 9, 9 / 16.0);

  TrackerSetup setup;
  setup.background = floorBackground();
  ArenaSetup arena;
  arena.segmentation.threshold = 12;
  setup.arenas.push_back(arena);

  auto run = [&](int jobs) {
    source.position = 0;
    std::vector<FrameRecord> rows;
    const LoopResult r = trackSource(source, setup, LoopSettings{jobs}, [&](std::vector<FrameRecord>& records, const video::Frame&) {
      rows.insert(rows.end(), records.begin(), records.end());
    });
    EXPECT_EQ(r.frames, 40);
    EXPECT_EQ(r.decodeErrors, 1);
    return rows;
  };
  const std::vector<FrameRecord> one = run(1), three = run(3);
  ASSERT_EQ(one.size(), 40u);
  ASSERT_EQ(three.size(), 40u);
  for (std::size_t i = 0; i < one.size(); ++i) {
    EXPECT_EQ(three[i].frame, static_cast<std::int64_t>(i));
    EXPECT_EQ(three[i].status, one[i].status);
    EXPECT_EQ(three[i].nose, one[i].nose);
    EXPECT_EQ(three[i].bodyChangePx, one[i].bodyChangePx);
  }
  EXPECT_EQ(one[7].status, FrameStatus::decodeError);
  EXPECT_EQ(one[7].error, "corrupt packet");
  EXPECT_EQ(one[9].status, FrameStatus::decodeError);
  EXPECT_NE(one[9].error.find("differs from the background"), std::string::npos);
  EXPECT_EQ(one[8].bodyChangePx, -1);  // the frame before had no body
  EXPECT_GT(one[12].bodyChangePx, 0);  // the animal moved
  EXPECT_EQ(one[12].status, FrameStatus::ok);
}

TEST(Tracker, StopsWhenAskedAndKeepsWhatWasRead) {
  MemorySource source = walkingSource(30);
  TrackerSetup setup;
  setup.background = floorBackground();
  setup.arenas.push_back(ArenaSetup{});
  for (const int jobs : {1, 2}) {
    source.position = 0;
    std::atomic<bool> stop{false};
    std::int64_t delivered = 0;
    LoopSettings settings{jobs, &stop};
    const LoopResult r = trackSource(source, setup, settings, [&](std::vector<FrameRecord>& records, const video::Frame&) {
      EXPECT_EQ(records[0].frame, delivered);
      if (++delivered == 5) stop = true;
    });
    EXPECT_TRUE(r.interrupted);
    EXPECT_EQ(r.frames, delivered);
    EXPECT_LT(delivered, 30);
  }
}

// A live stream's row is written before the next frame is waited for; a
// file's frames may be read a few ahead.
TEST(Tracker, AStreamsRowComesBeforeItsNextFrameIsRead) {
  class CountingSource : public MemorySource {
   public:
    const std::int64_t* delivered = nullptr;
    std::int64_t mostAhead = 0;  // frames read beyond those delivered, at most
    bool next(video::Frame& f) override {
      mostAhead = std::max(mostAhead, static_cast<std::int64_t>(position) - *delivered);
      return MemorySource::next(f);
    }
  };
  TrackerSetup setup;
  setup.background = floorBackground();
  setup.arenas.push_back(ArenaSetup{});
  for (const bool stream : {true, false}) {
    CountingSource source;
    static_cast<MemorySource&>(source) = walkingSource(12);
    if (stream) source.makeStream();
    std::int64_t delivered = 0;
    source.delivered = &delivered;
    const LoopResult r = trackSource(source, setup, LoopSettings{1},
                                     [&](std::vector<FrameRecord>&, const video::Frame&) { ++delivered; });
    EXPECT_EQ(r.frames, 12);
    if (stream) EXPECT_EQ(source.mostAhead, 0);
    else EXPECT_GT(source.mostAhead, 0);
  }
}

TEST(Arena, TheFloorBetweenDarkWallsIsFoundAndAnEvenFrameIsNot) {
  Background walled = floorBackground();
  const Rect floor{30, 20, 250, 200};
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const bool inside = x >= floor.x && x < floor.x + floor.width && y >= floor.y && y < floor.y + floor.height;
      if (!inside) walled.pixels[static_cast<std::size_t>(y) * W + x] = 60;
    }
  }
  for (int x = 40; x < 270; ++x) walled.pixels[static_cast<std::size_t>(120) * W + x] = 90;  // a line drawn on it
  const DetectedArena found = detectArena(walled);
  ASSERT_TRUE(found.found) << found.reason;
  EXPECT_EQ(found.bounds.x, floor.x);
  EXPECT_EQ(found.bounds.y, floor.y);
  EXPECT_EQ(found.bounds.width, floor.width);
  EXPECT_EQ(found.bounds.height, floor.height);
  EXPECT_NE(found.mask[static_cast<std::size_t>(120) * W + 100], 0);  // the line is floor
  EXPECT_EQ(found.mask[static_cast<std::size_t>(5) * W + 5], 0);      // the wall is not

  EXPECT_FALSE(detectArena(floorBackground()).found);
}

}  // namespace

namespace {

// A small round blob at the end of a long bar: whatever the analysis cuts,
// a body of less than a quarter of the region is not the animal's.
TEST(BodyAnalysis, ACutThatLeavesAlmostNothingIsTakenAsNoTail) {
  Mask m(W, H);
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const bool blob = (x - 40) * (x - 40) + (y - 120) * (y - 120) <= 64;
      const bool bar = x > 40 && x < 300 && y >= 118 && y <= 123;
      if (blob || bar) m.set(x, y);
    }
  }
  const std::vector<tressel::Run> runs = runsOf(m);
  std::int64_t area = 0, sumX = 0;
  for (const tressel::Run& r : runs) {
    for (int x = r.first; x <= r.last; ++x) ++area, sumX += x;
  }
  BodyAnalyzer analyzer(AnalysisParameters{});
  FrameRecord record;
  analyzer.analyze(runs, record);
  ASSERT_TRUE(record.cutDiscarded);
  EXPECT_FALSE(record.tailFound);
  EXPECT_EQ(record.bodyAreaPx, area);
  EXPECT_NEAR(record.centerSubX, static_cast<double>(sumX) / area, 1e-9);
  EXPECT_EQ(record.nose, record.center);
  // The ends are the region's: the blob's far side and the bar's tip.
  const int lowX = std::min(record.bodyEndA.x, record.bodyEndB.x), highX = std::max(record.bodyEndA.x, record.bodyEndB.x);
  EXPECT_EQ(lowX, 32);
  EXPECT_EQ(highX, 299);
}

}  // namespace
