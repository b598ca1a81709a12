#include <cstdio>
#include <vector>

#include "Commands.h"

namespace tressel_tool {

int runBorder(const Options& options) {
  const std::string& file = options.files.front();
  Silhouette s = loadSilhouette(file, inputOptions(options));
  if (!s.ok()) {
    std::fputs(fileMessage(file, s.error).c_str(), stderr);
    return 1;
  }
  if (s.empty()) {
    std::fputs(fileMessage(file, options.points ? "warning: no points" : "warning: empty mask, no border").c_str(),
               stderr);
    return 0;
  }
  const int count = static_cast<int>(s.x.size());
  float none = 0;
  const int length = tressel_border(s.x.data(), s.y.data(), count, &none, &none, 0);
  if (length < 0) {
    std::fputs(fileMessage(file, std::string("cannot trace the border: ") + tressel_error_message(length)).c_str(),
               stderr);
    return 1;
  }
  std::vector<float> x(static_cast<std::size_t>(length)), y(x.size());
  if (length > 0 && tressel_border(s.x.data(), s.y.data(), count, x.data(), y.data(), length) != length) {
    std::fputs(fileMessage(file, "cannot trace the border").c_str(), stderr);
    return 1;
  }
  for (int i = 0; i < length; ++i) std::printf("%d %d\n", static_cast<int>(x[i]), static_cast<int>(y[i]));
  return 0;
}

}  // namespace tressel_tool
