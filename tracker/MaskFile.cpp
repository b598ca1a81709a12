#include "tracker/MaskFile.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <limits>

namespace tressel::tracker {
namespace {

constexpr char kMagic[8] = {'T', 'R', 'S', 'L', 'M', 'A', 'S', 'K'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint32_t kLargestRecord = 1u << 28;  // bytes; anything longer is damage

std::uint32_t crc32(const std::string& bytes) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : bytes) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void putU(std::string& out, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
}
void putF64(std::string& out, double v) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  putU(out, bits, 8);
}
void putString(std::string& out, const std::string& s, int lengthBytes = 4) {
  putU(out, s.size(), lengthBytes);
  out += s;
}
void putVarint(std::string& out, std::uint64_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<char>((v & 0x7F) | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<char>(v));
}

// Reads the fields of one header or record body; false when it runs out.
struct Cursor {
  const std::string& bytes;
  std::size_t at = 0;

  bool u(std::uint64_t& v, int n) {
    if (bytes.size() - at < static_cast<std::size_t>(n)) return false;
    v = 0;
    for (int i = 0; i < n; ++i) v |= std::uint64_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
    at += static_cast<std::size_t>(n);
    return true;
  }
  bool f64(double& v) {
    std::uint64_t bits = 0;
    if (!u(bits, 8)) return false;
    std::memcpy(&v, &bits, sizeof v);
    return true;
  }
  bool string(std::string& s, int lengthBytes = 4) {
    std::uint64_t n = 0;
    if (!u(n, lengthBytes) || n > bytes.size() - at) return false;
    s.assign(bytes, at, n);
    at += n;
    return true;
  }
  bool varint(std::uint64_t& v) {
    v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (at >= bytes.size()) return false;
      const auto b = static_cast<unsigned char>(bytes[at++]);
      v |= std::uint64_t{b & 0x7Fu} << shift;
      if (!(b & 0x80)) return true;
    }
    return false;
  }
  bool done() const { return at == bytes.size(); }
};

std::string errnoText() { return std::strerror(errno); }

}  // namespace

MaskWriter::MaskWriter(std::string path, const MaskHeader& header) : path_(std::move(path)) {
  arenas_ = header.arenas.size();
  std::string body;
  putU(body, static_cast<std::uint32_t>(header.width), 4);
  putU(body, static_cast<std::uint32_t>(header.height), 4);
  putF64(body, header.frameRate);
  putU(body, header.arenas.size(), 4);
  for (const MaskArena& a : header.arenas) {
    putString(body, a.name);
    putString(body, a.shapeJson);
    putString(body, a.source);
    putU(body, static_cast<std::uint64_t>(a.minArea), 8);
    putU(body, static_cast<std::uint64_t>(a.maxArea), 8);
  }
  putU(body, header.options.size(), 4);
  for (const auto& [name, value] : header.options) {
    putString(body, name);
    putString(body, value);
  }
  putString(body, header.settingsJson);

  std::string start(kMagic, sizeof kMagic);
  putU(start, kVersion, 4);
  putU(start, body.size(), 4);
  start += body;
  putU(start, crc32(body), 4);

  const std::string partial = path_ + ".partial";
  file_ = std::fopen(partial.c_str(), "wb");
  if (file_ == nullptr) throw MaskFileError(partial + ": cannot create the file: " + errnoText());
  if (std::fwrite(start.data(), 1, start.size(), file_) != start.size()) {
    throw MaskFileError(partial + ": cannot write: " + errnoText());
  }
  bytes_ = start.size();
}

MaskWriter::~MaskWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

void MaskWriter::record(const std::string& body) {
  std::string out;
  putU(out, body.size(), 4);
  out += body;
  putU(out, crc32(body), 4);
  if (file_ == nullptr || std::fwrite(out.data(), 1, out.size(), file_) != out.size()) {
    throw MaskFileError(path_ + ".partial: cannot write: " + errnoText());
  }
  bytes_ += out.size();
}

void MaskWriter::write(const std::vector<tracking::FrameRecord>& records) {
  if (records.size() != arenas_) {
    throw MaskFileError(path_ + ": frame " + (records.empty() ? std::string("?") : std::to_string(records[0].frame)) +
                        " has " + std::to_string(records.size()) + " arenas, the file " + std::to_string(arenas_));
  }
  std::string& b = buffer_;
  b.assign(1, 'F');
  putU(b, static_cast<std::uint64_t>(records[0].frame), 8);
  putF64(b, records[0].time);
  for (const tracking::FrameRecord& r : records) {
    putU(b, static_cast<std::uint8_t>(r.status), 1);
    putString(b, r.error.substr(0, 0xFFFF), 2);
    putVarint(b, r.maskRuns.size());
    std::int64_t row = 0, end = 0;  // the previous run's row and the column after it
    for (const tracking::PixelRun& run : r.maskRuns) {
      const bool sameRow = run.row == row && &run != &r.maskRuns.front();
      putVarint(b, static_cast<std::uint64_t>(run.row - row));
      putVarint(b, static_cast<std::uint64_t>(sameRow ? run.first - end : run.first));
      putVarint(b, static_cast<std::uint64_t>(run.last - run.first));
      row = run.row;
      end = std::int64_t{run.last} + 1;
    }
  }
  record(b);
  ++frames_;
}

void MaskWriter::finish() {
  if (file_ == nullptr) return;
  std::string end(1, 'E');
  putU(end, static_cast<std::uint64_t>(frames_), 8);
  record(end);
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  const std::string partial = path_ + ".partial";
  if (!closed) throw MaskFileError(partial + ": cannot write: " + errnoText());
  if (std::rename(partial.c_str(), path_.c_str()) != 0) {
    throw MaskFileError(path_ + ": " + errnoText() + "; the masks are in " + partial);
  }
}

MaskReader::MaskReader(std::string path) : path_(std::move(path)) {
  file_ = std::fopen(path_.c_str(), "rb");
  if (file_ == nullptr) throw MaskFileError(path_ + ": " + errnoText());
  char start[16];
  const std::size_t got = std::fread(start, 1, sizeof start, file_);
  if (got < 8 || std::memcmp(start, kMagic, 8) != 0) fail("not a file of saved masks (tressel track --save-masks)");
  if (got < sizeof start) fail("cut short in its header");
  std::string fields(start + 8, 8);
  Cursor c{fields};
  std::uint64_t version = 0, size = 0;
  c.u(version, 4);
  c.u(size, 4);
  if (version != kVersion) fail("version " + std::to_string(version) + " of the format; this tressel reads version 1");
  if (size > kLargestRecord) fail("damaged header (its length)");
  body_.resize(size + 4);
  if (std::fread(&body_[0], 1, body_.size(), file_) != body_.size()) fail("cut short in its header");
  std::string crc = body_.substr(size);
  body_.resize(size);
  Cursor check{crc};
  std::uint64_t sum = 0;
  check.u(sum, 4);
  if (sum != crc32(body_)) fail("damaged header (checksum)");
  offset_ = 16 + body_.size() + 4;

  Cursor h{body_};
  std::uint64_t width = 0, height = 0, arenas = 0, options = 0;
  bool ok = h.u(width, 4) && h.u(height, 4) && h.f64(header_.frameRate) && h.u(arenas, 4);
  if (!ok || width == 0 || height == 0 || width > (1u << 16) || height > (1u << 16) || arenas == 0 ||
      arenas > 4096) {
    fail("damaged header");
  }
  header_.width = static_cast<int>(width);
  header_.height = static_cast<int>(height);
  for (std::uint64_t i = 0; ok && i < arenas; ++i) {
    MaskArena a;
    std::uint64_t minArea = 0, maxArea = 0;
    ok = h.string(a.name) && h.string(a.shapeJson) && h.string(a.source) && h.u(minArea, 8) && h.u(maxArea, 8);
    a.minArea = static_cast<std::int64_t>(minArea);
    a.maxArea = static_cast<std::int64_t>(maxArea);
    header_.arenas.push_back(std::move(a));
  }
  ok = ok && h.u(options, 4);
  for (std::uint64_t i = 0; ok && i < options; ++i) {
    std::pair<std::string, std::string> o;
    ok = h.string(o.first) && h.string(o.second);
    header_.options.push_back(std::move(o));
  }
  ok = ok && h.string(header_.settingsJson) && h.done();
  if (!ok) fail("damaged header");
}

MaskReader::~MaskReader() {
  if (file_ != nullptr) std::fclose(file_);
}

void MaskReader::fail(const std::string& what) const { throw MaskFileError(path_ + ": " + what); }

bool MaskReader::next(std::vector<tracking::FrameRecord>& records, std::vector<std::vector<tracking::PixelRun>>& runs) {
  if (ended_) return false;
  const std::string after = frames_ == 0 ? "before the first frame" : "after " + std::to_string(frames_) + " frames";
  unsigned char lengthBytes[4];
  const std::size_t got = std::fread(lengthBytes, 1, 4, file_);
  if (got == 0 && std::feof(file_)) fail("cut short " + after + ": the end record is missing");
  if (got < 4) fail("cut short " + after + " (at byte " + std::to_string(offset_) + ")");
  const std::uint32_t size = lengthBytes[0] | lengthBytes[1] << 8 | lengthBytes[2] << 16 |
                             static_cast<std::uint32_t>(lengthBytes[3]) << 24;
  if (size == 0 || size > kLargestRecord) fail("damaged record " + after + " (at byte " + std::to_string(offset_) + ")");
  body_.resize(std::size_t{size} + 4);
  if (std::fread(&body_[0], 1, body_.size(), file_) != body_.size()) {
    fail("cut short " + after + " (in the record at byte " + std::to_string(offset_) + ")");
  }
  const std::string crc = body_.substr(size);
  body_.resize(size);
  std::uint64_t sum = 0;
  Cursor check{crc};
  check.u(sum, 4);
  if (sum != crc32(body_)) fail("damaged record " + after + " (checksum, at byte " + std::to_string(offset_) + ")");
  const std::uint64_t at = offset_;
  offset_ += 4 + body_.size() + 4;

  Cursor c{body_};
  c.at = 1;
  auto damaged = [&](const std::string& why) {
    fail("damaged record " + after + " (" + why + ", at byte " + std::to_string(at) + ")");
  };
  if (body_[0] == 'E') {
    std::uint64_t count = 0;
    if (!c.u(count, 8) || !c.done()) damaged("its end record");
    if (count != static_cast<std::uint64_t>(frames_)) damaged("the end record counts " + std::to_string(count) + " frames");
    if (std::fgetc(file_) != EOF) damaged("bytes after the end record");
    ended_ = true;
    return false;
  }
  if (body_[0] != 'F') damaged("unknown kind");
  std::uint64_t index = 0;
  double time = 0;
  if (!c.u(index, 8) || !c.f64(time)) damaged("too short");
  const std::size_t arenas = header_.arenas.size();
  records.resize(arenas);
  runs.resize(arenas);
  for (std::size_t i = 0; i < arenas; ++i) {
    tracking::FrameRecord& r = records[i];
    r = tracking::FrameRecord();
    r.frame = static_cast<std::int64_t>(index);
    r.time = time;
    r.arena = static_cast<int>(i);
    std::uint64_t status = 0, count = 0;
    if (!c.u(status, 1) || status > static_cast<std::uint64_t>(tracking::FrameStatus::decodeError) ||
        !c.string(r.error, 2) || !c.varint(count)) {
      damaged("arena " + std::to_string(i));
    }
    r.status = static_cast<tracking::FrameStatus>(status);
    if (count > (body_.size() - c.at) / 3) damaged("more runs than bytes");
    const std::uint64_t width = static_cast<std::uint64_t>(header_.width);
    const std::uint64_t height = static_cast<std::uint64_t>(header_.height);
    std::vector<tracking::PixelRun>& out = runs[i];
    out.clear();
    out.reserve(count);
    std::uint64_t row = 0, end = 0;
    for (std::uint64_t k = 0; k < count; ++k) {
      std::uint64_t step = 0, start = 0, length = 0;
      if (!c.varint(step) || !c.varint(start) || !c.varint(length)) damaged("a run cut short");
      const bool sameRow = step == 0 && k > 0;
      row += step;
      const std::uint64_t first = sameRow ? end + start : start;
      if (step > height || row >= height || start > width || first > width || length >= width ||
          first + length >= width) {
        damaged("a run outside the " + std::to_string(header_.width) + "x" + std::to_string(header_.height) + " frame");
      }
      out.push_back({static_cast<std::int32_t>(row), static_cast<std::int32_t>(first),
                     static_cast<std::int32_t>(first + length)});
      end = first + length + 1;
    }
  }
  if (!c.done()) damaged("bytes left over");
  ++frames_;
  return true;
}

}  // namespace tressel::tracker
