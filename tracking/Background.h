// The empty arena, estimated from the recording itself, and the settings of
// the segmentation learnt from the same frames.
//
//   std::vector<video::Frame> samples = sampleFrames(*source, 0, duration, 51);
//   Background background = medianBackground(samples, roi, arenaMask);
//   Calibration c = calibrate(samples, background, request);
//   // c.settings: polarity and threshold; c.minArea..c.maxArea: the area gate
//
// The median of frames spread over the recording is the empty arena as long
// as the animal keeps moving: each pixel shows floor in most of them. Each
// sample is first scaled to the mean brightness of the arena, so a slow
// lighting drift does not shift the median.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tracking/Segmenter.h"
#include "video/Frame.h"

namespace tressel::tracking {

constexpr int defaultBackgroundSamples = 51;

// `count` decoded frames spread evenly over [start, end) seconds of a
// seekable source: one from the middle of each of `count` equal slices.
// Where the container lists at least `count` key frames in the interval,
// the key frames nearest the slices' middles are taken (nothing else is
// decoded); otherwise each sample is decoded exactly, reading forward rather
// than seeking when the next sample is not past a key frame. Frames that
// fail to decode are skipped. Fewer frames come back from a short source,
// and from one that ends early (a truncated file): then `ended` (when given)
// holds why, and the samples are those read before; without it, the
// source's error is thrown.
std::vector<video::Frame> sampleFrames(video::FrameSource& source, double start, double end, int count,
                                       std::string* ended = nullptr);

// The same samples read by `readers` sources side by side, each opened by
// `open` and on a thread of its own, each reading an equal run of the
// slices: the frames of sampleFrames, sooner on several cores.
std::vector<video::Frame> sampleFramesSideBySide(const video::OpenSource& open, double start, double end, int count,
                                                 int readers, std::string* ended = nullptr);

// The per-pixel median of the samples (all of one size), each scaled to the
// mean brightness of the arena (the ROI, within the arena mask when given);
// bands of rows on `threads` threads.
Background medianBackground(const std::vector<video::Frame>& samples, const Rect& roi,
                            const std::vector<std::uint8_t>& arenaMask, int threads = 1);

// out[x] = table[in[x]] for x = 0 .. width - 1 (a sample row scaled by its
// table), 32 bytes at a time where the processor has AVX2.
void mapBytes(const std::uint8_t* in, const std::uint8_t* table, int width, std::uint8_t* out);

// The median of each of `width` columns of `count` rows of bytes, row k at
// values + k * stride (stride >= width): the value std::nth_element puts at
// index count / 2. Found bit by bit from the top, 32 columns at a time where
// the processor has AVX2, 16 where it has SSE2.
void columnMedians(const std::uint8_t* values, std::size_t count, std::size_t stride, int width, std::uint8_t* out);

// What the caller fixes; the rest is learnt.
struct CalibrationRequest {
  std::optional<Polarity> polarity;  // --animal dark|light; automatic when empty
  std::optional<int> threshold;      // --threshold N; automatic when empty
  SegmentationSettings base;         // ROI, arena mask, opening, brightness following
};

struct Calibration {
  SegmentationSettings settings;  // the request's, with polarity and threshold decided
  bool polarityLearnt = false;
  bool thresholdLearnt = false;
  double noise = 0;               // robust standard deviation of the floor's difference from the background
  double contrast = 0;            // typical difference of the animal's pixels from the background
  std::int64_t typicalArea = 0;   // pixels of the animal in a typical sample; 0 when none was found
  std::int64_t minArea = 0;       // the area gate: animals outside [minArea, maxArea] are odd_size
  std::int64_t maxArea = 0;
  int samples = 0;
  int samplesWithAnimal = 0;      // samples where an animal of at least half the typical area was found
  std::vector<std::string> warnings;
};

// The area gate spans this factor below and above the typical area.
constexpr double areaGateFactor = 3.0;

Calibration calibrate(const std::vector<video::Frame>& samples, const Background& background,
                      const CalibrationRequest& request);

}  // namespace tressel::tracking
