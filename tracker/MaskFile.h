// Saved masks: each frame's segmented animal as its pixel runs, so that the
// analysis, orientation and measures can be run again with other settings
// without decoding and segmenting the recording again (`tressel track
// --save-masks`, `tressel retrack`).
//
//   MaskHeader header = maskHeader(session, options);   // what a re-run needs
//   MaskWriter writer("walk.masks", header);            // writes walk.masks.partial
//   writer.write(records);                              // each frame's records, one per arena
//   writer.finish();                                    // the end record, then renamed walk.masks
//
//   MaskReader reader("walk.masks");                    // throws MaskFileError
//   std::vector<FrameRecord> records;
//   std::vector<std::vector<PixelRun>> runs;            // per arena
//   while (reader.next(records, runs)) ...;             // throws at a damaged or cut record
//
// The file, all numbers little-endian:
//   "TRSLMASK", u32 version (1)
//   u32 n, then n bytes of header, then the header's CRC-32:
//     u32 width, u32 height, f64 frame rate,
//     u32 arenas, each: str name, str shape (JSON, as in an arenas file),
//       str source, i64 smallest area, i64 largest area (the area gate),
//     u32 options, each: str name, str value (the options the table was made
//       with: analysis parameters and behaviour measures, as given on a
//       command line),
//     str settings (the track's settings JSON: input, background, thresholds)
//   then records, each u32 n, n bytes, their CRC-32; the bytes begin with
//     'F': a frame: i64 index, f64 time, and for each arena: u8 status,
//       u16 n and n bytes of error text, varint runs, and for each run
//       varint row step (from the previous run's row; the first from 0),
//       varint start (on the same row: columns after the previous run's
//       end; else the column), varint length - 1;
//     'E': the end: i64 frames written. Nothing follows it.
// where str is u32 n and n bytes, varint an unsigned LEB128 number.
// A record cut short, a checksum that does not match, or a file without its
// end record is reported, and every complete record before it is still read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tracking/FrameRecord.h"

namespace tressel::tracker {

class MaskFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct MaskArena {
  std::string name;
  std::string shapeJson;  // {"rect":[x,y,w,h]}, {"polygon":[...]} or {"circle":[...]}
  std::string source;
  std::int64_t minArea = 0;
  std::int64_t maxArea = 0;
};

struct MaskHeader {
  int width = 0;
  int height = 0;
  double frameRate = 0;
  std::vector<MaskArena> arenas;
  std::vector<std::pair<std::string, std::string>> options;  // {"--freeze-below", "0.02"}, ...
  std::string settingsJson;
};

class MaskWriter {
 public:
  // Throws MaskFileError when the file cannot be created.
  MaskWriter(std::string path, const MaskHeader& header);
  ~MaskWriter();  // without finish(): the file stays as PATH.partial
  MaskWriter(const MaskWriter&) = delete;
  MaskWriter& operator=(const MaskWriter&) = delete;

  // One frame: its records, one per arena in order, with their maskRuns.
  void write(const std::vector<tracking::FrameRecord>& records);
  // The end record; the file is renamed into place. Throws on a write error.
  void finish();
  std::uint64_t bytes() const { return bytes_; }

 private:
  void record(const std::string& body);

  std::string path_;
  std::FILE* file_ = nullptr;
  std::size_t arenas_ = 0;
  std::int64_t frames_ = 0;
  std::uint64_t bytes_ = 0;
  std::string buffer_;
};

class MaskReader {
 public:
  // Reads the header; throws MaskFileError naming the file and the fault.
  explicit MaskReader(std::string path);
  ~MaskReader();
  MaskReader(const MaskReader&) = delete;
  MaskReader& operator=(const MaskReader&) = delete;

  const MaskHeader& header() const { return header_; }
  // The next frame's records (frame, time, arena, status, error) and runs,
  // one per arena; false after the end record. Throws MaskFileError at a
  // record that is cut short or damaged, or runs outside the frame.
  bool next(std::vector<tracking::FrameRecord>& records, std::vector<std::vector<tracking::PixelRun>>& runs);
  std::int64_t frames() const { return frames_; }  // frames read so far

 private:
  [[noreturn]] void fail(const std::string& what) const;

  std::string path_;
  std::FILE* file_ = nullptr;
  MaskHeader header_;
  std::int64_t frames_ = 0;
  std::uint64_t offset_ = 0;
  bool ended_ = false;
  std::string body_;
};

}  // namespace tressel::tracker
