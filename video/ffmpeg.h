// What the reader and the writer share of FFmpeg: owning pointers for its
// objects, its error codes as text, and its log.
//
// FFmpeg's log is kept off the terminal: the reader and the writer put the
// gist of a failure into their own one-line messages. The last error FFmpeg
// logged on the calling thread is kept for that, so a message can say
// "moov atom not found" where the return code only says "invalid data".
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace tressel::video::ffmpeg {

struct FreeCodec {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FreePacket {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FreeFrame {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct FreeScaler {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};

using CodecPtr = std::unique_ptr<AVCodecContext, FreeCodec>;
using PacketPtr = std::unique_ptr<AVPacket, FreePacket>;
using FramePtr = std::unique_ptr<AVFrame, FreeFrame>;
using ScalerPtr = std::unique_ptr<SwsContext, FreeScaler>;

// Routes FFmpeg's log away from stderr (once per process) and forgets the
// calling thread's last logged error; call before a step whose failure is
// to be explained.
void startLogCapture();

// The text of an error code, with what FFmpeg logged since startLogCapture()
// when it logged anything: "Invalid data found when processing input (moov
// atom not found)".
std::string describe(int code);

// The last error FFmpeg logged on this thread since startLogCapture(), or "".
std::string loggedError();

}  // namespace tressel::video::ffmpeg
