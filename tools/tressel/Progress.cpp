#include "Progress.h"

#include <unistd.h>

#include <algorithm>

namespace tressel_tool {

void Progress::update(std::size_t done) {
  done_ = done;
  if (!enabled_) return;
  // A rate's bar is redrawn at most ten times a second: items come fast.
  const auto now = std::chrono::steady_clock::now();
  if (rate_ && shown_ && now - drawn_ < std::chrono::milliseconds(100)) return;
  drawn_ = now;
  draw();
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
  std::string bar = "\r";
  if (total_ > 0) {
    const std::size_t filled = std::min(done_, total_) * width / total_;
    bar += "[" + std::string(filled, '#') + std::string(width - filled, '.') + "] " + std::to_string(done_) + "/" +
           std::to_string(total_) + " " + unit_;
  } else {
    bar += std::to_string(done_) + " " + unit_;
  }
  if (rate_) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double perSecond = seconds > 0 ? done_ / seconds : 0;
    char text[64];
    std::snprintf(text, sizeof text, ", %.0f %s/s", perSecond, unit_);
    bar += text;
    if (total_ > done_ && perSecond > 0) {
      const long left = static_cast<long>((total_ - done_) / perSecond + 0.5);
      std::snprintf(text, sizeof text, ", %ld:%02ld left", left / 60, left % 60);
      bar += text;
    }
  }
  std::fputs(bar.c_str(), stderr);
  std::fflush(stderr);
  shown_ = true;
}

}  // namespace tressel_tool
