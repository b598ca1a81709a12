// What tracking finds in one frame: the plain record that the tracking loop
// hands on, in frame order, to the behaviour measures and the table writers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capi/maskRuns.h"

namespace tressel::tracking {

// A whole pixel: x is the column, y the row (image coordinates, y down).
struct Pixel {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(Pixel a, Pixel b) { return a.x == b.x && a.y == b.y; }
  friend bool operator!=(Pixel a, Pixel b) { return !(a == b); }
};

// A run of mask pixels: columns first..last (inclusive) of a row.
using PixelRun = tressel::Run;

enum class FrameStatus : std::uint8_t {
  ok,           // animal found, tail found and cut
  noTail,       // animal found, no tail: the nose is the centre of the outline's area
  noAnimal,     // nothing in the frame differs enough from the background
  oddSize,      // an animal far smaller or larger than usual (outside the area gate); analysed, flagged
  decodeError,  // the frame could not be decoded: no pixels, no points
};

// "ok", "no_tail", "no_animal", "odd_size", "decode_error": the table's spelling.
inline const char* statusName(FrameStatus status) {
  switch (status) {
    case FrameStatus::ok: return "ok";
    case FrameStatus::noTail: return "no_tail";
    case FrameStatus::noAnimal: return "no_animal";
    case FrameStatus::oddSize: return "odd_size";
    case FrameStatus::decodeError: return "decode_error";
  }
  return "";
}

// The analysis's chains of contour points, for pictures of it.
struct Outlines {
  std::vector<Pixel> border;       // the traced, cleaned contour of the whole animal
  std::vector<Pixel> bodyContour;  // the contour left after the tail and limbs are cut away
  std::vector<Pixel> tailSegment;  // across the tail's base (empty without a tail)
};

struct FrameRecord {
  std::int64_t frame = 0;  // index in the source, from 0
  double time = 0;         // seconds, from the frame's own timestamp
  int arena = 0;           // which arena of the recording (0 when there is one)
  FrameStatus status = FrameStatus::noAnimal;
  std::string error;       // why a frame failed to decode

  std::int64_t areaPx = 0;  // pixels of the animal's mask (its largest component)
  bool tailFound = false;   // the analysis found and cut a tail (also in odd_size frames)
  // The analysis's cut left less than a quarter of the animal (it took the
  // body for a tail): the frame is taken as one without a tail, the whole
  // region as its body.
  bool cutDiscarded = false;

  // The analysis's results, exact whole pixels; defined when hasPoints().
  Pixel center;  // body centre, tail and limbs cut away
  Pixel nose;
  Pixel tailBase;   // defined when hasTail()
  Pixel tailStart;
  Pixel tailEnd;

  // The body (tail and limbs cut away) beyond the analysis's whole pixels:
  // the mean of its pixels before truncation, its pixel count, and its two
  // ends along its long axis (contour points; endA is the one nearer the
  // analysis's nose, or either when no tail was found).
  double centerSubX = 0;
  double centerSubY = 0;
  std::int64_t bodyAreaPx = 0;
  Pixel bodyEndA;
  Pixel bodyEndB;
  // Pixels of the body mask that differ from the previous frame's (the
  // symmetric difference); -1 when the previous frame had no body.
  std::int64_t bodyChangePx = -1;

  // The body region's runs, carried from a worker to the in-order stage that
  // computes bodyChangePx, then dropped.
  std::vector<PixelRun> bodyRuns;

  // Kept only when the tracker is asked to (TrackerSetup::keep): the
  // animal's mask as segmented (before the analysis), for saving masks, and
  // the analysis's chains, for drawing it.
  std::vector<PixelRun> maskRuns;
  std::shared_ptr<const Outlines> outlines;

  bool hasPoints() const {
    return status == FrameStatus::ok || status == FrameStatus::noTail || status == FrameStatus::oddSize;
  }
  bool hasTail() const { return hasPoints() && tailFound; }
};

}  // namespace tressel::tracking
