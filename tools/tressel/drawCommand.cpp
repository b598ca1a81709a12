#include <cstdio>
#include <exception>
#include <memory>

#include "Commands.h"
#include "Overlay.h"
#include "capi/parameters.h"
#include "support/inputPoints.h"

namespace tressel_tool {
namespace {

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
  if (options.frame >= 0) return runDrawFrame(options);
  const std::string& file = options.files.front();
  const Silhouette s = loadSilhouette(file, inputOptions(options));
  if (!s.ok()) return fail(file, s.error);
  if (s.empty()) {
    if (options.points) return fail(file, "no points to draw");
    std::fputs(fileMessage(file, "warning: empty mask").c_str(), stderr);
  }

  // The analyzer, as the C interface runs it, but keeping the working lists
  // that the picture shows (border, body contour, tail segment).
  lti::ioPoints spans;
  tressel::appendInputPoints(s.x.data(), s.y.data(), static_cast<int>(s.x.size()), spans);
  std::unique_ptr<tressel::CTailAnalyzer> analysis;
  try {
    analysis = std::make_unique<tressel::CTailAnalyzer>(spans, tressel::analysisParameters(options.params),
                                                        tressel::Retain::workingLists, tressel::Path::fast);
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
