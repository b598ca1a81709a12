// The animal's mask in one frame: the pixels that differ from the empty
// arena (the background) by more than a threshold, in the animal's direction
// (darker or lighter), inside the region where the animal can be, reduced to
// the largest 8-connected component.
//
//   Segmenter segmenter(settings, background);   // one per worker thread
//   Segmentation s;
//   segmenter.segment(frame, s);
//   if (s.runs.empty()) ... no animal ...
//
// 64 pixels at a time are compared with the background into a bit mask and
// the runs are read off the bits, so nothing frame-sized is written
// (tracking/RowCompare.h; AVX2 where the processor has it). With a coarse
// step, only every step-th row of the frame is read to find the animal, and
// every row only around it; each pixel is compared once: the coarse rows'
// runs serve again, and a search box that grows reads only its new strips.
#pragma once

#include <cstdint>
#include <vector>

#include "capi/maskRuns.h"
#include "tracking/RowCompare.h"
#include "tracking/FrameRecord.h"
#include "video/Frame.h"

namespace tressel::tracking {

enum class Polarity { dark, light };

const char* polarityName(Polarity polarity);  // "dark", "light"

// A rectangle of pixels; empty (width or height 0) means the whole frame.
struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool empty() const { return width <= 0 || height <= 0; }
};

// An 8-bit grey picture of the empty arena, the size of the frames.
struct Background {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // row-major, stride = width
};

struct SegmentationSettings {
  Polarity polarity = Polarity::dark;
  int threshold = 20;  // grey levels: a pixel is the animal's when it differs by more than this
  Rect roi;            // where the animal can be; empty: the whole frame
  // Optional, the size of the frame: non-zero where the animal can be.
  std::vector<std::uint8_t> arenaMask;
  int openRadius = 0;  // > 0: a morphological opening with a (2r+1)-pixel square, for cables and tethers
  // > 1: find the animal on every coarseStep-th row first and read every row
  // only around it (the component found is then grown until whole). Must be
  // well below the animal's smallest extent; calibration chooses it.
  int coarseStep = 1;
  int searchMargin = 0;  // pixels read around the coarse rows' animal at first (its tail may reach further)
  // Scale the background to each frame's brightness, measured on a sparse
  // grid of background pixels, so that a slow lighting drift does not move
  // the threshold.
  bool followBrightness = true;
};

struct Segmentation {
  std::vector<Run> runs;   // the largest component, in frame coordinates, scan order
  std::int64_t area = 0;   // its pixels
  double gain = 1;         // the frame's brightness relative to the background
};

class Segmenter {
 public:
  // The background and the arena mask must have the frames' size; the ROI is
  // clipped to the frame.
  Segmenter(SegmentationSettings settings, const Background& background);

  // The frame must have the background's size and pixels (Frame::ok()).
  // `out`'s buffers are reused from call to call.
  void segment(const video::Frame& frame, Segmentation& out);

  // Every pixel beyond the threshold, before the choice of a component (for
  // calibration); the runs are written to `runs`.
  void thresholdRuns(const video::Frame& frame, double gain, int threshold, std::vector<Run>& runs);

  // The frame's brightness relative to the background's, on a sparse grid of
  // pixels that differ from the background by less than the threshold.
  double brightnessGain(const video::Frame& frame);

  const SegmentationSettings& settings() const { return settings_; }
  const Rect& region() const { return roi_; }

 private:
  // `fast`: with the background the segmentation compares against (see
  // segmentBackground_), for the settings' threshold only.
  void compareRows(const video::Frame& frame, double gain, int threshold, const Rect& area, int rowStep, bool fast,
                   std::vector<Run>& runs);
  // The runs of `area`, which holds `done`, whose runs are known already;
  // the coarse rows' runs come from coarse_.
  void compareGrown(const video::Frame& frame, double gain, const Rect& area, const Rect& done,
                    const std::vector<Run>& doneRuns, std::vector<Run>& runs);
  void open(std::vector<Run>& runs);

  SegmentationSettings settings_;
  const Background& background_;
  Rect roi_;
  std::vector<std::uint8_t> scratch_;  // the opening's raster
  PiecesCompare compare_;
  // For a dark animal in an arena mask, the background with black outside
  // the arena, where nothing can be darker than it: the segmentation then
  // compares without reading the mask, and finds the same pixels.
  std::vector<std::uint8_t> segmentBackground_;
  PiecesCompare segmentCompare_;
  // The brightness samples, found once: row by row, each row's columns and
  // background values; sampleRowEnd_[k] ends row sampleRow_[k]'s.
  std::vector<int> sampleRow_;
  std::vector<std::size_t> sampleRowEnd_;
  std::vector<int> sampleColumn_;
  std::vector<std::uint8_t> sampleBackground_;
  std::int64_t sampleBackgroundSum_ = 0;
  std::vector<std::int32_t> sampleFrame_;  // the frame's values at the samples, for the second round
  bool avx2Samples_ = false;
  std::vector<Run> coarse_;            // runs of the coarse rows
  std::vector<std::size_t> coarseRowStart_;  // where each coarse row's runs begin in coarse_
  std::vector<Run> coarseComponent_;   // their largest component, a row per coarse row
  std::vector<Run> fine_, grown_;      // every run of the area read around it
  std::vector<RowPiece> pieces_;       // row pieces gathered to be compared in one call
  ComponentWorkspace components_;
};

// Pixels in the symmetric difference of two regions given as runs in scan
// order: how much of the body changed between two frames.
std::int64_t changedPixels(const std::vector<Run>& a, const std::vector<Run>& b);

}  // namespace tressel::tracking
