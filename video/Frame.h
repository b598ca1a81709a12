// Grey frames and where they come from. This header needs no FFmpeg: the
// tracking modules take frames through it and are tested on frames in memory.
//
//   std::unique_ptr<FrameSource> source = openVideo("mouse.mp4");   // video/VideoReader.h
//   Frame frame;
//   while (source->next(frame)) {
//     if (!frame.ok()) { report(frame.index, frame.error); continue; }
//     use(frame.pixels, frame.width, frame.height, frame.stride, frame.time);
//   }
//
// A source throws SourceError (with a one-line message that names the input)
// when it cannot go on at all: a file that is not a video, a truncated
// header, a read error. When the input ends early (a file cut off mid-stream,
// a raw stream that stops mid-frame) next() first gives every frame it still
// has, then throws once, and returns false after that; the frames it gave
// stand. A single frame that fails to decode does not stop a source: that
// frame is returned with `error` set and no pixels, and the next call goes on.
//
//   try {
//     while (source->next(frame)) ...;
//   } catch (const SourceError& e) {
//     warn(e.what());   // "cut.mp4: the file ends mid-stream after frame 41 (...)"
//   }
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <functional>
#include <string>
#include <vector>

namespace tressel::video {

struct Frame {
  std::int64_t index = 0;  // position in presentation order, counted by decoding from the source's start
  double time = 0;         // seconds, from the frame's own timestamp (never index / frame rate for a video)
  int width = 0;
  int height = 0;
  // 8-bit grey, row y at pixels + y * stride. The bytes belong to `owner`
  // (a decoded picture, a buffer): a Frame can be moved to another thread
  // and keeps them alive; they stay valid until the Frame is overwritten.
  const std::uint8_t* pixels = nullptr;
  std::ptrdiff_t stride = 0;
  std::shared_ptr<const void> owner;
  std::string error;  // non-empty: the frame could not be decoded and has no pixels

  bool ok() const { return error.empty() && pixels != nullptr; }
  const std::uint8_t* row(int y) const { return pixels + y * stride; }
};

// A frame that owns a plain copy of its pixels (tests, image files).
Frame frameFromPixels(std::vector<std::uint8_t> pixels, int width, int height, std::int64_t index, double time);

// The same frame with its grey pixels copied out (stride = width), so that it
// no longer holds what it came in: a decoded picture holds every plane and
// is one of the decoder's pool, which grows (zeroing each new buffer) for
// every picture kept. Frames kept for long, such as the background's
// samples, are kept so. A frame without pixels is returned as it is.
Frame compactCopy(const Frame& frame);

// What is known of a source before its frames are read.
struct SourceInfo {
  std::string name;          // the file or folder as given, "-" for standard input
  std::string format;        // "mp4", "image sequence", "raw grey", ...
  std::string codec;         // "h264", "png", "raw", ...
  std::string pixelFormat;   // as stored: "yuv420p", "gray", "rgb24", ...
  int width = 0;             // of the first frame
  int height = 0;
  double frameRate = 0;      // nominal frames per second; 0 when unknown
  double duration = 0;       // seconds, 0 when unknown
  std::int64_t frameCountHint = -1;  // what the container claims, -1 unknown; frames are counted by decoding
  bool seekable = false;     // seekExact(), seekKey() and keyframeTimes() may be used
};

class SourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class FrameSource {
 public:
  virtual ~FrameSource() = default;
  virtual const SourceInfo& info() const = 0;

  // The next frame in presentation order; false at the end of the source.
  virtual bool next(Frame& frame) = 0;

  // Seekable sources only. After seekExact(t) the next frame is the first
  // whose time is >= t (found by decoding forward from the key frame before
  // t, checked by timestamp), and its index is the number of frames before
  // it in the source (counted from the container's packets, not decoded), so
  // that a part of a recording is numbered as the whole. After seekKey(t)
  // the next frame is the key frame at or before t (cheap: nothing is
  // decoded but that frame); its index may then be -1 (unknown) until the
  // next seekExact; the frames after it follow as after seekExact. Both throw
  // SourceError on a source that is not seekable.
  virtual void seekExact(double time) = 0;
  virtual void seekKey(double time) = 0;

  // Says that no frame before `time` is wanted: a source may then leave
  // undecoded the pictures before it that no later picture needs (a
  // video's non-reference frames), and next() does not return those. The
  // frames it does return are the same, with the same times and indices.
  // A seek ends it. By default every frame is decoded.
  virtual void skipBefore(double time) { (void)time; }

  // The times of the key frames the container's index lists, ascending;
  // empty when it lists none.
  virtual std::vector<double> keyframeTimes() const = 0;
};

// Opens another reader of the same source (a sampler's, a worker's).
using OpenSource = std::function<std::unique_ptr<FrameSource>()>;

}  // namespace tressel::video
