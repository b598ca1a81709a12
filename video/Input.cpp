#include "video/Input.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "video/ImageSequence.h"
#include "video/RawStream.h"

namespace tressel::video {

std::unique_ptr<FrameSource> openInput(const std::vector<std::string>& inputs, const InputOptions& options) {
  if (inputs.empty()) throw SourceError("no input given");
  const std::string& first = inputs.front();
  if (inputs.size() == 1 && first == "-") {
    if (options.width <= 0 || options.height <= 0 || options.fps <= 0) {
      throw SourceError("-: raw grey frames on standard input need a frame size and a frame rate");
    }
    return openRawDescriptor(STDIN_FILENO, "-", options.width, options.height, options.fps);
  }
  if (inputs.size() == 1) {
    struct stat s;
    if (stat(first.c_str(), &s) == 0 && S_ISDIR(s.st_mode)) return openImageFolder(first, options.fps);
    if (!hasImageExtension(first)) return openVideo(first, options.video);
  }
  const auto notImage = std::find_if(inputs.begin(), inputs.end(), [](const std::string& p) { return !hasImageExtension(p); });
  if (notImage != inputs.end()) {
    throw SourceError(*notImage + ": with several inputs, each must be a PNG or netpbm image");
  }
  return openImageFiles(inputs, options.fps);
}

}  // namespace tressel::video
