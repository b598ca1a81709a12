#include "video/VideoReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "video/ffmpeg.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace tressel::video {

using namespace ffmpeg;

namespace {

constexpr int kMaxFaultsInARow = 100;  // failed packets or reads with no good frame between them
constexpr int kMaxLostFrames = 1000;   // error frames for one stretch of damaged data
// Packets a decoder may hold for reordering, and so how far damage reaches.
constexpr std::size_t kDamageWindow = 64;
constexpr int kMaxPacketsToKeyframe = 100000;  // packets read past a seek to find seekKey's key frame
constexpr int kIoBufferBytes = 1 << 16;
// No decoded picture larger than this (8K fits): bounds what a hostile
// header can make the decoder allocate.
constexpr int kMaxPicturePixels = 1 << 25;
constexpr std::int64_t kNoTime = AV_NOPTS_VALUE;

// Where the container's bytes come from: a file or memory, read through
// FFmpeg's I/O callbacks either way, so that nothing but these bytes is ever
// opened.
struct Origin {
  std::string name;                     // for messages
  const std::uint8_t* data = nullptr;   // memory, or
  std::size_t size = 0;
  bool inMemory = false;                // a file at `name`
};

struct Reading {
  const Origin* origin = nullptr;
  std::FILE* file = nullptr;
  std::size_t position = 0;  // in memory
};

int readBytes(void* opaque, std::uint8_t* out, int size) {
  auto* r = static_cast<Reading*>(opaque);
  if (r->file != nullptr) {
    const std::size_t n = std::fread(out, 1, static_cast<std::size_t>(size), r->file);
    if (n > 0) return static_cast<int>(n);
    return std::ferror(r->file) ? AVERROR(EIO) : AVERROR_EOF;
  }
  const std::size_t n = std::min(static_cast<std::size_t>(size), r->origin->size - r->position);
  if (n == 0) return AVERROR_EOF;
  std::memcpy(out, r->origin->data + r->position, n);
  r->position += n;
  return static_cast<int>(n);
}

std::int64_t seekBytes(void* opaque, std::int64_t offset, int whence) {
  auto* r = static_cast<Reading*>(opaque);
  whence &= ~AVSEEK_FORCE;
  if (r->file != nullptr) {
    if (whence == AVSEEK_SIZE) {
      struct stat s;
      return fstat(fileno(r->file), &s) == 0 ? static_cast<std::int64_t>(s.st_size) : AVERROR(errno);
    }
    if (fseeko(r->file, static_cast<off_t>(offset), whence) != 0) return AVERROR(errno);
    return static_cast<std::int64_t>(ftello(r->file));
  }
  const auto size = static_cast<std::int64_t>(r->origin->size);
  if (whence == AVSEEK_SIZE) return size;
  const std::int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<std::int64_t>(r->position)
                                                 : whence == SEEK_END ? size : -1;
  if (base < 0 || offset < -base || offset > size - base) return AVERROR(EINVAL);
  r->position = static_cast<std::size_t>(base + offset);
  return base + offset;
}

int refuseOtherFiles(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

std::string shortName(const AVInputFormat* format) {
  const std::string name = format->name;
  return name.substr(0, name.find(','));
}

// An opened container: its demuxer over its own reading of the origin.
class Container {
 public:
  explicit Container(const Origin& origin) {
    reading_.origin = &origin;
    auto fail = [&](const std::string& what) {
      close();
      throw SourceError(origin.name + ": " + what);
    };
    startLogCapture();
    bool seekable = true;
    if (origin.inMemory) {
      if (origin.size == 0) fail("empty input");
    } else {
      struct stat s;
      if (stat(origin.name.c_str(), &s) != 0) fail(std::string("cannot open: ") + std::strerror(errno));
      if (S_ISDIR(s.st_mode)) fail("a folder, not a video file");
      seekable = S_ISREG(s.st_mode);
      if (seekable && s.st_size == 0) fail("empty file");
      reading_.file = std::fopen(origin.name.c_str(), "rb");
      if (reading_.file == nullptr) fail(std::string("cannot open: ") + std::strerror(errno));
      std::setvbuf(reading_.file, nullptr, _IONBF, 0);  // FFmpeg buffers
    }
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
    if (buffer != nullptr) {
      io_ = avio_alloc_context(buffer, kIoBufferBytes, 0, &reading_, readBytes, nullptr, seekable ? seekBytes : nullptr);
    }
    if (io_ == nullptr) {
      av_free(buffer);
      fail("out of memory");
    }
    const AVInputFormat* guessed = nullptr;
    const int score = av_probe_input_buffer2(io_, &guessed, origin.name.c_str(), nullptr, 0, 0);
    if (score < 0 || guessed == nullptr) {
      fail(score == AVERROR(EIO) ? "read error: " + describe(score) : "not a video (no container format recognised)");
    }
    format_ = avformat_alloc_context();
    if (format_ == nullptr) fail("out of memory");
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    format_->io_open = refuseOtherFiles;
    int rc = avformat_open_input(&format_, origin.name.c_str(), guessed, nullptr);
    if (rc < 0) {
      // A name's extension alone scores 1: the content was nothing known.
      if (score < AVPROBE_SCORE_RETRY) fail("not a video (" + describe(rc) + ")");
      fail("a damaged or truncated " + shortName(guessed) + " file: " + describe(rc));
    }
    rc = avformat_find_stream_info(format_, nullptr);
    if (rc < 0) fail("a damaged " + shortName(format_->iformat) + " file: " + describe(rc));
  }

  ~Container() { close(); }
  Container(const Container&) = delete;
  Container& operator=(const Container&) = delete;

  AVFormatContext* get() const { return format_; }

  // Only one stream's packets are read.
  void keepOnly(int index) {
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
      format_->streams[i]->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
  }

 private:
  void close() {
    avformat_close_input(&format_);  // custom I/O: leaves io_ to us
    if (io_ != nullptr) {
      av_freep(&io_->buffer);
      avio_context_free(&io_);
    }
    if (reading_.file != nullptr) std::fclose(reading_.file);
    reading_.file = nullptr;
  }

  Reading reading_;
  AVIOContext* io_ = nullptr;
  AVFormatContext* format_ = nullptr;
};

// The luma plane of these formats is the grey picture: 8-bit samples, one
// byte apart, in the first plane.
bool lumaIsGrey(AVPixelFormat format) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  if (d == nullptr || d->nb_components < 1) return false;
  const std::uint64_t notYuv = AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL |
                               AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_FLOAT;
  const AVComponentDescriptor& y = d->comp[0];
  return !(d->flags & notYuv) && y.plane == 0 && y.step == 1 && y.depth == 8 && y.offset == 0 && y.shift == 0;
}

bool isRgb(AVPixelFormat format) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  return d != nullptr && (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL));
}

std::string size(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

// A frame on its way out, with the timestamp it was placed by.
struct Decoded {
  Frame frame;
  std::int64_t timestamp = kNoTime;
};

class VideoSource : public FrameSource {
 public:
  VideoSource(Origin origin, const VideoOptions& options) : origin_(std::move(origin)), container_(origin_) {
    AVFormatContext* format = container_.get();
    const AVCodec* decoder = nullptr;
    const int found = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (found == AVERROR_DECODER_NOT_FOUND) fail("unsupported codec " + videoCodecName() + " (no decoder for it)");
    if (found < 0) fail("no video stream");
    index_ = found;
    stream_ = format->streams[index_];
    if (stream_->disposition & AV_DISPOSITION_ATTACHED_PIC) fail("no video stream (only a still picture)");
    container_.keepOnly(index_);
    timeBase_ = stream_->time_base;
    if (timeBase_.num <= 0 || timeBase_.den <= 0) fail("the video stream has no time base");
    if (stream_->start_time != AV_NOPTS_VALUE) start_ = stream_->start_time;

    decoder_.reset(avcodec_alloc_context3(decoder));
    packet_.reset(av_packet_alloc());
    picture_.reset(av_frame_alloc());
    if (!decoder_ || !packet_ || !picture_) fail("out of memory");
    AVCodecContext* c = decoder_.get();
    check(avcodec_parameters_to_context(c, stream_->codecpar), "cannot set up the decoder");
    c->thread_count = options.threads;
    c->max_pixels = kMaxPicturePixels;
    c->pkt_timebase = timeBase_;
    check(avcodec_open2(c, decoder, nullptr), std::string("cannot open the ") + decoder->name + " decoder");
    canSkip_ = c->codec_id == AV_CODEC_ID_H264 || c->codec_id == AV_CODEC_ID_HEVC;
    holdLimit_ = static_cast<std::size_t>(std::clamp(stream_->codecpar->video_delay, 0, 14)) + 2;

    const AVRational rate = av_guess_frame_rate(format, stream_, nullptr);
    info_.name = origin_.name;
    info_.format = shortName(format->iformat);
    info_.codec = avcodec_get_name(stream_->codecpar->codec_id);
    const char* pixels = av_get_pix_fmt_name(static_cast<AVPixelFormat>(stream_->codecpar->format));
    info_.pixelFormat = pixels != nullptr ? pixels : "";
    info_.width = stream_->codecpar->width;
    info_.height = stream_->codecpar->height;
    info_.frameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;
    // Where the header says the frames end, to tell a cut-off file: the
    // stream's own duration is exact; the file's may include other streams.
    if (stream_->duration != AV_NOPTS_VALUE && stream_->duration > 0) {
      info_.duration = seconds(stream_->duration + start_);
      statedEndSlack_ = 2 * nominalStep();
    } else if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
      info_.duration = static_cast<double>(format->duration) / AV_TIME_BASE;
      statedEndSlack_ = std::max(2 * nominalStep(), 0.5);
    }
    if (format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) statedEndSlack_ = -1;  // a guess
    info_.frameCountHint = stream_->nb_frames > 0 ? stream_->nb_frames : -1;
    info_.seekable = format->pb != nullptr && (format->pb->seekable & AVIO_SEEKABLE_NORMAL);
  }

  const SourceInfo& info() const override { return info_; }

  bool next(Frame& frame) override {
    while (ready_.empty() && !finished_) decodeSome();
    if (!ready_.empty()) {
      frame = std::move(ready_.front().frame);
      ready_.pop_front();
      return true;
    }
    if (!endError_.empty()) {
      const std::string message = std::move(endError_);
      endError_.clear();
      throw SourceError(message);
    }
    return false;
  }

  void seekExact(double time) override {
    seekNear(time);
    exactTarget_ = time;
    numberByPackets_ = true;
  }

  void seekKey(double time) override {
    seekNear(time);
    keyTarget_ = time;
  }

  void skipBefore(double time) override {
    const double ticks = std::floor(time * timeBase_.den / timeBase_.num + static_cast<double>(start_));
    // A tick short of the time, against rounding.
    if (canSkip_ && std::isfinite(ticks) && std::fabs(ticks) < 9e18) skipBefore_ = static_cast<std::int64_t>(ticks) - 1;
  }

  std::vector<double> keyframeTimes() const override {
    if (!keyframesRead_) readKeyframes();
    return keyframes_;
  }

 private:
  // A packet sent to the decoder and not yet given back as a picture, by
  // presentation time; `error` says why it failed, if it did.
  struct Sent {
    std::int64_t timestamp;
    std::string error;
    std::string damage;  // what the decoder logged while decoding it
    bool skippable = false;  // sent to be skipped if no later picture needs it
  };

  // A decoded picture waiting for its turn.
  struct Held {
    std::int64_t timestamp;
    FramePtr picture;
  };

  [[noreturn]] void fail(const std::string& what) const { throw SourceError(origin_.name + ": " + what); }

  void check(int code, const std::string& what) const {
    if (code < 0) fail(what + ": " + describe(code));
  }

  std::string videoCodecName() const {
    for (unsigned i = 0; i < container_.get()->nb_streams; ++i) {
      const AVCodecParameters* p = container_.get()->streams[i]->codecpar;
      if (p->codec_type != AVMEDIA_TYPE_VIDEO) continue;
      if (p->codec_id != AV_CODEC_ID_NONE) return avcodec_get_name(p->codec_id);
      char tag[AV_FOURCC_MAX_STRING_SIZE] = {};
      return std::string("'") + av_fourcc_make_string(tag, p->codec_tag) + "'";
    }
    return "?";
  }

  double seconds(std::int64_t timestamp) const {
    // In floating point: a damaged file's timestamps may be anything.
    return (static_cast<double>(timestamp) - static_cast<double>(start_)) * timeBase_.num / timeBase_.den;
  }

  // The stream's timestamp at or before a time.
  std::int64_t timestampAt(double time) const {
    const double ticks = std::floor(time * timeBase_.den / timeBase_.num + static_cast<double>(start_));
    const double limit = 9e18;  // within int64
    return static_cast<std::int64_t>(std::clamp(ticks, -limit, limit));
  }

  // One step of decoding: takes a ready picture, or feeds one packet, or
  // ends the stream. Whatever it makes goes to ready_.
  void decodeSome() {
    if (keyTarget_) return decodeKeyframe();
    const int rc = avcodec_receive_frame(decoder_.get(), picture_.get());
    if (rc == 0) return takePicture();
    if (rc == AVERROR_EOF) return finish();
    if (rc != AVERROR(EAGAIN)) return fault(lastPacketTime_, "cannot decode: " + describe(rc));  // for a packet before
    if (draining_) return finish();  // a decoder that wants more after the end: nothing more will come
    startLogCapture();
    const int read = av_read_frame(container_.get(), packet_.get());
    if (read < 0 && read != AVERROR_EOF && !avio_feof(container_.get()->pb)) return readFault(read);
    if (read < 0) return endOfInput(read);
    if (packet_->stream_index == index_) {
      // The demuxer logs what it skipped to find this packet.
      const std::string skipped = loggedError();
      if (!skipped.empty()) lostBefore(packet_.get(), skipped);
      sendPacket();
    }
    av_packet_unref(packet_.get());
  }

  // Damaged container data was skipped before packet `p`. The frames it held
  // are lost; at the nominal rate, the gap in decoding times says how many,
  // and each becomes an error frame in its place, so that the frames after
  // keep their positions. Without a rate one error frame marks the place.
  void lostBefore(const AVPacket* p, const std::string& skipped) {
    const std::int64_t order = p->dts != AV_NOPTS_VALUE ? p->dts : p->pts;
    const std::string message = "lost in damaged data (" + skipped + ")";
    damageWindow_ = kDamageWindow;
    // Just before the packet, whose own place comes after.
    const std::int64_t before = order == kNoTime || order == kNoTime + 1 ? kNoTime : order - 1;
    if (lastPacketOrder_ == kNoTime || order == kNoTime || nominalStep() <= 0) {
      return lost(before, message + "; frames may be missing");
    }
    const double step = nominalStep() * timeBase_.den / timeBase_.num;  // in ticks
    const double gap = (static_cast<double>(order) - static_cast<double>(lastPacketOrder_)) / step;
    const auto missing = gap > kMaxLostFrames + 1 ? kMaxLostFrames + 1 : static_cast<std::int64_t>(std::llround(gap)) - 1;
    if (missing > kMaxLostFrames) return lost(before, message + "; about " + std::to_string(missing) + " frames");
    for (std::int64_t k = 1; k <= missing; ++k) {
      lost(lastPacketOrder_ + static_cast<std::int64_t>(std::llround(k * step)), message);
    }
  }

  // A demuxer that fails on damaged data can often go on past it.
  void readFault(int rc) {
    if (++faultsInARow_ <= kMaxFaultsInARow) return;
    endOfInput(rc);
    endError_ = origin_.name + ": unreadable after frame " + std::to_string(nextIndex_) + ": " + describe(rc);
  }

  void sendPacket() {
    primed_ = true;
    const AVPacket* p = packet_.get();
    lastPacketTime_ = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
    if (p->dts != AV_NOPTS_VALUE || p->pts != AV_NOPTS_VALUE) lastPacketOrder_ = p->dts != AV_NOPTS_VALUE ? p->dts : p->pts;
    if (lastPacketTime_ != AV_NOPTS_VALUE) {
      const double duration = static_cast<double>(std::max<std::int64_t>(p->duration, 0)) * timeBase_.num / timeBase_.den;
      framesEnd_ = std::max(framesEnd_, seconds(lastPacketTime_) + duration);
    }
    if (p->flags & AV_PKT_FLAG_CORRUPT) truncatedPacket_ = true;
    // A picture before skipBefore_ that no other needs is not decoded, once
    // a seek has landed well and away from damage; H.264 and HEVC mark such
    // pictures. Its frame is then missing, so the frames are numbered by
    // the packets before them (place()).
    const bool skip = skipBefore_ != kNoTime && !firstAfterSeek_ && damageWindow_ == 0 && p->pts != AV_NOPTS_VALUE &&
                      p->pts < skipBefore_ && !(p->flags & AV_PKT_FLAG_KEY);
    decoder_->skip_frame = skip ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    if (damageWindow_ > 0) --damageWindow_;
    if (p->pts != AV_NOPTS_VALUE) {
      const auto later = std::upper_bound(sent_.begin(), sent_.end(), p->pts,
                                          [](std::int64_t t, const Sent& e) { return t < e.timestamp; });
      sent_.insert(later, Sent{p->pts, "", "", skip});
      if (sent_.size() > kDamageWindow) {  // no decoder holds so many
        Sent oldest = std::move(sent_.front());
        sent_.pop_front();
        noPicture(std::move(oldest));
      }
    }
    startLogCapture();
    const int rc = avcodec_send_packet(decoder_.get(), p);
    if (rc < 0 && rc != AVERROR(EAGAIN)) return fault(lastPacketTime_, "cannot decode: " + describe(rc));
    // Some decoders mend damage they find (FFV1 copies a slice whose
    // checksum fails from the frame before) and only log it. The decoding
    // happens here, on this thread, unless codec threads do it.
    const std::string logged = loggedError();
    if (!logged.empty() && p->pts != AV_NOPTS_VALUE) {
      const auto own = std::find_if(sent_.rbegin(), sent_.rend(), [&](const Sent& e) { return e.timestamp == p->pts; });
      if (own != sent_.rend()) own->damage = logged;
    }
  }

  // The demuxer has nothing more: the end of the file, or a fault. The
  // decoder is drained either way, so that no decoded frame is lost; a fault
  // is reported after the last of them.
  void endOfInput(int rc) {
    if (rc != AVERROR_EOF && rc != AVERROR(EAGAIN) && avio_feof(container_.get()->pb) == 0) {
      endError_ = origin_.name + ": read error after frame " + std::to_string(nextIndex_) + ": " + describe(rc);
    } else if (truncatedPacket_) {
      endError_ = origin_.name + ": the file ends mid-stream, inside the packet of the frame at " +
                  std::to_string(seconds(lastPacketTime_)) + " s (truncated?)";
    } else if (statedEndSlack_ >= 0 && framesEnd_ < info_.duration - statedEndSlack_) {
      endError_ = origin_.name + ": the file ends mid-stream: its frames stop at " + std::to_string(std::max(framesEnd_, 0.0)) +
                  " s of the " + std::to_string(info_.duration) + " s its header states (truncated?)";
    }
    draining_ = true;
    avcodec_send_packet(decoder_.get(), nullptr);
  }

  void finish() {
    finished_ = true;
    while (!held_.empty()) emitHeld();
    settle(std::numeric_limits<std::int64_t>::max());
  }

  // A picture from the decoder. Pictures wait in held_, a few at a time,
  // and leave it in time order: after damage a decoder can give them out of
  // order.
  void takePicture() {
    const AVFrame* p = picture_.get();
    // The packet's own time, carried through the decoder's reordering.
    // best_effort_timestamp serves where there is none; it is no better
    // otherwise, and after damage it may switch to decoding times.
    const std::int64_t timestamp = p->pts != AV_NOPTS_VALUE ? p->pts : p->best_effort_timestamp;
    Held h{timestamp, FramePtr(av_frame_alloc())};
    if (!h.picture) fail("out of memory");
    av_frame_move_ref(h.picture.get(), picture_.get());
    const auto later = timestamp == AV_NOPTS_VALUE
                           ? held_.end()
                           : std::upper_bound(held_.begin(), held_.end(), timestamp, [](std::int64_t t, const Held& e) {
                               return e.timestamp != AV_NOPTS_VALUE && t < e.timestamp;
                             });
    held_.insert(later, std::move(h));
    if (held_.size() > holdLimit_) emitHeld();
  }

  void emitHeld() {
    Held h = std::move(held_.front());
    held_.pop_front();
    emit(h.timestamp, std::move(h.picture));
  }

  void emit(std::int64_t timestamp, FramePtr picture) {
    const AVFrame* p = picture.get();
    const double time = timestamp != AV_NOPTS_VALUE ? seconds(timestamp) : lastTime_ + nominalStep();
    if (timestamp != AV_NOPTS_VALUE && lastEmitted_ != kNoTime && timestamp <= lastEmitted_ &&
        std::find(givenUp_.begin(), givenUp_.end(), timestamp) != givenUp_.end()) {
      return;  // too late: its place already holds an error frame
    }
    const std::optional<double> target = exactTarget_;
    if (target && !beforeTarget(time)) return;
    if (target) {  // the frame sought: what failed before it is not wanted
      while (!sent_.empty() && seconds(sent_.front().timestamp) < *target) sent_.pop_front();
    }
    lastTime_ = time;
    if (timestamp != AV_NOPTS_VALUE) lastEmitted_ = std::max(lastEmitted_, timestamp);
    Decoded d;
    d.timestamp = timestamp;
    d.frame.time = time;
    d.frame.width = p->width;
    d.frame.height = p->height;
    if (firstWidth_ == 0) {
      firstWidth_ = p->width;
      firstHeight_ = p->height;
    }
    const auto own = std::find_if(sent_.begin(), sent_.end(), [&](const Sent& e) { return e.timestamp == timestamp; });
    const std::string damage = own != sent_.end() && timestamp != AV_NOPTS_VALUE ? own->damage : loggedError();
    if (p->width != firstWidth_ || p->height != firstHeight_) {
      d.frame.error = "frame size changed from " + size(firstWidth_, firstHeight_) + " to " + size(p->width, p->height);
    } else if ((p->flags & AV_FRAME_FLAG_CORRUPT) || p->decode_error_flags != 0 || (own != sent_.end() && !damage.empty())) {
      d.frame.error = "the decoder found the picture damaged" + (damage.empty() ? "" : " (" + damage + ")");
    } else {
      faultsInARow_ = 0;
      givePixels(std::move(picture), d.frame);
    }
    if (!d.frame.error.empty()) {
      ++faultsInARow_;
      damageWindow_ = kDamageWindow;
    }
    if (timestamp != AV_NOPTS_VALUE) {
      settle(timestamp);
      const auto mine = std::find_if(sent_.begin(), sent_.end(), [&](const Sent& e) { return e.timestamp == timestamp; });
      if (mine != sent_.end()) sent_.erase(mine);
    }
    place(std::move(d));
    if (faultsInARow_ > kMaxFaultsInARow) giveUp();
  }

  // After seekExact: whether a picture at `time` is the one sought (or
  // after it); the ones before are dropped. A picture beyond the time as the
  // first one decoded means the seek landed past the time sought, so it is
  // done again from further back.
  bool beforeTarget(double time) {
    const double target = *exactTarget_;
    if (firstAfterSeek_) {
      firstAfterSeek_ = false;
      if (time > target && seekRetries_ < 4) {
        ++seekRetries_;
        seekTo(timestampAt(target) - (std::int64_t{1} << seekRetries_) * timeBase_.den / timeBase_.num,
               seekRetries_ == 4);
        return false;
      }
    }
    if (time < target) return false;
    exactTarget_.reset();
    return true;
  }

  // The grey pixels of a good picture: its luma plane itself (the frame
  // then owns the picture), or a conversion.
  void givePixels(FramePtr picture, Frame& frame) {
    const AVFrame* p = picture.get();
    const auto format = static_cast<AVPixelFormat>(p->format);
    if (lumaIsGrey(format)) {
      frame.pixels = p->data[0];
      frame.stride = p->linesize[0];
      frame.owner = std::shared_ptr<const AVFrame>(picture.release(), FreeFrame());
      return;
    }
    // RGB is made full-range grey; YUV of other depths keeps its range.
    const int range = isRgb(format) || p->color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    scaler_.reset(sws_getCachedContext(scaler_.release(), p->width, p->height, format, p->width, p->height,
                                       AV_PIX_FMT_GRAY8, SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
    if (!scaler_) {
      frame.error = std::string("no conversion to grey from ") + av_get_pix_fmt_name(format);
      return;
    }
    const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(scaler_.get(), bt601, range, bt601, range, 0, 1 << 16, 1 << 16);
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(p->width) * p->height);
    std::uint8_t* planes[1] = {grey.data()};
    const int strides[1] = {p->width};
    sws_scale(scaler_.get(), p->data, p->linesize, 0, p->height, planes, strides);
    const std::int64_t index = frame.index;
    const double time = frame.time;
    frame = frameFromPixels(std::move(grey), p->width, p->height, index, time);
  }

  double nominalStep() const { return info_.frameRate > 0 ? 1 / info_.frameRate : 0; }

  // A packet that failed to decode (or, with no packet to blame, the last
  // one sent).
  void fault(std::int64_t timestamp, const std::string& message) {
    damageWindow_ = kDamageWindow;
    if (++faultsInARow_ > kMaxFaultsInARow) return giveUp();
    lost(timestamp, message);
  }

  // A frame lost at `timestamp`: it waits among the packets sent for its
  // place in presentation order (or, without a time, comes out now).
  void lost(std::int64_t timestamp, const std::string& message) {
    if (timestamp == AV_NOPTS_VALUE) {
      if (!exactTarget_) place(errorFrame(timestamp, lastTime_, message));
      return;
    }
    auto same = std::find_if(sent_.begin(), sent_.end(),
                             [&](const Sent& e) { return e.timestamp == timestamp && e.error.empty(); });
    if (same != sent_.end()) {
      same->error = message;
      return;
    }
    const auto later = std::upper_bound(sent_.begin(), sent_.end(), timestamp,
                                        [](std::int64_t t, const Sent& e) { return t < e.timestamp; });
    sent_.insert(later, Sent{timestamp, message, ""});
  }

  Decoded errorFrame(std::int64_t timestamp, double time, const std::string& message) const {
    Decoded d;
    d.timestamp = timestamp;
    d.frame.time = time;
    d.frame.error = message;
    return d;
  }

  void giveUp() {
    endError_ = origin_.name + ": " + std::to_string(kMaxFaultsInARow) + " faults in a row after frame " +
                std::to_string(nextIndex_) + "; giving up (" + loggedError() + ")";
    finish();
  }

  // The decoder gives pictures in presentation order, so once it gives one
  // at `timestamp`, the packets sent before with earlier times will give
  // none. Those that failed become error frames in their places; so do the
  // others near damage, where the decoder drops pictures it cannot make.
  // Elsewhere a packet without a picture of its own is no loss (one holding
  // a single field, or a packed pair of frames).
  void settle(std::int64_t timestamp) {
    while (!sent_.empty() && sent_.front().timestamp < timestamp) {
      Sent e = std::move(sent_.front());
      sent_.pop_front();
      noPicture(std::move(e));
    }
  }

  void noPicture(Sent e) {
    if (e.error.empty() && (damageWindow_ == 0 || e.skippable)) return;
    if (e.error.empty()) e.error = "no picture decoded for it, near damaged data";
    if (exactTarget_) return;
    givenUp_.push_back(e.timestamp);
    if (givenUp_.size() > kDamageWindow) givenUp_.pop_front();
    place(errorFrame(e.timestamp, seconds(e.timestamp), e.error));
  }

  // Numbers a frame and queues it. The first frame after seekExact is
  // numbered by the packets before it, the others by counting on.
  void place(Decoded d) {
    // While pictures may be skipped, every frame is numbered so.
    if ((numberByPackets_ || skipBefore_ != kNoTime) && d.timestamp != AV_NOPTS_VALUE) {
      nextIndex_ = packetsBefore(d.timestamp);
      numberByPackets_ = false;
    }
    d.frame.index = nextIndex_ < 0 ? -1 : nextIndex_++;
    ready_.push_back(std::move(d));
  }

  // Seeks the container to the key frame at or before `timestamp` (to the
  // first one when `fromStart`) and forgets the decoder's state. Where there
  // is no key frame before, the first one after will do.
  void seekTo(std::int64_t timestamp, bool fromStart) {
    AVFormatContext* format = container_.get();
    if (fromStart) timestamp = start_;
    int rc = av_seek_frame(format, index_, timestamp, AVSEEK_FLAG_BACKWARD);
    if (rc < 0) rc = av_seek_frame(format, index_, timestamp, 0);
    if (rc < 0) {
      rc = avformat_seek_file(format, index_, std::numeric_limits<std::int64_t>::min(), timestamp,
                              std::numeric_limits<std::int64_t>::max(), 0);
    }
    check(rc, "cannot seek");
    avcodec_flush_buffers(decoder_.get());
    ready_.clear();
    held_.clear();
    sent_.clear();
    givenUp_.clear();
    skipBefore_ = kNoTime;
    lastEmitted_ = kNoTime;
    damageWindow_ = 0;
    draining_ = finished_ = truncatedPacket_ = false;
    endError_.clear();
    faultsInARow_ = 0;
    lastPacketOrder_ = kNoTime;
    firstAfterSeek_ = true;
  }

  // Both seeks start at the key frame at or before the time: demuxers seek
  // by presentation time, and a landing past the time is caught by
  // beforeTarget().
  void seekNear(double time) {
    if (!info_.seekable) fail("cannot seek in this input (not a file)");
    if (!std::isfinite(time)) fail("cannot seek to time " + std::to_string(time));
    if (!primed_) prime();
    exactTarget_.reset();
    keyTarget_.reset();
    numberByPackets_ = false;
    seekRetries_ = 0;
    seekTo(timestampAt(time), false);
    nextIndex_ = -1;  // until a frame is numbered by its packets
  }

  // Decoders learn from a stream's first packet what no later packet
  // repeats: x264's version, say, which selects FFmpeg's workarounds for
  // that encoder's old bugs (without them, 4:4:4 files made by it decode
  // with damage after a seek). So before the first seek, the decoder is
  // given that packet.
  void prime() {
    primed_ = true;
    AVPacket* p = packet_.get();
    for (int packets = 0; packets < kMaxFaultsInARow; ++packets) {
      if (av_read_frame(container_.get(), p) < 0) return;
      const bool ours = p->stream_index == index_;
      if (ours) avcodec_send_packet(decoder_.get(), p);
      av_packet_unref(p);
      if (ours) return;
    }
  }

  // seekKey: the last key frame at or before the time (the first after it
  // when there is none), found by reading packets on from where the demuxer
  // landed, whose index may be sparse (Matroska's lists clusters), up to the
  // first packet decoded after the time. That frame alone is decoded (the
  // decoder drained after it), and the source then goes on from just after
  // it as after seekExact.
  void decodeKeyframe() {
    const double target = *keyTarget_;
    keyTarget_.reset();
    const std::int64_t targetTimestamp = timestampAt(target);
    AVPacket* p = packet_.get();
    PacketPtr key(av_packet_alloc());
    if (!key) fail("out of memory");
    bool found = false;
    for (int packets = 0; packets < kMaxPacketsToKeyframe; ++packets) {
      startLogCapture();
      if (av_read_frame(container_.get(), p) < 0) break;
      const bool ours = p->stream_index == index_;
      const std::int64_t order = p->dts != AV_NOPTS_VALUE ? p->dts : p->pts;
      if (ours && (p->flags & AV_PKT_FLAG_KEY) && (!found || (p->pts != AV_NOPTS_VALUE && p->pts <= targetTimestamp))) {
        av_packet_unref(key.get());
        found = av_packet_ref(key.get(), p) == 0;
      }
      av_packet_unref(p);
      if (found && ours && (order == AV_NOPTS_VALUE || order > targetTimestamp)) break;
    }
    if (!found) return endOfInput(AVERROR_EOF);
    av_packet_move_ref(p, key.get());
    sendPacket();
    av_packet_unref(p);
    avcodec_send_packet(decoder_.get(), nullptr);
    const std::size_t before = ready_.size();
    while (ready_.size() == before) {
      const int rc = avcodec_receive_frame(decoder_.get(), picture_.get());
      if (rc != 0) break;
      takePicture();
      while (!held_.empty()) emitHeld();
    }
    settle(std::numeric_limits<std::int64_t>::max());
    nextIndex_ = -1;
    for (Decoded& d : ready_) d.frame.index = -1;
    // Then on as after seekExact to just past the key frame.
    const double after = ready_.empty() ? target : std::nextafter(ready_.back().frame.time, HUGE_VAL);
    std::deque<Decoded> keyFrame = std::move(ready_);
    seekTo(timestampAt(after), false);
    exactTarget_ = after;
    numberByPackets_ = true;
    ready_ = std::move(keyFrame);
  }

  // The presentation times of the key frames in the container's index.
  // Some containers (MP4) index decoding times, which run ahead of the
  // presentation times when frames are reordered; then each key frame's
  // first packet is read, sought by presentation time as demuxers seek,
  // just after its decoding time plus the reorder delay.
  void readKeyframes() const {
    keyframesRead_ = true;
    std::vector<std::int64_t> indexed;
    const int n = avformat_index_get_entries_count(stream_);
    for (int i = 0; i < n; ++i) {
      const AVIndexEntry* e = avformat_index_get_entry(stream_, i);
      if (e != nullptr && (e->flags & AVINDEX_KEYFRAME)) indexed.push_back(e->timestamp);
    }
    if (indexed.empty() || !info_.seekable) return;
    const int delay = stream_->codecpar->video_delay;
    if (delay == 0) {
      for (std::int64_t t : indexed) keyframes_.push_back(seconds(t));
      return;
    }
    const double ticks = std::ceil(delay * nominalStep() * timeBase_.den / timeBase_.num);
    const std::int64_t reorder = ticks >= 0 && ticks < 1e15 ? static_cast<std::int64_t>(ticks) : 0;
    Container look(origin_);
    look.keepOnly(index_);
    PacketPtr packet(av_packet_alloc());
    if (!packet) return;
    for (std::int64_t t : indexed) {
      if (t > std::numeric_limits<std::int64_t>::max() - reorder ||
          av_seek_frame(look.get(), index_, t + reorder, AVSEEK_FLAG_BACKWARD) < 0) {
        continue;
      }
      while (av_read_frame(look.get(), packet.get()) >= 0) {
        const bool ours = packet->stream_index == index_, key = packet->flags & AV_PKT_FLAG_KEY;
        const std::int64_t pts = packet->pts;
        av_packet_unref(packet.get());
        if (!ours) continue;
        if (key && pts != AV_NOPTS_VALUE) keyframes_.push_back(seconds(pts));
        break;
      }
    }
    std::sort(keyframes_.begin(), keyframes_.end());
    keyframes_.erase(std::unique(keyframes_.begin(), keyframes_.end()), keyframes_.end());
  }

  // How many frames come before `timestamp` in presentation order: the
  // stream's packets with earlier presentation times, read (not decoded)
  // from the start by a second demuxer, as far as needed and only once.
  std::int64_t packetsBefore(std::int64_t timestamp) {
    if (!counter_) {
      counter_ = std::make_unique<Container>(origin_);
      counter_->keepOnly(index_);
    }
    PacketPtr packet(av_packet_alloc());
    if (!packet) fail("out of memory");
    // Decoding times never exceed presentation times: once they pass the
    // timestamp, no later packet comes before it.
    while (!countedAll_ && countedUpTo_ < timestamp) {
      if (av_read_frame(counter_->get(), packet.get()) < 0) {
        countedAll_ = true;
        break;
      }
      const AVPacket* p = packet.get();
      if (p->stream_index == index_ && !(p->flags & AV_PKT_FLAG_DISCARD)) {
        const std::int64_t pts = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
        const std::int64_t dts = p->dts != AV_NOPTS_VALUE ? p->dts : p->pts;
        // Kept sorted: packets come nearly in presentation order.
        if (pts != AV_NOPTS_VALUE) counted_.insert(std::upper_bound(counted_.begin(), counted_.end(), pts), pts);
        if (dts != AV_NOPTS_VALUE) countedUpTo_ = std::max(countedUpTo_, dts);
      }
      av_packet_unref(packet.get());
    }
    return std::lower_bound(counted_.begin(), counted_.end(), timestamp) - counted_.begin();
  }

  Origin origin_;
  Container container_;
  int index_ = -1;
  AVStream* stream_ = nullptr;
  AVRational timeBase_{1, 1};
  std::int64_t start_ = 0;
  CodecPtr decoder_;
  PacketPtr packet_;
  FramePtr picture_;
  ScalerPtr scaler_;
  SourceInfo info_;

  std::deque<Decoded> ready_;  // numbered, in presentation order
  std::deque<Held> held_;      // decoded, by time, at most holdLimit_
  std::size_t holdLimit_ = 0;
  std::deque<Sent> sent_;
  std::deque<std::int64_t> givenUp_;  // the times of the latest packets given as error frames
  std::int64_t lastEmitted_ = kNoTime;
  int damageWindow_ = 0;       // packets still to send before damage is out of reach
  std::int64_t nextIndex_ = 0;
  double lastTime_ = 0;
  std::int64_t lastPacketTime_ = kNoTime;   // presentation time of the last packet sent
  std::int64_t lastPacketOrder_ = kNoTime;  // its decoding time
  double framesEnd_ = -std::numeric_limits<double>::infinity();  // where the frames sent so far end
  double statedEndSlack_ = -1;  // how far short of the stated duration they may end; -1: no stated end
  int firstWidth_ = 0;
  int firstHeight_ = 0;
  int faultsInARow_ = 0;
  bool draining_ = false;
  bool finished_ = false;
  bool truncatedPacket_ = false;
  std::string endError_;

  // Seeking.
  std::optional<double> exactTarget_;  // frames before it are dropped
  std::optional<double> keyTarget_;    // seekKey's time, until its key frame is decoded
  bool numberByPackets_ = false;
  bool primed_ = false;  // the decoder has had the stream's first packet
  bool firstAfterSeek_ = false;
  int seekRetries_ = 0;
  std::int64_t skipBefore_ = kNoTime;  // pictures before it may be left undecoded
  bool canSkip_ = false;               // the codec marks the pictures no other needs
  mutable bool keyframesRead_ = false;
  mutable std::vector<double> keyframes_;
  std::unique_ptr<Container> counter_;
  std::vector<std::int64_t> counted_;
  std::int64_t countedUpTo_ = std::numeric_limits<std::int64_t>::min();
  bool countedAll_ = false;
};

}  // namespace

std::unique_ptr<FrameSource> openVideo(const std::string& path, const VideoOptions& options) {
  Origin origin;
  origin.name = path;
  return std::make_unique<VideoSource>(std::move(origin), options);
}

std::unique_ptr<FrameSource> openVideoBytes(const std::uint8_t* data, std::size_t size, const std::string& name,
                                            const VideoOptions& options) {
  Origin origin;
  origin.name = name;
  origin.data = data;
  origin.size = size;
  origin.inMemory = true;
  return std::make_unique<VideoSource>(std::move(origin), options);
}

}  // namespace tressel::video
