// Points files in the host's format: one point per line, "x y", the scan-line
// span points of one silhouette (entry and exit of every run). Blank lines
// and lines starting with '#' are skipped; x and y may also be separated by
// a comma.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tressel_image {

// More points than this are not a silhouette's spans.
constexpr std::size_t kMaxPoints = std::size_t{1} << 22;

struct PointsResult {
  std::vector<float> x;
  std::vector<float> y;
  std::string error;
  bool ok() const { return error.empty(); }
};

PointsResult readPoints(const std::uint8_t* data, std::size_t size);
PointsResult readPointsFile(const std::string& path);

}  // namespace tressel_image
