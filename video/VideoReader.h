// Reading a video through FFmpeg: any file libavformat opens, its best video
// stream, frames in presentation order as 8-bit grey.
//
//   auto source = openVideo("mouse.mp4");            // throws SourceError
//   source->seekExact(60.0);                         // the first frame at or after 1 min
//   Frame frame;
//   while (source->next(frame) && frame.time < 120.0) ...;
//
// Pixels. Pictures stored as 8-bit YUV (any subsampling, limited or full
// range), NV12/NV21 or grey come as their luma plane itself, shared with the
// decoder's picture and not copied; other formats (RGB, palette, 10- and
// 16-bit) are converted to grey by libswscale, with ITU-R BT.601 luma at
// full range for RGB and the stored range for YUV.
//
// Times. A frame's time is its own timestamp (its packet's presentation
// time as the decoder carries it; best_effort_timestamp where it has none)
// times the stream's time base, less the stream's start time where the
// container gives one, so the first frame of a usual file is at 0 and a
// variable-rate file keeps its times. (best_effort_timestamp is no better
// where the packet's time exists, and after damage it switches to decoding
// times.) A frame without any timestamp takes the previous frame's time plus
// one frame at the nominal rate. Indices count the frames as they come, from
// 0, error frames included.
//
// Faults. A file that cannot be opened, is not a video, has no video stream,
// or whose codec has no decoder throws SourceError from openVideo. A packet
// that fails to decode, or a picture the decoder marks as damaged, becomes a
// frame with `error` set, at the packet's time, and decoding goes on; so
// does a frame whose size differs from the first frame's, and each packet
// near damage for which the decoder gives no picture. Damaged container data
// that the demuxer skips becomes error frames too, as many as the gap in
// time holds at the nominal rate. So every packet has its row, and the
// frames after damage keep their indices. An input that ends mid-stream (a
// cut packet, or frames that stop short of the duration the header states,
// by more than two frames, or 0.5 s when only the whole file's duration is
// known) or that can no longer be read ends the source with a SourceError
// after the frames before it; 100 faults in a row without a good frame end
// it too.
//
// Seeking (files and memory, not pipes): keyframeTimes() lists the
// presentation times of the key frames in the container's index (where the
// index holds decoding times, as MP4's does, one packet per key frame is
// read to learn them); seekKey(t) decodes just the key frame at or before t;
// seekExact(t) decodes forward from it to the first frame at or after t,
// and numbers that frame by counting the packets before it, read without
// decoding from the start by a second demuxer. After skipBefore(t), H.264
// and HEVC pictures before t that no other picture refers to are not
// decoded (the decoder's AVDISCARD_NONREF), away from damage and once a
// seek has landed; the frames that come are numbered by their packets.
// A container whose packets reach into other files (playlists, references)
// is refused: only the one file is read.
//
// Decoding is single-threaded unless `threads` says otherwise; FFmpeg's own
// log is kept off stderr (see video/ffmpeg.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "video/Frame.h"

namespace tressel::video {

struct VideoOptions {
  int threads = 1;  // decoding threads; 0 lets FFmpeg choose (one per core)
};

std::unique_ptr<FrameSource> openVideo(const std::string& path, const VideoOptions& options = {});

// A video held in memory; the bytes must outlive the source. `name` stands
// for the input in messages (and its extension helps to tell the format).
std::unique_ptr<FrameSource> openVideoBytes(const std::uint8_t* data, std::size_t size, const std::string& name,
                                            const VideoOptions& options = {});

}  // namespace tressel::video
