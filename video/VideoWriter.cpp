#include "video/VideoWriter.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "video/ffmpeg.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace tressel::video {

using namespace ffmpeg;

namespace {

const char* encoderName(VideoWriter::Codec codec) {
  switch (codec) {
    case VideoWriter::Codec::h264: return "libx264";
    case VideoWriter::Codec::mpeg4: return "mpeg4";
    case VideoWriter::Codec::ffv1: return "ffv1";
    case VideoWriter::Codec::mjpeg: return "mjpeg";
    case VideoWriter::Codec::automatic: break;
  }
  return nullptr;
}

bool offers(const AVCodec* encoder, AVPixelFormat format) {
  for (const AVPixelFormat* p = encoder->pix_fmts; p != nullptr && *p != AV_PIX_FMT_NONE; ++p) {
    if (*p == format) return true;
  }
  return false;
}

// The encoder's picture format for the input: lossless FFV1 keeps the
// input's own kind (grey or RGB); the lossy codecs take YUV, subsampled
// where the size allows. NONE when the encoder takes none of them.
AVPixelFormat pictureFormat(const AVCodec* encoder, VideoWriter::Pixels pixels, int width, int height) {
  const AVPixelFormat input = pixels == VideoWriter::Pixels::grey ? AV_PIX_FMT_GRAY8 : AV_PIX_FMT_RGB24;
  if (encoder->id == AV_CODEC_ID_FFV1) {
    return offers(encoder, input) ? input : avcodec_find_best_pix_fmt_of_list(encoder->pix_fmts, input, 0, nullptr);
  }
  const bool even = width % 2 == 0 && height % 2 == 0;
  for (AVPixelFormat f : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV444P, AV_PIX_FMT_YUVJ444P}) {
    const bool subsampled = f == AV_PIX_FMT_YUV420P || f == AV_PIX_FMT_YUVJ420P;
    if ((even || !subsampled) && offers(encoder, f)) return f;
  }
  return AV_PIX_FMT_NONE;
}

}  // namespace

struct VideoWriter::Encoder {
  std::string path;
  Settings settings;
  AVFormatContext* muxer = nullptr;
  CodecPtr codec;
  AVStream* stream = nullptr;
  FramePtr picture;
  PacketPtr packet;
  ScalerPtr scaler;
  AVRational clock{1, 60000};
  std::int64_t frames = 0;
  std::int64_t lastPts = std::numeric_limits<std::int64_t>::min();
  double lastTime = 0;
  bool finished = false;

  ~Encoder() {
    if (muxer != nullptr) {
      if (!(muxer->oformat->flags & AVFMT_NOFILE)) avio_closep(&muxer->pb);
      avformat_free_context(muxer);
    }
  }

  [[noreturn]] void fail(const std::string& what) const { throw WriteError(path + ": " + what); }

  void check(int code, const char* what) const {
    if (code < 0) fail(std::string(what) + ": " + describe(code));
  }

  void open();
  void encode(const AVFrame* frame);
};

void VideoWriter::Encoder::open() {
  const Settings& s = settings;
  if (s.width <= 0 || s.height <= 0 || s.width > 16384 || s.height > 16384) {
    fail("frame size " + std::to_string(s.width) + "x" + std::to_string(s.height) + " out of range (1 to 16384)");
  }
  if (!(s.frameRate > 0 && s.frameRate <= 1000)) fail("frame rate " + std::to_string(s.frameRate) + " out of range");
  startLogCapture();

  const std::string& named = s.formatFrom.empty() ? path : s.formatFrom;
  if (avformat_alloc_output_context2(&muxer, nullptr, nullptr, named.c_str()) < 0 || muxer == nullptr) {
    fail("no container format for this file name (.mp4, .mkv, .avi or .mov expected)");
  }
  const Codec chosen = s.codec == Codec::automatic ? defaultCodec() : s.codec;
  const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName(chosen));
  if (encoder == nullptr) fail(std::string("no ") + name(chosen) + " encoder in this FFmpeg");
  if (avformat_query_codec(muxer->oformat, encoder->id, FF_COMPLIANCE_NORMAL) == 0) {
    fail(std::string("the ") + muxer->oformat->name + " container cannot hold " + name(chosen));
  }
  const AVPixelFormat format = pictureFormat(encoder, s.pixels, s.width, s.height);
  if (format == AV_PIX_FMT_NONE) {
    fail(std::string("the ") + name(chosen) + " encoder takes no picture of " + std::to_string(s.width) + "x" +
         std::to_string(s.height));
  }

  // AVI has a slot per frame at the nominal rate: a finer clock there would
  // fill the file with empty frames.
  const AVRational rate = av_d2q(s.frameRate, 1 << 20);
  const bool avi = std::strcmp(muxer->oformat->name, "avi") == 0;
  if (avi) clock = av_inv_q(rate);

  codec.reset(avcodec_alloc_context3(encoder));
  if (!codec) fail("out of memory");
  AVCodecContext* c = codec.get();
  c->width = s.width;
  c->height = s.height;
  c->pix_fmt = format;
  c->time_base = clock;
  c->framerate = rate;
  c->thread_count = s.threads;
  c->color_range = AVCOL_RANGE_JPEG;
  c->colorspace = AVCOL_SPC_SMPTE170M;  // BT.601
  if (s.keyframeInterval > 0) c->gop_size = s.keyframeInterval;
  const bool fixedInterval = s.keyframeInterval > 0;  // no extra key frames at scene changes
  if (avi) c->max_b_frames = 0;  // AVI has no presentation times to reorder by
  if (muxer->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  switch (chosen) {
    case Codec::h264:
      av_opt_set(c->priv_data, "preset", s.h264Preset.c_str(), 0);
      av_opt_set(c->priv_data, "crf", "18", 0);
      if (fixedInterval) av_opt_set(c->priv_data, "x264-params", "scenecut=0", 0);
      break;
    case Codec::mpeg4:
    case Codec::mjpeg:
      if (fixedInterval) av_opt_set_int(c->priv_data, "sc_threshold", 1000000000, 0);
      c->flags |= AV_CODEC_FLAG_QSCALE;
      c->global_quality = FF_QP2LAMBDA * 2;
      break;
    case Codec::ffv1:
      // Version 3 with a checksum per slice, so that damage is found on
      // reading; every frame a key frame, decodable on its own.
      c->level = 3;
      c->gop_size = 1;
      av_opt_set_int(c->priv_data, "slicecrc", 1, 0);
      break;
    case Codec::automatic: break;
  }
  check(avcodec_open2(c, encoder, nullptr), "cannot open the encoder");

  stream = avformat_new_stream(muxer, nullptr);
  if (stream == nullptr) fail("out of memory");
  stream->time_base = clock;
  stream->avg_frame_rate = rate;
  check(avcodec_parameters_from_context(stream->codecpar, c), "cannot set up the stream");

  if (!(muxer->oformat->flags & AVFMT_NOFILE)) {
    check(avio_open(&muxer->pb, path.c_str(), AVIO_FLAG_WRITE), "cannot create the file");
  }
  check(avformat_write_header(muxer, nullptr), "cannot write the header");

  picture.reset(av_frame_alloc());
  packet.reset(av_packet_alloc());
  if (!picture || !packet) fail("out of memory");
  picture->format = format;
  picture->width = s.width;
  picture->height = s.height;
  picture->color_range = AVCOL_RANGE_JPEG;
  check(av_frame_get_buffer(picture.get(), 0), "out of memory for a picture");

  const AVPixelFormat input = s.pixels == Pixels::grey ? AV_PIX_FMT_GRAY8 : AV_PIX_FMT_RGB24;
  scaler.reset(sws_getContext(s.width, s.height, input, s.width, s.height, format,
                              SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP, nullptr,
                              nullptr, nullptr));
  if (!scaler) fail(std::string("no conversion to ") + av_get_pix_fmt_name(format));
  // Full range in and out: grey values stay the luma's values.
  const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(scaler.get(), bt601, 1, bt601, 1, 0, 1 << 16, 1 << 16);
}

// Sends one picture (or, with nullptr, the end) and writes every packet the
// encoder has ready.
void VideoWriter::Encoder::encode(const AVFrame* frame) {
  check(avcodec_send_frame(codec.get(), frame), "cannot encode");
  for (;;) {
    const int rc = avcodec_receive_packet(codec.get(), packet.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
    check(rc, "cannot encode");
    av_packet_rescale_ts(packet.get(), clock, stream->time_base);
    packet->stream_index = stream->index;
    check(av_interleaved_write_frame(muxer, packet.get()), "cannot write");
  }
}

VideoWriter::VideoWriter(const std::string& path, const Settings& settings) : encoder_(new Encoder) {
  encoder_->path = path;
  encoder_->settings = settings;
  encoder_->open();
}

VideoWriter::~VideoWriter() {
  try {
    finish();
  } catch (const WriteError&) {
  }
}

void VideoWriter::write(const std::uint8_t* pixels, std::ptrdiff_t stride, double time) {
  Encoder& e = *encoder_;
  if (e.finished) e.fail("write after finish");
  const int rowBytes = e.settings.width * (e.settings.pixels == Pixels::grey ? 1 : 3);
  if (pixels == nullptr || stride < rowBytes || stride > std::numeric_limits<int>::max()) {
    e.fail("frame " + std::to_string(e.frames) + ": no pixels, or rows of " + std::to_string(stride) +
           " bytes for " + std::to_string(rowBytes));
  }
  if (!std::isfinite(time) || time < 0) e.fail("frame " + std::to_string(e.frames) + ": time " + std::to_string(time));
  const std::int64_t pts = std::llround(time * e.clock.den / e.clock.num);
  if (pts <= e.lastPts) {
    e.fail("frame " + std::to_string(e.frames) + " at " + std::to_string(time) + " s does not follow the previous at " +
           std::to_string(e.lastTime) + " s on the file's clock");
  }
  startLogCapture();
  e.check(av_frame_make_writable(e.picture.get()), "out of memory for a picture");
  const std::uint8_t* planes[1] = {pixels};
  const int strides[1] = {static_cast<int>(stride)};
  sws_scale(e.scaler.get(), planes, strides, 0, e.settings.height, e.picture->data, e.picture->linesize);
  e.picture->pts = pts;
  e.encode(e.picture.get());
  e.lastPts = pts;
  e.lastTime = time;
  ++e.frames;
}

bool VideoWriter::follows(double time) const {
  const Encoder& e = *encoder_;
  return std::isfinite(time) && time >= 0 && std::llround(time * e.clock.den / e.clock.num) > e.lastPts;
}

void VideoWriter::finish() {
  Encoder& e = *encoder_;
  if (e.finished) return;
  e.finished = true;
  startLogCapture();
  e.encode(nullptr);
  e.check(av_write_trailer(e.muxer), "cannot finish the file");
  if (!(e.muxer->oformat->flags & AVFMT_NOFILE)) e.check(avio_closep(&e.muxer->pb), "cannot close the file");
}

VideoWriter::Codec VideoWriter::defaultCodec() {
  return avcodec_find_encoder_by_name(encoderName(Codec::h264)) != nullptr ? Codec::h264 : Codec::mpeg4;
}

const char* VideoWriter::name(Codec codec) {
  switch (codec) {
    case Codec::automatic: return "automatic";
    case Codec::h264: return "h264";
    case Codec::mpeg4: return "mpeg4";
    case Codec::ffv1: return "ffv1";
    case Codec::mjpeg: return "mjpeg";
  }
  return "?";
}

bool VideoWriter::parse(const std::string& text, Codec& codec) {
  for (Codec c : {Codec::automatic, Codec::h264, Codec::mpeg4, Codec::ffv1, Codec::mjpeg}) {
    if (text == name(c)) {
      codec = c;
      return true;
    }
  }
  return false;
}

}  // namespace tressel::video
