// Writing frames to a video file through FFmpeg's encoders and muxers.
//
//   VideoWriter::Settings settings;
//   settings.width = 640;
//   settings.height = 480;
//   settings.frameRate = 30;                       // nominal: the file's stated rate
//   VideoWriter writer("walk.mp4", settings);      // container from the extension
//   for (const Picture& p : pictures)
//     writer.write(p.bytes, 640, p.time);          // grey rows; each frame's own time
//   writer.finish();                               // flushes the encoder, closes the file
//
// The container follows the file's extension (.mp4, .mkv, .avi, .mov, or any
// other FFmpeg writes). The codec is H.264 (libx264) where that encoder is
// present and MPEG-4 part 2 otherwise, unless one is asked for: FFV1 is
// lossless, MJPEG every frame a JPEG picture. Frames are given as 8-bit grey
// or RGB24 rows and converted to what the encoder takes: exactly for FFV1
// (grey stays grey, RGB stays RGB); otherwise to full-range YUV (4:2:0 when
// both sides are even, else 4:4:4 where the codec has it) with ITU-R BT.601
// luma, so that a grey frame's bytes are the decoded luma plane's.
//
// Each frame is stamped with the time given, on a clock of 1/60000 s (exact
// for 24, 25, 30, 50, 60 and 30000/1001 frames/s), so a variable-rate file
// keeps its times; times must increase. Matroska stores milliseconds, and AVI
// only the slots of its nominal frame rate: there each time is rounded to the
// nearest slot, and two frames in one slot are refused. Lossy codecs encode
// at a quality where the difference is hard to see (x264 CRF 18, MPEG-4 and
// MJPEG quantiser 2).
//
// Every failure throws WriteError with a one-line message naming the file. A
// writer destroyed without finish() finishes the file, ignoring errors, so
// that what was written stays readable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace tressel::video {

class WriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class VideoWriter {
 public:
  enum class Codec { automatic, h264, mpeg4, ffv1, mjpeg };
  enum class Pixels { grey, rgb24 };

  struct Settings {
    int width = 0;
    int height = 0;
    double frameRate = 30;     // nominal frames per second
    Codec codec = Codec::automatic;
    Pixels pixels = Pixels::grey;
    int keyframeInterval = 0;  // a key frame every this many frames, and no others; 0: as the codec chooses
    int threads = 1;           // encoder threads; 0 lets FFmpeg choose
    // H.264: the encoder's speed for its quality ("veryfast" keeps the
    // files small; "ultrafast" costs a third of it, for pictures to look at).
    std::string h264Preset = "veryfast";
    // The container is chosen by this name's extension instead of the
    // path's: a file written under a temporary name ("out.mp4.partial").
    std::string formatFrom;
  };

  VideoWriter(const std::string& path, const Settings& settings);
  ~VideoWriter();
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  // One frame: `height` rows of width bytes (grey) or 3 x width bytes (RGB),
  // row y at pixels + y * stride; `time` in seconds.
  void write(const std::uint8_t* pixels, std::ptrdiff_t stride, double time);
  // Whether a frame at `time` would come after the last one written on the
  // file's clock (write() refuses one that does not).
  bool follows(double time) const;
  void finish();

  // The codec that `automatic` stands for here: h264 or mpeg4.
  static Codec defaultCodec();
  static const char* name(Codec codec);  // "h264", "mpeg4", "ffv1", "mjpeg"
  static bool parse(const std::string& text, Codec& codec);

 private:
  struct Encoder;
  std::unique_ptr<Encoder> encoder_;
};

}  // namespace tressel::video
