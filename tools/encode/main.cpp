// tressel-encode: raw frames on standard input to a video file.
//
//   generator | tressel-encode --size 640x480 --fps 30 walk.mp4
//   generator | tressel-encode --size 64x48 --times times.txt --codec ffv1 --rgb walk.mkv
//
// Frames are width x height bytes of grey (or 3 bytes a pixel with --rgb),
// rows top-down, one after the other. Frame i is at i / fps seconds, or at
// the i-th time of --times (one time in seconds a line). Exit status 0 when
// every frame was written, 1 on a failure (the file then holds the frames
// before it), 2 for bad usage.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "video/VideoWriter.h"

namespace {

using tressel::video::VideoWriter;

const char* const kUsage =
    "usage: tressel-encode --size WxH (--fps F | --times FILE) [--codec h264|mpeg4|ffv1|mjpeg] [--rgb]\n"
    "                      [--keyint N] OUT\n"
    "Reads raw grey frames (RGB24 with --rgb) from standard input and writes them to the video OUT,\n"
    "whose extension (.mp4, .mkv, .avi, .mov) chooses the container. --fps gives frame i the time\n"
    "i / F; --times gives each frame its own time (seconds, one a line), the nominal rate then\n"
    "being --fps or the times' mean rate. --codec defaults to h264 where libx264 is present, else\n"
    "mpeg4. --keyint sets the frames from one key frame to the next.\n";

int usage(const std::string& message) {
  std::fprintf(stderr, "tressel-encode: %s\n%s", message.c_str(), kUsage);
  return 2;
}

bool parseSize(const std::string& text, int& width, int& height) {
  char x = 0;
  char end = 0;
  return std::sscanf(text.c_str(), "%d%c%d%c", &width, &x, &height, &end) == 3 && x == 'x' && width > 0 &&
         height > 0;
}

bool parseNumber(const std::string& text, double& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && errno == 0 && std::isfinite(value);
}

// One time a line; blank lines are skipped. "" or the fault.
std::string readTimes(const std::string& path, std::vector<double>& times) {
  std::ifstream in(path);
  if (!in) return path + ": cannot open: " + std::strerror(errno);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    double t = 0;
    const std::size_t first = line.find_first_not_of(" \t"), last = line.find_last_not_of(" \t\r");
    if (!parseNumber(line.substr(first, last - first + 1), t)) {
      return path + ":" + std::to_string(number) + ": not a time in seconds: " + line;
    }
    times.push_back(t);
  }
  if (times.empty()) return path + ": no times";
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  VideoWriter::Settings settings;
  std::string out, timesPath;
  double fps = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= argc) return false;
      v = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--rgb") {
      settings.pixels = VideoWriter::Pixels::rgb24;
    } else if (arg == "--size") {
      if (!value(v) || !parseSize(v, settings.width, settings.height)) return usage("--size takes WxH, as 640x480");
    } else if (arg == "--fps") {
      if (!value(v) || !parseNumber(v, fps) || fps <= 0) return usage("--fps takes a rate above 0");
    } else if (arg == "--times") {
      if (!value(timesPath)) return usage("--times takes a file");
    } else if (arg == "--codec") {
      if (!value(v) || !VideoWriter::parse(v, settings.codec)) return usage("--codec takes h264, mpeg4, ffv1 or mjpeg");
    } else if (arg == "--keyint") {
      double n = 0;
      if (!value(v) || !parseNumber(v, n) || n < 1 || n > 100000 || n != std::floor(n)) {
        return usage("--keyint takes a whole number of frames");
      }
      settings.keyframeInterval = static_cast<int>(n);
    } else if (!arg.empty() && arg[0] == '-') {
      return usage("unknown option " + arg);
    } else if (out.empty()) {
      out = arg;
    } else {
      return usage("one output file only");
    }
  }
  if (out.empty()) return usage("no output file");
  if (settings.width == 0) return usage("--size is needed");
  if (fps == 0 && timesPath.empty()) return usage("--fps or --times is needed");

  std::vector<double> times;
  if (!timesPath.empty()) {
    const std::string fault = readTimes(timesPath, times);
    if (!fault.empty()) {
      std::fprintf(stderr, "tressel-encode: %s\n", fault.c_str());
      return 1;
    }
  }
  settings.frameRate = fps > 0 ? fps
                       : times.size() > 1 && times.back() > times.front()
                           ? static_cast<double>(times.size() - 1) / (times.back() - times.front())
                           : 30;

  const std::size_t frameBytes = static_cast<std::size_t>(settings.width) * settings.height *
                                 (settings.pixels == VideoWriter::Pixels::rgb24 ? 3 : 1);
  std::vector<std::uint8_t> frame(frameBytes);
  std::string fault;
  std::size_t frames = 0;
  try {
    VideoWriter writer(out, settings);
    for (;; ++frames) {
      const std::size_t got = std::fread(frame.data(), 1, frameBytes, stdin);
      if (got < frameBytes) {
        if (std::ferror(stdin)) {
          fault = std::string("standard input: read error: ") + std::strerror(errno);
        } else if (got > 0) {
          fault = "standard input ends mid-frame: " + std::to_string(got) + " of the " + std::to_string(frameBytes) +
                  " bytes of frame " + std::to_string(frames);
        }
        break;
      }
      if (!times.empty() && frames >= times.size()) {
        fault = "more frames than the " + std::to_string(times.size()) + " times of " + timesPath;
        break;
      }
      const double time = times.empty() ? static_cast<double>(frames) / fps : times[frames];
      writer.write(frame.data(), static_cast<std::ptrdiff_t>(frameBytes / settings.height), time);
    }
    writer.finish();
  } catch (const tressel::video::WriteError& e) {
    fault = e.what();
  }
  if (fault.empty() && !times.empty() && frames < times.size()) {
    fault = "only " + std::to_string(frames) + " frames for the " + std::to_string(times.size()) + " times of " +
            timesPath;
  }
  if (!fault.empty()) {
    std::fprintf(stderr, "tressel-encode: %s\n", fault.c_str());
    return 1;
  }
  return 0;
}
