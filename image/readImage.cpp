#include "image/readImage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "image/netpbm.h"
#include "image/png.h"

namespace tressel_image {

bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
  bytes.clear();
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  // Read in blocks rather than trusting a size from the file system: pipes
  // and devices have none, and files may grow while being read.
  std::uint8_t block[1 << 16];
  for (;;) {
    const std::size_t n = std::fread(block, 1, sizeof block, file.get());
    if (bytes.size() + n > kMaxFileBytes) {
      error = "file larger than 1 GiB";
      bytes.clear();
      return false;
    }
    bytes.insert(bytes.end(), block, block + n);
    if (n < sizeof block) break;
  }
  if (std::ferror(file.get())) {
    error = std::strerror(errno);
    bytes.clear();
    return false;
  }
  return true;
}

namespace {

std::string unknownFormat(std::size_t size) {
  return size == 0 ? "empty file" : "unknown format (PNG, PBM, PGM or PPM expected)";
}

}  // namespace

MaskResult readMask(const std::uint8_t* data, std::size_t size, int threshold) {
  if (looksLikePng(data, size)) return readPng(data, size, threshold);
  if (looksLikeNetpbm(data, size)) return readNetpbm(data, size, threshold);
  MaskResult r;
  r.error = unknownFormat(size);
  return r;
}

GreyResult readGrey(const std::uint8_t* data, std::size_t size) {
  if (looksLikePng(data, size)) return readPngGrey(data, size);
  if (looksLikeNetpbm(data, size)) return readNetpbmGrey(data, size);
  GreyResult r;
  r.error = unknownFormat(size);
  return r;
}

MaskResult readMaskFile(const std::string& path, int threshold) {
  std::vector<std::uint8_t> bytes;
  MaskResult r;
  if (!readFile(path, bytes, r.error)) return r;
  return readMask(bytes.data(), bytes.size(), threshold);
}

GreyResult readGreyFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  GreyResult r;
  if (!readFile(path, bytes, r.error)) return r;
  return readGrey(bytes.data(), bytes.size());
}

}  // namespace tressel_image
