// A progress bar on stderr for long batches, drawn only when stderr is a
// terminal and there is more than one file. Everything else the tool prints
// goes through `print` so that the bar never gets mixed into it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace tressel_tool {

class Progress {
 public:
  Progress(std::size_t total, bool enabled) : total_(total), enabled_(enabled && total > 1) {}
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
  bool shown_ = false;
};

}  // namespace tressel_tool
