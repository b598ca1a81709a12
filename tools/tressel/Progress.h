// A progress bar on stderr for long batches, drawn only when stderr is a
// terminal and there is more than one item. Everything else the tool prints
// goes through `print` so that the bar never gets mixed into it. With a
// rate, it also shows items per second and the time left; a total of 0 is
// unknown (a stream), and then only the count and the rate are shown.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

namespace tressel_tool {

class Progress {
 public:
  Progress(std::size_t total, bool enabled, const char* unit = "files", bool rate = false)
      : total_(total), enabled_(enabled && total != 1), unit_(unit), rate_(rate),
        start_(std::chrono::steady_clock::now()) {}
  ~Progress() { finish(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void update(std::size_t done);
  // Writes text to a stream (stdout or stderr) with the bar out of the way.
  void print(std::FILE* stream, const std::string& text);
  void finish();  // removes the bar

 private:
  void clear();
  void draw();

  std::size_t total_;
  std::size_t done_ = 0;
  bool enabled_;
  const char* unit_;
  bool rate_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point drawn_{};
  bool shown_ = false;
};

}  // namespace tressel_tool
