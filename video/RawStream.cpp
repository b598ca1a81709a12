#include "video/RawStream.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "image/Mask.h"

namespace tressel::video {

namespace {

// Reads up to `size` bytes, fewer only at the end of the stream; sets errno
// and returns -1 on a read error.
using ReadFully = std::function<long(std::uint8_t* out, std::size_t size)>;

class RawStream : public FrameSource {
 public:
  RawStream(ReadFully read, const std::string& name, int width, int height, double fps) : read_(std::move(read)) {
    const std::string fault = width <= 0 || height <= 0
                                  ? "frame size " + std::to_string(width) + "x" + std::to_string(height) + " given"
                                  : tressel_image::checkDimensions(static_cast<std::uint64_t>(width),
                                                                   static_cast<std::uint64_t>(height));
    if (!fault.empty()) throw SourceError(name + ": raw frames need a frame size: " + fault);
    if (!(fps > 0 && std::isfinite(fps))) throw SourceError(name + ": raw frames need a frame rate above 0");
    info_.name = name;
    info_.format = "raw grey";
    info_.codec = "raw";
    info_.pixelFormat = "gray";
    info_.width = width;
    info_.height = height;
    info_.frameRate = fps;
  }

  const SourceInfo& info() const override { return info_; }

  bool next(Frame& frame) override {
    if (ended_) return false;
    const std::size_t bytes = static_cast<std::size_t>(info_.width) * static_cast<std::size_t>(info_.height);
    std::vector<std::uint8_t> pixels(bytes);
    const long got = read_(pixels.data(), bytes);
    if (got < 0) {
      ended_ = true;
      throw SourceError(info_.name + ": read error after " + std::to_string(frames_) + " frames: " +
                        std::strerror(errno));
    }
    if (static_cast<std::size_t>(got) < bytes) {
      ended_ = true;
      if (got == 0) return false;
      throw SourceError(info_.name + ": the stream ends mid-frame, " + std::to_string(got) + " of the " +
                        std::to_string(bytes) + " bytes of frame " + std::to_string(frames_) + " (is " +
                        std::to_string(info_.width) + "x" + std::to_string(info_.height) + " the frame size?)");
    }
    frame = frameFromPixels(std::move(pixels), info_.width, info_.height, frames_, frames_ / info_.frameRate);
    ++frames_;
    return true;
  }

  void seekExact(double) override { notSeekable(); }
  void seekKey(double) override { notSeekable(); }
  std::vector<double> keyframeTimes() const override { return {}; }

 private:
  [[noreturn]] void notSeekable() const { throw SourceError(info_.name + ": a raw stream cannot seek"); }

  ReadFully read_;
  SourceInfo info_;
  std::int64_t frames_ = 0;
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<FrameSource> openRawStream(std::FILE* stream, const std::string& name, int width, int height,
                                           double fps) {
  auto read = [stream](std::uint8_t* out, std::size_t size) -> long {
    const std::size_t n = std::fread(out, 1, size, stream);
    return n < size && std::ferror(stream) ? -1 : static_cast<long>(n);
  };
  return std::make_unique<RawStream>(read, name, width, height, fps);
}

std::unique_ptr<FrameSource> openRawDescriptor(int descriptor, const std::string& name, int width, int height,
                                               double fps) {
  auto read = [descriptor](std::uint8_t* out, std::size_t size) -> long {
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::read(descriptor, out + done, size - done);
      if (n == 0) break;
      if (n < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      done += static_cast<std::size_t>(n);
    }
    return static_cast<long>(done);
  };
  return std::make_unique<RawStream>(read, name, width, height, fps);
}

}  // namespace tressel::video
