#include "OverlayVideo.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "FrameOverlay.h"
#include "video/VideoWriter.h"

namespace tressel_tool {

OverlayOutput::OverlayOutput(const std::string& path, int every, const tressel::video::SourceInfo& source,
                             int threads)
    : path_(path), every_(every), width_(source.width), height_(source.height) {
  if (every_ > 0) {
    if (mkdir(path_.c_str(), 0755) != 0 && errno != EEXIST) {
      throw OverlayError(path_ + ": cannot make the folder for the pictures: " + std::strerror(errno));
    }
    struct stat s {};
    if (stat(path_.c_str(), &s) != 0 || !S_ISDIR(s.st_mode)) {
      throw OverlayError(path_ + ": not a folder (--overlay-every writes its pictures into one)");
    }
    return;
  }
  tressel::video::VideoWriter::Settings settings;
  settings.width = width_;
  settings.height = height_ + panelHeight(width_);
  settings.frameRate = source.frameRate > 0 ? source.frameRate : 30;
  settings.pixels = tressel::video::VideoWriter::Pixels::rgb24;
  settings.threads = threads;
  settings.h264Preset = "ultrafast";  // a picture to check by eye, made in the tracking's pass
  settings.formatFrom = path_;
  try {
    writer_ = std::make_unique<tressel::video::VideoWriter>(path_ + ".partial", settings);
  } catch (const tressel::video::WriteError& e) {
    throw OverlayError(e.what());
  }
}

OverlayOutput::~OverlayOutput() = default;

void OverlayOutput::add(const tressel::video::Frame& frame,
                        const std::vector<const tressel::behaviour::BehaviourRow*>& rows) {
  const std::int64_t index = rows.empty() ? frame.index : rows.front()->record.frame;
  const double time = rows.empty() ? frame.time : rows.front()->record.time;
  if (every_ > 0) {
    if (index % every_ != 0) return;
    char name[40];
    std::snprintf(name, sizeof name, "/frame-%06lld.png", static_cast<long long>(index));
    const std::string file = path_ + name, partial = file + ".partial";
    const std::string error = tressel_image::writePng(partial, drawTrackedFrame(frame, rows, width_, height_));
    if (!error.empty()) {
      std::remove(partial.c_str());
      throw OverlayError(partial + ": " + error);
    }
    if (std::rename(partial.c_str(), file.c_str()) != 0) throw OverlayError(file + ": " + std::strerror(errno));
    ++written_;
    return;
  }
  if (!writer_) return;
  if (!writer_->follows(time)) {
    ++skipped_;
    return;
  }
  const tressel_image::RgbImage picture = drawTrackedFrame(frame, rows, width_, height_);
  try {
    writer_->write(picture.pixels.data(), static_cast<std::ptrdiff_t>(picture.width) * 3, time);
  } catch (const tressel::video::WriteError& e) {
    throw OverlayError(e.what());
  }
  ++written_;
}

std::string OverlayOutput::finish(bool complete) {
  if (!writer_) return path_;
  const std::string partial = path_ + ".partial";
  try {
    writer_->finish();
  } catch (const tressel::video::WriteError& e) {
    writer_.reset();
    throw OverlayError(e.what());
  }
  writer_.reset();
  if (!complete) return partial;
  if (std::rename(partial.c_str(), path_.c_str()) != 0) {
    throw OverlayError(path_ + ": " + std::strerror(errno) + "; the overlay is in " + partial);
  }
  return path_;
}

}  // namespace tressel_tool
