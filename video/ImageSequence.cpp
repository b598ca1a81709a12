#include "video/ImageSequence.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include "image/readImage.h"

namespace tressel::video {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string lowerExtension(const std::string& path) {
  const std::size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return "";
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return extension;
}

std::string size(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

class ImageSequence : public FrameSource {
 public:
  ImageSequence(std::string name, std::vector<std::string> files, double fps) : files_(std::move(files)), fps_(fps) {
    if (files_.empty()) throw SourceError(name + ": no PNG or netpbm images");
    if (!(fps > 0 && std::isfinite(fps))) throw SourceError(name + ": an image sequence needs a frame rate above 0");
    first_ = tressel_image::readGreyFile(files_[0]);
    if (!first_.ok()) throw SourceError(files_[0] + ": " + first_.error);
    info_.name = std::move(name);
    info_.format = "image sequence";
    info_.codec = lowerExtension(files_[0]);
    info_.width = first_.image.width;
    info_.height = first_.image.height;
    info_.frameRate = fps;
    info_.duration = static_cast<double>(files_.size()) / fps;
    info_.frameCountHint = static_cast<std::int64_t>(files_.size());
    info_.seekable = true;
  }

  const SourceInfo& info() const override { return info_; }

  bool next(Frame& frame) override {
    if (position_ >= files_.size()) return false;
    const std::string& file = files_[position_];
    tressel_image::GreyResult read;
    if (position_ == 0 && first_.ok()) {
      read = std::move(first_);  // read once already, by the constructor
      first_ = {};
    } else {
      read = tressel_image::readGreyFile(file);
    }
    const auto index = static_cast<std::int64_t>(position_);
    const double time = timeOf(position_);
    ++position_;
    const tressel_image::GreyImage& image = read.image;
    if (read.ok() && (image.width != info_.width || image.height != info_.height)) {
      read.error = size(image.width, image.height) + ", not the size of the first image (" +
                   size(info_.width, info_.height) + ")";
    }
    if (!read.ok()) {
      frame = Frame();
      frame.index = index;
      frame.time = time;
      frame.error = file + ": " + read.error;
      return true;
    }
    frame = frameFromPixels(std::move(read.image.pixels), info_.width, info_.height, index, time);
    return true;
  }

  void seekExact(double time) override {
    std::size_t i = time > 0 ? static_cast<std::size_t>(std::min(std::ceil(time * fps_), 1e18)) : 0;
    i = std::min(i, files_.size());
    while (i > 0 && timeOf(i - 1) >= time) --i;
    while (i < files_.size() && timeOf(i) < time) ++i;
    position_ = i;
  }

  void seekKey(double time) override {
    seekExact(time);
    if (position_ == files_.size() || timeOf(position_) > time) position_ = position_ > 0 ? position_ - 1 : 0;
  }

  std::vector<double> keyframeTimes() const override {
    std::vector<double> times(files_.size());
    for (std::size_t i = 0; i < times.size(); ++i) times[i] = timeOf(i);
    return times;
  }

 private:
  double timeOf(std::size_t i) const { return static_cast<double>(i) / fps_; }

  std::vector<std::string> files_;
  double fps_;
  SourceInfo info_;
  tressel_image::GreyResult first_;
  std::size_t position_ = 0;
};

}  // namespace

bool naturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      const std::size_t startA = i, startB = j;
      while (i < a.size() && isDigit(a[i])) ++i;
      while (j < b.size() && isDigit(b[j])) ++j;
      std::size_t valueA = startA, valueB = startB;  // past the leading zeros
      while (valueA + 1 < i && a[valueA] == '0') ++valueA;
      while (valueB + 1 < j && b[valueB] == '0') ++valueB;
      const std::size_t lengthA = i - valueA, lengthB = j - valueB;
      if (lengthA != lengthB) return lengthA < lengthB;
      const int order = a.compare(valueA, lengthA, b, valueB, lengthB);
      if (order != 0) return order < 0;
      if (i - startA != j - startB) return i - startA > j - startB;  // "01" before "1"
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

bool hasImageExtension(const std::string& path) {
  const std::string e = lowerExtension(path);
  return e == "png" || e == "pbm" || e == "pgm" || e == "ppm" || e == "pnm";
}

std::unique_ptr<FrameSource> openImageFolder(const std::string& folder, double fps) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) throw SourceError(folder + ": cannot open the folder: " + std::strerror(errno));
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name[0] != '.' && hasImageExtension(name)) names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end(), naturalLess);
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  std::vector<std::string> files;
  for (const std::string& name : names) {
    struct stat s;
    if (stat((prefix + name).c_str(), &s) == 0 && S_ISDIR(s.st_mode)) continue;
    files.push_back(prefix + name);
  }
  return std::make_unique<ImageSequence>(folder, std::move(files), fps);
}

std::unique_ptr<FrameSource> openImageFiles(std::vector<std::string> files, double fps) {
  const std::string name = files.empty() ? "image list" : files.front() + (files.size() > 1 ? " ..." : "");
  return std::make_unique<ImageSequence>(name, std::move(files), fps);
}

}  // namespace tressel::video
