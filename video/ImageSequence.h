// Frames from image files: a folder of them, or a list, PNG or netpbm (PBM,
// PGM, PPM), read as 8-bit grey (grey as it is, colour by ITU-R BT.601 luma,
// 16-bit samples scaled to 8 bits; see PixelRule in image/Mask.h).
//
//   auto source = openImageFolder("frames/", 25.0);   // frames/img1.png, img2.png, ..., img10.png
//   Frame frame;
//   while (source->next(frame)) ...;                   // frame i at i / 25 s
//
// A folder gives its files named *.png, *.pbm, *.pgm, *.ppm or *.pnm (any
// case) in natural order, where runs of digits compare as numbers: img2
// before img10. A list is taken in the order given. Frame i is at i / fps
// seconds. The first image sets the size; a file that cannot be read, or
// whose size differs, is a frame with `error` naming the file and the fault,
// and the sequence goes on. A folder without images, or a first image that
// cannot be read, throws SourceError. Every frame is a key frame: the source
// seeks to any of them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "video/Frame.h"

namespace tressel::video {

std::unique_ptr<FrameSource> openImageFolder(const std::string& folder, double fps);
std::unique_ptr<FrameSource> openImageFiles(std::vector<std::string> files, double fps);

// Natural order of names: digit runs compare by value (then by length, so
// "01" before "1"), everything else byte by byte.
bool naturalLess(const std::string& a, const std::string& b);

// Whether a file name has one of the image extensions above.
bool hasImageExtension(const std::string& path);

}  // namespace tressel::video
