#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "clips.h"

namespace video_tests {
namespace {

using tressel::video::openVideo;
using tressel::video::SourceError;
using Codec = VideoWriter::Codec;

std::vector<std::uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

struct Container {
  const char* file;
  Codec codec;
  double timeTolerance;  // Matroska keeps milliseconds
  bool indexesEveryKeyframe = true;  // Matroska's index lists clusters
};
void PrintTo(const Container& c, std::ostream* os) { *os << c.file; }

// Lossless: every pixel and every time comes back, through the luma plane.
class Lossless : public testing::TestWithParam<Container> {};

TEST_P(Lossless, KeepsEveryPixelAndTime) {
  const Clip clip = makeClip(20, 25);
  const std::string path = tempPath(GetParam().file);
  writeClip(path, clip, GetParam().codec);
  auto source = openVideo(path);
  EXPECT_EQ(source->info().codec, "ffv1");
  EXPECT_EQ(source->info().pixelFormat, "gray");
  EXPECT_EQ(source->info().width, clip.width);
  EXPECT_NEAR(source->info().frameRate, 25, 1e-6);
  const Reading r = readAll(*source);
  EXPECT_EQ(r.endError, "");
  ASSERT_EQ(r.frames.size(), clip.frames.size());
  for (std::size_t i = 0; i < r.frames.size(); ++i) {
    ASSERT_TRUE(r.frames[i].ok()) << r.frames[i].error;
    EXPECT_EQ(r.frames[i].index, static_cast<std::int64_t>(i));
    EXPECT_NEAR(r.frames[i].time, clip.times[i], GetParam().timeTolerance);
    EXPECT_EQ(pixelsOf(r.frames[i]), clip.frames[i]) << "frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Containers, Lossless,
                         testing::Values(Container{"lossless.mkv", Codec::ffv1, 5e-4},
                                         Container{"lossless.avi", Codec::ffv1, 1e-9}));

// Frames kept for long are copied out of the decoder's pictures: each copy
// has its own compact buffer, and outlives the source and every picture.
TEST(Lossless, CompactCopiesOwnTheirPixelsOnly) {
  const Clip clip = makeClip(6, 25);
  const std::string path = tempPath("compact.mkv");
  writeClip(path, clip, Codec::ffv1);
  std::vector<Frame> copies;
  {
    auto source = openVideo(path);
    Frame frame;
    while (source->next(frame)) {
      copies.push_back(tressel::video::compactCopy(frame));
      EXPECT_NE(copies.back().owner, frame.owner);
    }
  }
  ASSERT_EQ(copies.size(), clip.frames.size());
  for (std::size_t i = 0; i < copies.size(); ++i) {
    EXPECT_EQ(copies[i].stride, clip.width);
    EXPECT_EQ(copies[i].owner.use_count(), 1);
    EXPECT_EQ(pixelsOf(copies[i]), clip.frames[i]) << "frame " << i;
    EXPECT_NEAR(copies[i].time, clip.times[i], 5e-4);
  }
  // A frame with row padding (stride > width) loses the padding only.
  std::vector<std::uint8_t> padded(3 * 8, 0);
  for (int y = 0; y < 3; ++y) for (int x = 0; x < 5; ++x) padded[y * 8 + x] = static_cast<std::uint8_t>(10 * y + x);
  Frame strided = tressel::video::frameFromPixels(padded, 8, 3, 7, 0.25);
  strided.width = 5;
  const Frame copy = tressel::video::compactCopy(strided);
  EXPECT_EQ(copy.stride, 5);
  EXPECT_EQ(pixelsOf(copy), pixelsOf(strided));
  EXPECT_EQ(copy.index, 7);
}

// An RGB picture: FFV1 keeps it RGB, which the reader turns grey with
// libswscale; MJPEG stores BT.601 YUV, whose luma the reader takes as it is.
// Both must give the BT.601 luma of the colours.
TEST(Pixels, RgbByConversionAndYuvByItsLumaGiveTheSameGrey) {
  Clip clip;
  clip.rgb = true;
  const std::uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {200, 180, 40}};
  std::vector<std::uint8_t> expected;
  std::vector<std::uint8_t> rgb;
  for (int y = 0; y < clip.height; ++y) {
    for (int x = 0; x < clip.width; ++x) {
      const std::uint8_t* c = colours[(y / 24) * 2 + x / 32];  // four flat quarters
      rgb.insert(rgb.end(), c, c + 3);
      expected.push_back(static_cast<std::uint8_t>(std::lround(0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2])));
    }
  }
  clip.frames = {rgb, rgb};
  clip.times = {0, 0.04};
  struct Case {
    const char* file;
    Codec codec;
    const char* pixelFormat;
  };
  for (const Case& c : {Case{"rgb.mkv", Codec::ffv1, "bgr0"}, Case{"rgb.mov", Codec::mjpeg, "yuvj420p"}}) {
    writeClip(tempPath(c.file), clip, c.codec);
    auto source = openVideo(tempPath(c.file));
    EXPECT_EQ(source->info().pixelFormat, c.pixelFormat);
    Frame f;
    ASSERT_TRUE(source->next(f) && f.ok()) << c.file;
    const std::vector<std::uint8_t> grey = pixelsOf(f);
    for (int y : {4, 44}) {
      for (int x : {8, 56}) {  // away from the quarters' edges, where chroma blurs
        const std::size_t i = static_cast<std::size_t>(y) * clip.width + x;
        EXPECT_NEAR(grey[i], expected[i], 1) << c.file << " at " << x << "," << y;
      }
    }
  }
}

TEST(Times, VariableRateFilesKeepTheirTimes) {
  Clip clip = makeClip(8, 30, false);
  clip.times = {0, 0.02, 0.1, 0.13, 0.5, 0.51, 1.3, 2.0};
  for (const Container& c : {Container{"vfr.mp4", Codec::h264, 1e-6}, Container{"vfr.mkv", Codec::mpeg4, 5e-4},
                             Container{"vfr.mov", Codec::mjpeg, 1e-6}}) {
    writeClip(tempPath(c.file), clip, c.codec);
    const Reading r = readAll(tempPath(c.file));
    ASSERT_EQ(r.frames.size(), clip.times.size()) << c.file;
    for (std::size_t i = 0; i < clip.times.size(); ++i) EXPECT_NEAR(r.frames[i].time, clip.times[i], c.timeTolerance) << c.file;
  }
}

// Lossy codecs stay close to what was written.
TEST(Lossy, RoundTripsWithinASmallError) {
  const Clip clip = makeClip(12, 30, false);
  for (const Container& c : {Container{"lossy.mp4", Codec::h264, 0}, Container{"lossy.avi", Codec::mpeg4, 0},
                             Container{"lossy.mov", Codec::mjpeg, 0}}) {
    writeClip(tempPath(c.file), clip, c.codec);
    const Reading r = readAll(tempPath(c.file));
    ASSERT_EQ(r.frames.size(), clip.frames.size()) << c.file;
    for (std::size_t i = 0; i < clip.frames.size(); ++i) {
      EXPECT_LT(meanDifference(pixelsOf(r.frames[i]), clip.frames[i]), 2.0) << c.file << " frame " << i;
    }
  }
}

// seekExact lands on the frame a sequential reading gives for that time, with
// its index and pixels; seekKey on a listed key frame. H.264 reorders frames
// (its MP4 index holds decoding times), the AVI has no presentation times.
class Seeking : public testing::TestWithParam<Container> {};

TEST_P(Seeking, FindsTheExactFrameAndItsIndex) {
  const std::string path = tempPath(GetParam().file);
  writeClip(path, makeClip(45, 30), GetParam().codec, 10);
  const Reading whole = readAll(path);
  ASSERT_EQ(whole.frames.size(), 45u);
  const auto at = [&](std::size_t i) { return whole.frames[i].time; };
  auto source = openVideo(path);
  const std::vector<double> keys = source->keyframeTimes();
  ASSERT_FALSE(keys.empty());
  if (GetParam().indexesEveryKeyframe) {
    EXPECT_EQ(keys, (std::vector<double>{0, at(10), at(20), at(30), at(40)}));  // every 10 frames, as written
  }
  for (double k : keys) {
    EXPECT_TRUE(std::any_of(whole.frames.begin(), whole.frames.end(), [&](const Frame& f) { return f.time == k; }))
        << "no frame at the key frame time " << k;
  }
  struct Target {
    double time;
    std::size_t index;
  };
  for (const Target& t : {Target{at(23) + 0.001, 24}, Target{at(7), 7}, Target{at(10), 10}, Target{at(44), 44},
                          Target{-1, 0}}) {
    source->seekExact(t.time);
    Frame f;
    ASSERT_TRUE(source->next(f)) << t.time;
    EXPECT_EQ(f.index, static_cast<std::int64_t>(t.index));
    EXPECT_EQ(f.time, at(t.index));
    EXPECT_EQ(pixelsOf(f), pixelsOf(whole.frames[t.index])) << "frame " << t.index;
    if (t.index + 1 < whole.frames.size()) {
      ASSERT_TRUE(source->next(f));
      EXPECT_EQ(f.index, static_cast<std::int64_t>(t.index + 1));
    }
  }
  source->seekKey(at(33));
  Frame key, after;
  ASSERT_TRUE(source->next(key) && source->next(after));
  EXPECT_EQ(key.time, at(30));
  EXPECT_EQ(pixelsOf(key), pixelsOf(whole.frames[30]));
  EXPECT_EQ(after.index, 31);
}

INSTANTIATE_TEST_SUITE_P(Containers, Seeking,
                         testing::Values(Container{"seek.mp4", Codec::h264, 0}, Container{"seek.avi", Codec::mpeg4, 0},
                                         Container{"seek.mkv", Codec::h264, 0, false}));

// After skipBefore(t), reading on gives every frame from t as a plain
// reading does, with its index and pixels; of the frames before t, those it
// still gives are right too, and H.264's non-reference ones are not decoded.
TEST(Seeking, SkippingBeforeATimeKeepsEveryFrameFromIt) {
  struct Case {
    const char* file;
    Codec codec;
    bool skips;  // the codec marks the frames no other needs
  };
  for (const Case c : {Case{"skip.mp4", Codec::h264, true}, Case{"skip.mkv", Codec::h264, true},
                       Case{"skip.avi", Codec::mpeg4, false}}) {
    SCOPED_TRACE(c.file);
    const std::string path = tempPath(c.file);
    writeClip(path, makeClip(90, 30), c.codec);  // one key frame
    const Reading whole = readAll(path);
    ASSERT_EQ(whole.frames.size(), 90u);
    auto source = openVideo(path);
    source->seekExact(whole.frames[3].time);
    std::size_t wanted = 0, given = 0;  // frames before each target, and of them those given
    std::size_t last = 2;
    for (const std::size_t target : {std::size_t{20}, std::size_t{21}, std::size_t{47}, std::size_t{89}}) {
      source->skipBefore(whole.frames[target].time);
      wanted += target - last - 1;
      Frame f;
      for (;;) {
        ASSERT_TRUE(source->next(f));
        ASSERT_GE(f.index, 0);
        ASSERT_LT(f.index, 90);
        EXPECT_EQ(f.time, whole.frames[f.index].time);
        EXPECT_EQ(pixelsOf(f), pixelsOf(whole.frames[f.index])) << "frame " << f.index;
        if (f.time >= whole.frames[target].time) break;
        ++given;
      }
      EXPECT_EQ(f.index, static_cast<std::int64_t>(target));
      last = target;
    }
    if (c.skips) {
      EXPECT_LT(given, wanted);  // its B frames that are not references
    } else {
      EXPECT_EQ(given, wanted);
    }
  }
}

// A file cut short gives every whole frame before the cut, then says so.
TEST(Damage, ATruncatedFileKeepsWhatCameBefore) {
  const Clip clip = makeClip(60, 30);
  for (const char* file : {"cut.avi", "cut.mkv"}) {
    const std::string path = tempPath(file);
    writeClip(path, clip, Codec::ffv1);
    std::vector<std::uint8_t> bytes = fileBytes(path);
    bytes.resize(bytes.size() * 45 / 100);
    writeBytes(path, bytes);
    const Reading r = readAll(path);
    EXPECT_NE(r.endError.find(path + ": the file ends mid-stream"), std::string::npos) << r.endError;
    ASSERT_GE(r.frames.size(), 20u) << file;
    for (const Frame& f : r.frames) {
      if (f.ok()) {
        EXPECT_EQ(pixelsOf(f), clip.frames[f.index]) << file << " frame " << f.index;
      }
    }
  }
}

// Damaged bytes in the middle: error frames where the frames were, every
// other frame intact and in its place.
TEST(Damage, CorruptPacketsBecomeErrorFramesAndDecodingGoesOn) {
  const Clip clip = makeClip(30, 30);
  for (const Container& c : {Container{"damaged.mkv", Codec::ffv1, 5e-4}, Container{"damaged.mp4", Codec::h264, 1e-6}}) {
    const std::string path = tempPath(c.file);
    writeClip(path, clip, c.codec, 10);
    const Reading clean = readAll(path);
    std::vector<std::uint8_t> bytes = fileBytes(path);
    for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 300; ++i) bytes[i] = static_cast<std::uint8_t>(i * 37);
    writeBytes(path, bytes);
    const Reading r = readAll(path);
    EXPECT_EQ(r.endError, "");
    ASSERT_EQ(r.frames.size(), clip.frames.size()) << c.file;
    std::size_t errors = 0;
    for (std::size_t i = 0; i < r.frames.size(); ++i) {
      const Frame& f = r.frames[i];
      EXPECT_EQ(f.index, static_cast<std::int64_t>(i));
      EXPECT_NEAR(f.time, clip.times[i], c.timeTolerance) << c.file;
      if (!f.ok()) ++errors;
      if (f.ok() && (errors == 0 || c.codec == Codec::ffv1)) {
        EXPECT_EQ(pixelsOf(f), pixelsOf(clean.frames[i])) << c.file << " frame " << i;
      }
    }
    EXPECT_GE(errors, 1u) << c.file;
    EXPECT_LT(errors, 15u) << c.file;
    EXPECT_TRUE(r.frames.back().ok()) << c.file;
  }
}

struct Refused {
  const char* name;
  std::vector<std::uint8_t> (*bytes)();
  const char* message;
};
void PrintTo(const Refused& c, std::ostream* os) { *os << c.name; }

std::vector<std::uint8_t> text(const std::string& s) { return {s.begin(), s.end()}; }

// A PCM WAV file: audio, no video.
std::vector<std::uint8_t> wav() {
  static const char pcm[] = "RIFF\x2c\x01\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1f\x00\x00"
                            "\x80\x3e\x00\x00\x02\x00\x10\x00" "data\x00\x01\x00\x00";
  std::string header(pcm, sizeof pcm - 1);
  header.resize(44 + 256, '\x10');
  return text(header);
}

std::vector<std::uint8_t> videoFile(const char* file, Codec codec) {
  writeClip(tempPath(file), makeClip(5, 30), codec);
  return fileBytes(tempPath(file));
}

// An MPEG-4 AVI whose codec tags say a codec no decoder knows.
std::vector<std::uint8_t> unknownCodec() {
  std::vector<std::uint8_t> bytes = videoFile("unknown.avi", Codec::mpeg4);
  for (const char* tag : {"FMP4", "XVID", "DIVX", "fmp4"}) {
    for (auto at = bytes.begin(); (at = std::search(at, bytes.end(), tag, tag + 4)) != bytes.end();) {
      std::copy_n("QQQQ", 4, at);
    }
  }
  return bytes;
}

std::vector<std::uint8_t> cutHeader() {
  std::vector<std::uint8_t> bytes = videoFile("header.mp4", Codec::mpeg4);
  bytes.resize(bytes.size() / 2);  // the index comes last
  return bytes;
}

class BadFiles : public testing::TestWithParam<Refused> {};

TEST_P(BadFiles, AreRefusedWithTheirNameAndFault) {
  const std::string path = tempPath(std::string("bad_") + GetParam().name);
  writeBytes(path, GetParam().bytes());
  try {
    openVideo(path);
    ADD_FAILURE() << "opened";
  } catch (const SourceError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(path + ": " + GetParam().message, 0), 0u) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BadFiles,
    testing::Values(Refused{"empty.mp4", [] { return std::vector<std::uint8_t>(); }, "empty file"},
                    Refused{"text.mp4", [] { return text("these are my notes, not a video\n"); }, "not a video"},
                    Refused{"audio.wav", wav, "no video stream"},
                    Refused{"codec.avi", unknownCodec, "unsupported codec"},
                    Refused{"header.mp4", cutHeader, "a damaged or truncated mov file"}),
    [](const testing::TestParamInfo<Refused>& info) {
      std::string name = info.param.name;
      return name.substr(0, name.find('.'));
    });

}  // namespace
}  // namespace video_tests
