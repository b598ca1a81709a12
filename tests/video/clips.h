// Short synthetic videos for the video tests, written with VideoWriter into
// the test's temporary folder: their pixels and times are the known truth.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "video/Frame.h"
#include "video/VideoReader.h"
#include "video/VideoWriter.h"

namespace video_tests {

using tressel::video::Frame;
using tressel::video::VideoWriter;

struct Clip {
  int width = 64;
  int height = 48;
  bool rgb = false;
  std::vector<std::vector<std::uint8_t>> frames;
  std::vector<double> times;
};

// Frames of a smooth ramp with a dark square moving across, plus, when
// `textured`, a fine pattern only a lossless codec keeps.
inline Clip makeClip(int count, double fps, bool textured = true) {
  Clip clip;
  for (int i = 0; i < count; ++i) {
    std::vector<std::uint8_t> f(static_cast<std::size_t>(clip.width) * clip.height);
    for (int y = 0; y < clip.height; ++y) {
      for (int x = 0; x < clip.width; ++x) {
        int v = 60 + std::abs((x * 2 + y + 3 * i) % 200 - 100);
        if (x >= 4 + 2 * i % 48 && x < 16 + 2 * i % 48 && y >= 10 && y < 22) v = 20;
        if (textured) v += static_cast<int>((static_cast<std::uint32_t>(x * 31 + y * 17 + i * 7) * 2654435761u) >> 28);
        f[static_cast<std::size_t>(y) * clip.width + x] = static_cast<std::uint8_t>(v);
      }
    }
    clip.frames.push_back(std::move(f));
    clip.times.push_back(i / fps);
  }
  return clip;
}

inline std::string tempPath(const std::string& name) { return testing::TempDir() + "tressel_video_" + name; }

inline void writeClip(const std::string& path, const Clip& clip, VideoWriter::Codec codec, int keyframeInterval = 0) {
  VideoWriter::Settings s;
  s.width = clip.width;
  s.height = clip.height;
  s.codec = codec;
  s.pixels = clip.rgb ? VideoWriter::Pixels::rgb24 : VideoWriter::Pixels::grey;
  s.keyframeInterval = keyframeInterval;
  s.frameRate = clip.times.size() > 1 ? (clip.times.size() - 1) / (clip.times.back() - clip.times.front()) : 30;
  VideoWriter writer(path, s);
  const int rowBytes = clip.width * (clip.rgb ? 3 : 1);
  for (std::size_t i = 0; i < clip.frames.size(); ++i) writer.write(clip.frames[i].data(), rowBytes, clip.times[i]);
  writer.finish();
}

// The frame's pixels, row after row.
inline std::vector<std::uint8_t> pixelsOf(const Frame& f) {
  std::vector<std::uint8_t> out;
  for (int y = 0; y < f.height; ++y) out.insert(out.end(), f.row(y), f.row(y) + f.width);
  return out;
}

// Every frame of a video, and the message it ended with ("" for a clean end).
struct Reading {
  std::vector<Frame> frames;
  std::string endError;
};

inline Reading readAll(tressel::video::FrameSource& source) {
  Reading r;
  Frame f;
  try {
    while (source.next(f)) r.frames.push_back(f);
  } catch (const tressel::video::SourceError& e) {
    r.endError = e.what();
  }
  return r;
}

inline Reading readAll(const std::string& path) { return readAll(*tressel::video::openVideo(path)); }

inline double meanDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(a[i] - b[i]);
  return a.empty() ? 0 : sum / a.size();
}

}  // namespace video_tests
