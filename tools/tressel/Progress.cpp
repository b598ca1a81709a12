#include "Progress.h"

#include <unistd.h>

namespace tressel_tool {

void Progress::update(std::size_t done) {
  done_ = done;
  if (enabled_) draw();
}

void Progress::print(std::FILE* stream, const std::string& text) {
  // Only text for the bar's terminal needs the bar out of the way.
  const bool sameTerminal = stream == stderr || isatty(fileno(stream));
  if (sameTerminal) clear();
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
  if (sameTerminal && enabled_ && done_ < total_) draw();
}

void Progress::finish() {
  clear();
  enabled_ = false;
}

void Progress::clear() {
  if (!shown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  shown_ = false;
}

void Progress::draw() {
  constexpr std::size_t width = 30;
  const std::size_t filled = total_ ? done_ * width / total_ : width;
  std::string bar = "\r[" + std::string(filled, '#') + std::string(width - filled, '.') + "] " +
                    std::to_string(done_) + "/" + std::to_string(total_) + " files";
  std::fputs(bar.c_str(), stderr);
  std::fflush(stderr);
  shown_ = true;
}

}  // namespace tressel_tool
