// The tool run end to end, as a user runs it, on the bundled samples and on
// damaged files.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "image/readImage.h"
#include "tressel/tressel_c.h"
#include "../toolRuns.h"

namespace {

using testing_tools::quote;
using testing_tools::slurp;
using testing_tools::ToolRun;
using testing_tools::runTool;

const std::string kTool = TRESSEL_TOOL;
const std::string kSamples = TRESSEL_SAMPLES;
const std::vector<std::string> kSampleNames = {"curved.png", "no_tail.png", "pup.png",     "rat_legs.png",
                                               "speck.png",  "straight.png", "wavy_legs.png"};

void spit(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::stringstream s(text);
  for (std::string line; std::getline(s, line);) result.push_back(line);
  return result;
}

class Tool : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/tressel-tool-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  static void TearDownTestSuite() { std::system(("rm -rf " + quote(dir_)).c_str()); }

  static std::string temp(const std::string& name) { return dir_ + "/" + name; }
  static std::string sample(const std::string& name) { return kSamples + "/" + name; }

  static ToolRun run(const std::vector<std::string>& args) { return runTool(kTool, args, dir_); }

  static std::string dir_;
};

std::string Tool::dir_;

tressel_image::Mask readSample(const std::string& path) {
  tressel_image::MaskResult r = tressel_image::readMaskFile(path, 0);
  EXPECT_TRUE(r.ok()) << path << ": " << r.error;
  return r.mask;
}

// The CSV row the library's own mask entry point gives for a file.
std::string expectedRow(const std::string& path, int flags = 0, const tressel_params* params = nullptr) {
  const tressel_image::Mask m = readSample(path);
  tressel_result r{};
  const int found = tressel_analyze_mask(m.pixels.data(), m.width, m.height, m.width, flags, params, &r);
  EXPECT_GE(found, 0);
  auto pair = [](tressel_point p) { return std::to_string(p.x) + "," + std::to_string(p.y); };
  std::string row = path + "," + std::to_string(found) + ",";
  row += found ? pair(r.tail_base) + "," + pair(r.tail_start) + "," + pair(r.tail_end) : ",,,,,";
  return row + "," + pair(r.body_center) + "," + pair(r.nose);
}

void spans(const tressel_image::Mask& m, std::vector<float>& x, std::vector<float>& y) {
  const int n = tressel_mask_spans(m.pixels.data(), m.width, m.height, m.width, 0, nullptr, nullptr, 0);
  x.resize(static_cast<std::size_t>(n));
  y.resize(x.size());
  tressel_mask_spans(m.pixels.data(), m.width, m.height, m.width, 0, x.data(), y.data(), n);
}

TEST_F(Tool, AnalyzePrintsTheLibrarysRowForEverySample) {
  std::vector<std::string> args = {"analyze", "--format", "csv"};
  for (const std::string& name : kSampleNames) args.push_back(sample(name));
  const ToolRun r = run(args);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<std::string> rows = lines(r.out);
  ASSERT_EQ(rows.size(), kSampleNames.size() + 1);
  EXPECT_EQ(rows[0].substr(0, 14), "file,has_tail,");
  for (std::size_t i = 0; i < kSampleNames.size(); ++i) EXPECT_EQ(rows[i + 1], expectedRow(sample(kSampleNames[i])));
}

// Where the samples' generator put tail base, centre and nose; the analysis
// should land close to them.
TEST_F(Tool, AnalyzeFindsThePointsWhereAPersonWouldPutThem) {
  std::map<std::string, std::vector<std::string>> truth;
  for (const std::string& line : lines(slurp(sample("truth.csv")))) {
    std::vector<std::string> fields;
    std::stringstream s(line);
    for (std::string f; std::getline(s, f, ',');) fields.push_back(f);
    fields.resize(8);
    truth[fields[0]] = fields;
  }
  std::vector<std::string> args = {"analyze", "--format", "csv"};
  for (const std::string& name : kSampleNames) args.push_back(sample(name));
  const ToolRun r = run(args);
  const std::vector<std::string> rows = lines(r.out);
  ASSERT_EQ(rows.size(), kSampleNames.size() + 1);
  constexpr double tolerance = 8;  // pixels
  auto near = [&](const std::vector<std::string>& got, int gx, const std::vector<std::string>& want, int wx) {
    return std::hypot(std::stod(got[gx]) - std::stod(want[wx]), std::stod(got[gx + 1]) - std::stod(want[wx + 1])) <=
           tolerance;
  };
  for (std::size_t i = 0; i < kSampleNames.size(); ++i) {
    std::vector<std::string> got;
    std::stringstream s(rows[i + 1]);
    for (std::string f; std::getline(s, f, ',');) got.push_back(f);
    got.resize(12);
    const std::vector<std::string>& want = truth.at(kSampleNames[i]);
    SCOPED_TRACE(rows[i + 1]);
    ASSERT_EQ(got[1], want[1]);
    EXPECT_TRUE(near(got, 8, want, 4)) << "body centre";
    if (want[1] == "1") {
      EXPECT_TRUE(near(got, 2, want, 2)) << "tail base";
      EXPECT_TRUE(near(got, 10, want, 6)) << "nose";
    }
  }
}

TEST_F(Tool, JobsKeepTheInputOrder) {
  spit(temp("bad.png"), "\x89PNG\r\n\x1a\n garbage");
  spit(temp("blank.pgm"), "P2 2 2 255\n0 0 0 0\n");
  std::vector<std::string> files;
  for (int round = 0; round < 3; ++round) {
    for (const std::string& name : kSampleNames) files.push_back(sample(name));
    files.push_back(temp("bad.png"));
    files.push_back(temp("blank.pgm"));
  }
  auto analyze = [&](const char* jobs) {
    std::vector<std::string> args = {"analyze", "--format", "json", "--jobs", jobs};
    args.insert(args.end(), files.begin(), files.end());
    return run(args);
  };
  const ToolRun one = analyze("1"), many = analyze("5");
  EXPECT_EQ(one.status, 1);
  EXPECT_EQ(many.status, 1);
  EXPECT_EQ(lines(one.out).size(), files.size() - 3);  // the bad file has no row
  EXPECT_EQ(many.out, one.out);
  EXPECT_EQ(many.err, one.err);
}

struct BadFile {
  const char* name;
  std::string content;  // written to the file, unless the case makes its own
  const char* message;
};
void PrintTo(const BadFile& c, std::ostream* os) { *os << c.name; }

class ToolBadInput : public Tool, public testing::WithParamInterface<BadFile> {};

// One line naming the file, the other files still analysed, exit status 1.
TEST_P(ToolBadInput, IsReportedAndSkipped) {
  const BadFile& c = GetParam();
  std::string path = temp(std::string(c.name) + ".img");
  if (std::string(c.name) == "missing") path = temp("no-such-file.png");
  else if (std::string(c.name) == "directory") path = dir_;
  else spit(path, c.content);

  const ToolRun r = run({"analyze", "--format", "csv", sample("straight.png"), path, sample("curved.png")});
  EXPECT_EQ(r.status, 1);
  const std::vector<std::string> rows = lines(r.out);
  ASSERT_EQ(rows.size(), 3u) << r.out;
  EXPECT_EQ(rows[1], expectedRow(sample("straight.png")));
  EXPECT_EQ(rows[2], expectedRow(sample("curved.png")));
  const std::vector<std::string> errors = lines(r.err);
  ASSERT_EQ(errors.size(), 1u) << r.err;
  EXPECT_EQ(errors[0].rfind("tressel: " + path + ": ", 0), 0u) << errors[0];
  EXPECT_NE(errors[0].find(c.message), std::string::npos) << errors[0];
}

std::string truncatedSample() {
  const std::string png = slurp(TRESSEL_SAMPLES "/straight.png");
  return png.substr(0, png.size() / 2);
}

std::string damagedSample() {
  std::string png = slurp(TRESSEL_SAMPLES "/straight.png");
  png[png.size() / 2] = static_cast<char>(png[png.size() / 2] ^ 0x40);
  return png;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ToolBadInput,
    testing::Values(BadFile{"missing", "", "No such file"}, BadFile{"directory", "", "directory"},
                    BadFile{"empty", "", "empty file"}, BadFile{"text", "hello\n", "unknown format"},
                    BadFile{"truncated_png", truncatedSample(), "corrupt PNG"},
                    BadFile{"damaged_png", damagedSample(), "corrupt PNG"},
                    BadFile{"truncated_pgm", "P5 10 10 255\nabc", "truncated"},
                    BadFile{"huge_pgm", "P5 30000 30000 255\n", "too large"}),
    [](const testing::TestParamInfo<BadFile>& info) { return std::string(info.param.name); });

TEST_F(Tool, AnEmptyMaskIsAnOrdinaryRowWithAWarning) {
  spit(temp("empty.pgm"), "P5 4 3 255\n" + std::string(12, '\0'));
  const ToolRun r = run({"analyze", "--format", "csv", temp("empty.pgm"), "--threshold", "255", sample("pup.png")});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> rows = lines(r.out);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], temp("empty.pgm") + ",0,,,,,,,,,,");
  EXPECT_EQ(rows[2], sample("pup.png") + ",0,,,,,,,,,,");  // nothing above 255
  const std::vector<std::string> warnings = lines(r.err);
  ASSERT_EQ(warnings.size(), 2u) << r.err;
  EXPECT_EQ(warnings[0], "tressel: " + temp("empty.pgm") + ": warning: empty mask, no pixel above threshold 255");
}

TEST_F(Tool, ParametersAndComponentsReachTheAnalysis) {
  const tressel_params params{20, 10, 5, 40, 15, 9, 5, 20, 4};
  const ToolRun r = run({"analyze", "--format", "csv", "--all-components", "--tail-width-percent", "20",
                     "--tail-length-percent", "10", "--tail-width-min-threshold", "5", "--tail-length-max-threshold",
                     "40", "--limb-width-percent", "15", "--limb-length-percent", "9", "--limb-width-min-threshold",
                     "5", "--limb-length-max-threshold", "20", "--loop-length-max-percent", "4", sample("speck.png"),
                     sample("rat_legs.png")});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> rows = lines(r.out);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], expectedRow(sample("speck.png"), TRESSEL_MASK_ALL_COMPONENTS, &params));
  EXPECT_EQ(rows[2], expectedRow(sample("rat_legs.png"), TRESSEL_MASK_ALL_COMPONENTS, &params));
  // The specks pull the centre of all components away from the animal's.
  EXPECT_NE(rows[1], expectedRow(sample("speck.png"), 0, &params));
}

TEST_F(Tool, PointsFilesGiveWhatTheirMaskGives) {
  std::vector<float> x, y;
  spans(readSample(sample("curved.png")), x, y);
  std::string text = "# spans of curved.png\n";
  for (std::size_t i = 0; i < x.size(); ++i) text += std::to_string(int(x[i])) + " " + std::to_string(int(y[i])) + "\n";
  spit(temp("curved.txt"), text);

  const ToolRun fromPoints = run({"analyze", "--format", "csv", "--points", temp("curved.txt")});
  ASSERT_EQ(fromPoints.status, 0) << fromPoints.err;
  const std::string maskRow = expectedRow(sample("curved.png"));
  EXPECT_EQ(lines(fromPoints.out).at(1), temp("curved.txt") + maskRow.substr(sample("curved.png").size()));

  const ToolRun border = run({"border", "--points", temp("curved.txt")});
  EXPECT_EQ(border.out, run({"border", sample("curved.png")}).out);
}

// The analysis throws when its rasters would be too large; that is one
// file's error, not the end of the batch.
TEST_F(Tool, ASilhouetteTooFarAwayToAnalyseIsOneFilesError) {
  spit(temp("far.txt"), "1000000000 5\n1000000009 5\n1000000000 6\n1000000009 6\n");
  spit(temp("near.txt"), "0 5\n9 5\n0 6\n9 6\n");
  for (const char* jobs : {"1", "2"}) {
    const ToolRun r = run({"analyze", "--format", "csv", "--points", "--jobs", jobs, temp("far.txt"), temp("near.txt")});
    EXPECT_EQ(r.status, 1);
    const std::vector<std::string> rows = lines(r.out);
    ASSERT_EQ(rows.size(), 2u) << r.out;
    EXPECT_EQ(rows[1].rfind(temp("near.txt") + ",", 0), 0u);
    EXPECT_EQ(r.err.rfind("tressel: " + temp("far.txt") + ": cannot analyse: memory allocation error", 0), 0u) << r.err;
  }
  const ToolRun draw = run({"draw", "--points", temp("far.txt"), "--out", temp("far.png")});
  EXPECT_EQ(draw.status, 1);
  EXPECT_NE(draw.err.find("cannot analyse"), std::string::npos) << draw.err;
}

TEST_F(Tool, BorderPrintsTheLibrarysContour) {
  std::vector<float> x, y;
  spans(readSample(sample("pup.png")), x, y);
  const int n = tressel_border(x.data(), y.data(), static_cast<int>(x.size()), nullptr, nullptr, 0);
  std::vector<float> bx(static_cast<std::size_t>(n)), by(bx.size());
  tressel_border(x.data(), y.data(), static_cast<int>(x.size()), bx.data(), by.data(), n);
  std::string expected;
  for (int i = 0; i < n; ++i) expected += std::to_string(int(bx[i])) + " " + std::to_string(int(by[i])) + "\n";

  const ToolRun r = run({"border", sample("pup.png")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_GT(n, 50);
  EXPECT_EQ(r.out, expected);
}

// The picture, decoded to RGB.
struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  bool is(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return rgb[i] == r && rgb[i + 1] == g && rgb[i + 2] == b;
  }
};

Picture readPicture(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Picture p;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
  image.format = PNG_FORMAT_RGB;
  p.rgb.resize(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr)) {
    p.width = static_cast<int>(image.width);
    p.height = static_cast<int>(image.height);
  }
  return p;
}

// The markers sit on the points the analysis reports, in their colours, with
// the default parameters and with others that move the centre and the nose
// far away (thick parts counted as limbs and cut off).
TEST_F(Tool, DrawPutsTheMarkersOnTheResults) {
  constexpr int scale = 3;
  const tressel_image::Mask m = readSample(sample("straight.png"));
  tressel_params thickLimbs = tressel_default_params();
  thickLimbs.limb_width_percent = 40;
  const struct {
    std::vector<std::string> options;
    tressel_params params;
  } cases[] = {{{}, tressel_default_params()}, {{"--limb-width-percent", "40"}, thickLimbs}};
  std::vector<tressel_result> drawn;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options.empty() ? "defaults" : c.options[0]);
    tressel_result res{};
    ASSERT_EQ(tressel_analyze_mask(m.pixels.data(), m.width, m.height, m.width, 0, &c.params, &res), 1);
    drawn.push_back(res);
    std::vector<std::string> args = {"draw", sample("straight.png"), "--scale", "3", "--out", temp("straight.png")};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ToolRun r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const Picture p = readPicture(temp("straight.png"));
    ASSERT_EQ(p.width, m.width * scale);
    ASSERT_GT(p.height, m.height * scale);  // the legend is underneath
    auto at = [&](tressel_point q) { return std::pair<int, int>{q.x * scale + 1, q.y * scale + 1}; };
    EXPECT_TRUE(p.is(at(res.body_center).first, at(res.body_center).second, 48, 178, 255)) << "body centre";
    EXPECT_TRUE(p.is(at(res.nose).first, at(res.nose).second, 255, 214, 32)) << "nose";
    int ring = 0;  // tail base: a red ring around the point
    const auto base = at(res.tail_base);
    for (int dy = -12; dy <= 12; ++dy) {
      for (int dx = -12; dx <= 12; ++dx) ring += p.is(base.first + dx, base.second + dy, 255, 64, 48);
    }
    EXPECT_GT(ring, 20);
  }
  EXPECT_GT(std::abs(drawn[1].body_center.x - drawn[0].body_center.x), 20) << "the parameters move the centre";
}

TEST_F(Tool, DrawWithoutATailHasNoTailMarker) {
  const ToolRun r = run({"draw", sample("no_tail.png"), "--out", temp("no_tail.png")});
  ASSERT_EQ(r.status, 0) << r.err;
  const Picture p = readPicture(temp("no_tail.png"));
  ASSERT_GT(p.width, 0);
  int red = 0;
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) red += p.is(x, y, 255, 64, 48);
  }
  EXPECT_EQ(red, 0);
}

TEST_F(Tool, DrawReportsAnUnwritableOutput) {
  const ToolRun r = run({"draw", sample("pup.png"), "--out", "/nonexistent-dir/out.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("tressel: /nonexistent-dir/out.png: ", 0), 0u) << r.err;
}

struct Usage {
  const char* name;
  std::vector<std::string> args;
  const char* message;
};
void PrintTo(const Usage& c, std::ostream* os) { *os << c.name; }

class ToolUsage : public Tool, public testing::WithParamInterface<Usage> {};

TEST_P(ToolUsage, ExitsWithStatus2AndTheUsage) {
  const ToolRun r = run(GetParam().args);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("Usage: tressel"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, ToolUsage,
    testing::Values(Usage{"nothing", {}, "no command"}, Usage{"unknown_command", {"frobnicate"}, "unknown command"},
                    Usage{"no_file", {"analyze"}, "no input file"},
                    Usage{"unknown_option", {"analyze", "--bogus", "f.png"}, "unknown option '--bogus'"},
                    Usage{"jobs_zero", {"analyze", "--jobs", "0", "f.png"}, "from 1 to 256"},
                    Usage{"jobs_without_value", {"analyze", "f.png", "--jobs"}, "needs a value"},
                    Usage{"format_unknown", {"analyze", "--format", "xml", "f.png"}, "csv, json or table"},
                    Usage{"threshold_too_big", {"analyze", "--threshold", "256", "f.png"}, "from 0 to 255"},
                    Usage{"parameter_not_a_number", {"analyze", "--tail-width-percent", "12x", "f.png"}, "12x"},
                    Usage{"flag_with_value", {"analyze", "--points=yes", "f.png"}, "takes no value"},
                    Usage{"draw_without_out", {"draw", "f.png"}, "--out PNG is required"},
                    Usage{"draw_two_files", {"draw", "a.png", "b.png", "--out", "o.png"}, "only one input"},
                    Usage{"scale_too_big", {"draw", "a.png", "--scale", "17", "--out", "o.png"}, "from 1 to 16"},
                    Usage{"border_has_no_jobs", {"border", "--jobs", "2", "a.png"}, "unknown option"}),
    [](const testing::TestParamInfo<Usage>& info) { return std::string(info.param.name); });

TEST_F(Tool, HelpAndVersion) {
  const ToolRun help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: tressel COMMAND"), std::string::npos);
  const ToolRun analyzeHelp = run({"analyze", "--help"});
  EXPECT_EQ(analyzeHelp.status, 0);
  for (const char* text : {"--tail-width-percent N [13]", "--tail-length-max-threshold N [50]",
                           "--loop-length-max-percent N [10]", "csv otherwise", "--jobs N"}) {
    EXPECT_NE(analyzeHelp.out.find(text), std::string::npos) << text;
  }
  EXPECT_NE(run({"draw", "--help"}).out.find("--scale N"), std::string::npos);
  const ToolRun version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("tressel ") + tressel_version() + "\n");
}

}  // namespace
