#include <cstdio>
#include <exception>
#include <memory>

#include "Analyzer.h"
#include "Commands.h"
#include "Overlay.h"

namespace tressel_tool {
namespace {

tressel::AnalysisParameters analysisParameters(const tressel_params& p) {
  return {p.tail_width_percent,        p.tail_length_percent, p.tail_width_min_threshold,
          p.tail_length_max_threshold, p.limb_width_percent,  p.limb_length_percent,
          p.limb_width_min_threshold,  p.limb_length_max_threshold, p.loop_length_max_percent};
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int fail(const std::string& file, const std::string& message) {
  std::fputs(fileMessage(file, message).c_str(), stderr);
  return 1;
}

}  // namespace

int runDraw(const Options& options) {
  const std::string& file = options.files.front();
  const Silhouette s = loadSilhouette(file, inputOptions(options));
  if (!s.ok()) return fail(file, s.error);
  if (s.empty()) {
    if (options.points) return fail(file, "no points to draw");
    std::fputs(fileMessage(file, "warning: empty mask").c_str(), stderr);
  }

  // The analyzer itself rather than CTressel: the picture needs its working
  // lists (border, body contour, tail segment). Its results are the same.
  lti::ioPoints spans;
  for (std::size_t i = 0; i < s.x.size(); ++i) {
    spans.pushBack(lti::point(static_cast<int>(s.x[i]), static_cast<int>(s.y[i])));
  }
  std::unique_ptr<tressel::CTailAnalyzer> analysis;
  try {
    analysis = std::make_unique<tressel::CTailAnalyzer>(spans, analysisParameters(options.params),
                                                        tressel::Retain::workingLists);
  } catch (const std::exception& e) {
    return fail(file, analysisError(e));
  }

  OverlayScene scene;
  scene.mask = options.points ? nullptr : &s.mask;
  scene.x = &s.x;
  scene.y = &s.y;
  scene.analysis = analysis.get();
  scene.title = baseName(file);
  std::string error;
  const tressel_image::RgbImage picture = drawOverlay(scene, options.scale, error);
  if (!error.empty()) return fail(file, error);
  error = tressel_image::writePng(options.out, picture);
  if (!error.empty()) return fail(options.out, error);
  return 0;
}

}  // namespace tressel_tool
