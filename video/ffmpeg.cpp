#include "video/ffmpeg.h"

#include <cstring>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace tressel::video::ffmpeg {
namespace {

thread_local std::string lastError;

void keepErrors(void* context, int level, const char* format, va_list arguments) {
  if (level > AV_LOG_ERROR) return;
  char line[256];
  int printPrefix = 0;  // no "[mov,mp4 @ 0x...]" before the text
  if (av_log_format_line2(context, level, format, arguments, line, sizeof line, &printPrefix) < 0) return;
  std::size_t n = std::strlen(line);
  while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r' || line[n - 1] == ' ' || line[n - 1] == '.')) --n;
  if (n > 0) lastError.assign(line, n);
}

}  // namespace

void startLogCapture() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(keepErrors); });
  lastError.clear();
}

std::string loggedError() { return lastError; }

std::string describe(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  std::string message = text;
  if (!lastError.empty() && lastError != message) message += " (" + lastError + ")";
  return message;
}

}  // namespace tressel::video::ffmpeg
