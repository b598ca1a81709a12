// The picture of one tracked frame, as the overlay video and `tressel draw
// --frame` show it: the frame in grey with the arena and its zones, and for
// each arena's animal the traced border, the body contour after the cuts,
// the segment across the tail's base, the tail base, body centre and nose
// (as the table has them) and an arrow along the heading; under the frame a
// panel with the frame number, time and status, a legend, and on a flagged
// frame a mark at the panel's right end.
//
//   tressel_image::RgbImage picture = drawTrackedFrame(frame, rows, 640, 480);
//   writer.write(picture.pixels.data(), picture.width * 3, frame.time);
//
// The rows need the records' outlines (TrackOptions::keep.outlines) for the
// chains; the markers are drawn without them.
#pragma once

#include <string>
#include <vector>

#include "behaviour/Row.h"
#include "image/png.h"
#include "tracking/Segmenter.h"
#include "video/Frame.h"

namespace tressel_tool {

// Why a row is flagged, "" when it is not: no animal, an odd size, a frame
// that could not be decoded, a jump, a sharp turn, or an interpolated
// position. A hidden tail (no_tail) is an ordinary frame.
std::string flagReason(const tressel::behaviour::BehaviourRow& row);

// The frame's picture: width x (height + panelHeight(width)). A frame
// without pixels (it could not be decoded) is drawn black at width x height.
tressel_image::RgbImage drawTrackedFrame(const tressel::video::Frame& frame,
                                         const std::vector<const tressel::behaviour::BehaviourRow*>& rows, int width,
                                         int height);

// The panel's height under a frame `width` wide (even, so that the picture
// stays even for 4:2:0 video), and where the flag mark lies in the picture.
int panelHeight(int width);
tressel::tracking::Rect flagMarkArea(int width, int height);

}  // namespace tressel_tool
