// Image sequences, raw grey streams, the one input entry and tressel-encode.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "clips.h"
#include "image/png.h"
#include "video/ImageSequence.h"
#include "video/Input.h"
#include "video/RawStream.h"

namespace video_tests {
namespace {

using tressel::video::SourceError;

void writeText(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string pgm(int width, int height, int maxValue, const std::string& samples) {
  return "P5 " + std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(maxValue) + "\n" + samples;
}

TEST(ImageSequence, NaturalOrderComparesDigitRunsAsNumbers) {
  struct Case {
    const char* a;
    const char* b;
    bool less;
  };
  for (const Case& c : {Case{"img2.png", "img10.png", true}, Case{"img10.png", "img2.png", false},
                        Case{"x9y", "x10a", true}, Case{"frame", "frame1", true}, Case{"b1", "a2", false},
                        Case{"img007", "img7", true}, Case{"img7", "img007", false}, Case{"a", "a", false}}) {
    EXPECT_EQ(tressel::video::naturalLess(c.a, c.b), c.less) << c.a << " < " << c.b;
  }
}

// A folder of mixed images: taken in natural order, other files left out,
// grey levels as the readers give them, a frame of another size an error
// frame naming its file and both sizes.
TEST(ImageSequence, FolderInNaturalOrderWithAnOddSizedImage) {
  const std::string folder = tempPath("sequence");
  mkdir(folder.c_str(), 0755);
  writeText(folder + "/img10.pgm", pgm(8, 6, 255, std::string(48, '\x0a')));
  std::string wide;
  for (int i = 0; i < 48; ++i) wide += "\x80\x80";  // 32896 of 65535: 128
  writeText(folder + "/img1.pgm", pgm(8, 6, 65535, wide));
  tressel_image::RgbImage colour{8, 6, {}};
  for (int i = 0; i < 48; ++i) colour.pixels.insert(colour.pixels.end(), {200, 100, 50});  // luma 124.2
  ASSERT_EQ(tressel_image::writePng(folder + "/img2.png", colour), "");
  writeText(folder + "/img3.pgm", pgm(4, 3, 255, std::string(12, '\x01')));
  writeText(folder + "/notes.txt", "not a frame");

  auto source = tressel::video::openImageFolder(folder, 4);
  EXPECT_EQ(source->info().width, 8);
  const Reading r = readAll(*source);
  ASSERT_EQ(r.frames.size(), 4u);
  const int levels[4] = {128, 124, -1, 10};
  for (std::size_t i = 0; i < 4; ++i) {
    const Frame& f = r.frames[i];
    EXPECT_EQ(f.index, static_cast<std::int64_t>(i));
    EXPECT_EQ(f.time, i / 4.0);
    if (levels[i] < 0) {
      EXPECT_EQ(f.error, folder + "/img3.pgm: 4x3, not the size of the first image (8x6)");
    } else {
      ASSERT_TRUE(f.ok()) << f.error;
      EXPECT_EQ(pixelsOf(f), std::vector<std::uint8_t>(48, static_cast<std::uint8_t>(levels[i]))) << i;
    }
  }
  source->seekExact(0.3);  // frames at 0, 0.25, 0.5
  Frame f;
  ASSERT_TRUE(source->next(f));
  EXPECT_EQ(f.index, 2);
}

// Two and a half frames: two frames, then the fault, then the end.
TEST(RawStream, EndingMidFrameGivesTheWholeFramesThenSaysSo) {
  std::vector<std::uint8_t> bytes(6 * 4 * 5 / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  std::FILE* in = fmemopen(bytes.data(), bytes.size(), "rb");
  ASSERT_NE(in, nullptr);
  auto source = tressel::video::openRawStream(in, "camera", 6, 4, 10);
  const Reading r = readAll(*source);
  std::fclose(in);
  ASSERT_EQ(r.frames.size(), 2u);
  EXPECT_EQ(r.frames[1].time, 0.1);
  EXPECT_EQ(pixelsOf(r.frames[1]), std::vector<std::uint8_t>(bytes.begin() + 24, bytes.begin() + 48));
  EXPECT_EQ(r.endError, "camera: the stream ends mid-frame, 12 of the 24 bytes of frame 2 (is 6x4 the frame size?)");
  Frame f;
  EXPECT_FALSE(source->next(f));
}

// A live camera: a frame comes out as soon as its bytes are in, while the
// stream stays open.
TEST(RawStream, GivesEachFrameAsSoonAsItIsRead) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::atomic<bool> received{false}, timedOut{false};
  std::thread camera([&] {
    const std::vector<std::uint8_t> frame(6 * 4, 7);
    EXPECT_EQ(write(ends[1], frame.data(), frame.size()), 24);
    for (int waited = 0; !received && waited < 5000; waited += 10) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    timedOut = !received;
    close(ends[1]);
  });
  auto source = tressel::video::openRawDescriptor(ends[0], "pipe", 6, 4, 30);
  Frame f;
  EXPECT_TRUE(source->next(f));
  received = true;
  camera.join();
  close(ends[0]);
  EXPECT_FALSE(timedOut) << "the frame came only when the stream closed";
}

TEST(Input, TakesEachKindOfInputAndSaysWhatIsMissing) {
  const std::string video = tempPath("input.mkv"), folder = tempPath("input_images"), empty = tempPath("no_images");
  writeClip(video, makeClip(3, 30), VideoWriter::Codec::ffv1);
  mkdir(folder.c_str(), 0755);
  writeText(folder + "/a.pgm", pgm(2, 2, 255, "abcd"));
  mkdir(empty.c_str(), 0755);
  tressel::video::InputOptions images;
  images.fps = 5;
  EXPECT_EQ(tressel::video::openInput({video}, {})->info().format, "matroska");
  EXPECT_EQ(tressel::video::openInput({folder}, images)->info().format, "image sequence");
  EXPECT_EQ(tressel::video::openInput({folder + "/a.pgm", folder + "/a.pgm"}, images)->info().frameCountHint, 2);
  struct Refusal {
    std::vector<std::string> inputs;
    tressel::video::InputOptions options;
    std::string message;
  };
  for (const Refusal& c : {Refusal{{"-"}, images, "-: raw grey frames on standard input need a frame size"},
                           Refusal{{"a.png", video}, images, video + ": with several inputs, each must be"},
                           Refusal{{folder}, {}, folder + ": an image sequence needs a frame rate"},
                           Refusal{{empty}, {}, empty + ": no PNG or netpbm images"}}) {
    try {
      tressel::video::openInput(c.inputs, c.options);
      ADD_FAILURE() << c.message;
    } catch (const SourceError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << e.what();
    }
  }
}

// tressel-encode makes a video of frames piped in, each at its given time;
// input that ends mid-frame fails, keeping the whole frames.
TEST(Encode, PipedFramesBecomeAVideoWithTheirTimes) {
  const Clip clip = makeClip(3, 30);
  const std::string times = tempPath("times.txt"), out = tempPath("encoded.mkv");
  writeText(times, "0\n0.25\n\n1.5\n");
  const std::string command = std::string(TRESSEL_ENCODE) + " --size 64x48 --times " + times + " --codec ffv1 " + out;
  for (bool cut : {false, true}) {
    std::FILE* tool = popen(command.c_str(), "w");
    ASSERT_NE(tool, nullptr);
    for (std::size_t i = 0; i < clip.frames.size(); ++i) {
      std::fwrite(clip.frames[i].data(), 1, cut && i == 2 ? 100 : clip.frames[i].size(), tool);
    }
    const int status = pclose(tool);
    EXPECT_EQ(WEXITSTATUS(status), cut ? 1 : 0);
    const Reading r = readAll(out);
    ASSERT_EQ(r.frames.size(), cut ? 2u : 3u);
    const double expected[3] = {0, 0.25, 1.5};
    for (std::size_t i = 0; i < r.frames.size(); ++i) {
      EXPECT_NEAR(r.frames[i].time, expected[i], 5e-4);
      EXPECT_EQ(pixelsOf(r.frames[i]), clip.frames[i]);
    }
  }
}

}  // namespace
}  // namespace video_tests
