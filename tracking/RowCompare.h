// The segmenter's inner loop: pieces of rows compared with the scaled
// background, read off as runs.
//
//   const PiecesCompare compare = piecesCompare(dark, masked, widestVectors());
//   const ComparePlanes planes{frame, frameStride, background, arena, stride};
//   compare(planes, gain256, threshold, pieces.data(), pieces.size(), runs);
//
// A pixel is the animal's when it differs from the background scaled by
// gain256 / 256 (at most 255) by more than the threshold, in the animal's
// direction, and (masked) its arena byte is non-zero. 64 pixels are compared
// at a time into a bit mask; with AVX2, where the processor has it, 32 bytes
// per instruction instead of SSE2's 16. Every kernel gives the same runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "capi/maskRuns.h"

namespace tressel::tracking {

enum class VectorWidth { none, sse2, avx2 };

// The widest kernel this build and this processor can run.
VectorWidth widestVectors();

// Columns x0 .. x1 - 1 of row y.
struct RowPiece {
  int y;
  int x0;
  int x1;
};

// Where the rows are: row y of the frame at frame + y * frameStride, of the
// background and the arena (ignored unless masked) at background + y * stride
// and arena + y * stride.
struct ComparePlanes {
  const std::uint8_t* frame;
  std::ptrdiff_t frameStride;
  const std::uint8_t* background;
  const std::uint8_t* arena;
  std::ptrdiff_t stride;
};

// Appends to `runs` the runs of each piece in turn; a piece's first run joins
// the last run already there when that one is on the same row and ends at
// the piece's x0 - 1. Columns x1 - 64 .. x1 - 1 of a piece's row must exist
// when x1 >= 64 (the last, partial word is read as the 32 or 64 columns that
// end at x1).
using PiecesCompare = void (*)(const ComparePlanes& planes, int gain256, int threshold, const RowPiece* pieces,
                               std::size_t count, std::vector<Run>& runs);

// The kernel for a polarity and an arena mask, of the given width or the
// widest below it that this build has.
PiecesCompare piecesCompare(bool dark, bool masked, VectorWidth width);

}  // namespace tressel::tracking
