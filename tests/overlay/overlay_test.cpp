// The overlay video, saved masks and retrack, run as a user runs them on a
// generated recording in which the animal leaves the frame and comes back.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "FrameOverlay.h"
#include "video/VideoReader.h"
#include "../toolRuns.h"

namespace {

using testing_tools::quote;
using testing_tools::slurp;
using testing_tools::exists;
using testing_tools::ToolRun;
using testing_tools::runTool;

// The table's data lines (without the "# " header).
std::vector<std::string> dataLines(const std::string& path) {
  std::vector<std::string> lines;
  std::stringstream s(slurp(path));
  for (std::string line; std::getline(s, line);) {
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream s(line);
  for (std::string f; std::getline(s, f, ',');) out.push_back(f);
  if (!line.empty() && line.back() == ',') out.emplace_back();
  return out;
}

class Track : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/tressel-track-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    video_ = dir_ + "/exit.mp4";
    const std::string make = std::string(TRESSEL_PYTHON) + " " + quote(TRESSEL_SCENE) +
                             " --preset exit --size 320x240 --duration 6 | " + quote(TRESSEL_ENCODE) +
                             " --size 320x240 --fps 30 " + quote(video_) + " 2>/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0);
  }
  static void TearDownTestSuite() { std::system(("rm -rf " + quote(dir_)).c_str()); }

  static std::string temp(const std::string& name) { return dir_ + "/" + name; }

  static ToolRun run(const std::vector<std::string>& args) { return runTool(TRESSEL_TOOL, args, dir_); }

  static std::string dir_, video_;
};

std::string Track::dir_, Track::video_;

TEST_F(Track, TheOverlayHasEveryFrameAndItsMarkWhereTheTableFlagsOne) {
  const ToolRun r = run({"track", video_, "--out", temp("o.csv"), "--overlay", temp("o.mp4")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(exists(temp("o.mp4.partial")));
  const std::vector<std::string> rows = dataLines(temp("o.csv"));
  ASSERT_GT(rows.size(), 100u);
  const std::vector<std::string> names = fields(rows[0]);
  std::map<std::string, std::size_t> column;
  for (std::size_t i = 0; i < names.size(); ++i) column[names[i]] = i;

  auto source = tressel::video::openVideo(temp("o.mp4"));
  EXPECT_EQ(source->info().width, 320);
  EXPECT_EQ(source->info().height, 240 + tressel_tool::panelHeight(320));
  const tressel::tracking::Rect mark = tressel_tool::flagMarkArea(320, 240);
  int flaggedRows = 0, unflaggedRows = 0;
  tressel::video::Frame frame;
  std::size_t n = 1;
  for (; source->next(frame); ++n) {
    ASSERT_TRUE(frame.ok()) << frame.error;
    ASSERT_LT(n, rows.size()) << "more overlay frames than rows";
    const std::vector<std::string> f = fields(rows[n]);
    const std::string status = f[column["status"]];
    const bool flagged = (status != "ok" && status != "no_tail") || f[column["jump"]] == "1" ||
                         f[column["sharp_turn"]] == "1" || f[column["interpolated"]] == "1";
    EXPECT_NEAR(frame.time, std::stod(f[column["time_s"]]), 1e-3) << "frame " << n - 1;
    long sum = 0;
    for (int y = mark.y + 2; y < mark.y + mark.height - 2; ++y) {
      for (int x = mark.x + 2; x < mark.x + mark.width - 2; ++x) sum += frame.row(y)[x];
    }
    const double mean = static_cast<double>(sum) / ((mark.width - 4) * (mark.height - 4));
    // The red mark's luma is about 116, the panel's about 32.
    EXPECT_EQ(mean > 75, flagged) << "frame " << n - 1 << " (" << status << "): mark luma " << mean;
    (flagged ? flaggedRows : unflaggedRows)++;
  }
  EXPECT_EQ(n, rows.size()) << "overlay frames and table rows differ";
  EXPECT_GT(flaggedRows, 5);  // the animal leaves the frame: the test sees both kinds
  EXPECT_GT(unflaggedRows, 50);
}

TEST_F(Track, RetrackGivesTrackingsRowsWithTheSameAndWithOtherParameters) {
  ASSERT_EQ(run({"track", video_, "--out", temp("t.csv"), "--save-masks", temp("t.masks")}).status, 0);
  ASSERT_EQ(run({"track", video_, "--out", temp("t2.csv"), "--tail-width-percent", "45", "--freeze-below", "0.05"})
                .status,
            0);
  const ToolRun same = run({"retrack", temp("t.masks"), "--out", temp("r.csv")});
  ASSERT_EQ(same.status, 0) << same.err;
  EXPECT_EQ(dataLines(temp("r.csv")), dataLines(temp("t.csv")));
  const ToolRun other =
      run({"retrack", temp("t.masks"), "--out", temp("r2.csv"), "--tail-width-percent", "45", "--freeze-below", "0.05"});
  ASSERT_EQ(other.status, 0) << other.err;
  EXPECT_EQ(dataLines(temp("r2.csv")), dataLines(temp("t2.csv")));
  EXPECT_NE(dataLines(temp("r2.csv")), dataLines(temp("t.csv")));  // the parameters changed something
}

// A mask file cut or damaged: a one-line message naming it, the rows of
// the frames before the fault, exit status 1.
TEST_F(Track, ADamagedMaskFileIsReportedAndTheFramesBeforeItStand) {
  ASSERT_EQ(run({"track", video_, "--out", temp("d.csv"), "--save-masks", temp("d.masks")}).status, 0);
  const std::string whole = slurp(temp("d.masks"));
  const std::size_t rows = dataLines(temp("d.csv")).size();
  struct Case {
    const char* name;
    std::string bytes;
    const char* message;
  };
  std::string flipped = whole;
  flipped[whole.size() / 2] = static_cast<char>(flipped[whole.size() / 2] ^ 0x10);
  const std::vector<Case> cases = {
      {"cut.masks", whole.substr(0, whole.size() / 2), "cut short after"},
      {"noend.masks", whole.substr(0, whole.size() - 17), "cut short after 180 frames: the end record is missing"},
      {"flipped.masks", flipped, "damaged record after"},
      {"header.masks", whole.substr(0, 40), "cut short in its header"},
  };
  for (const Case& c : cases) {
    std::ofstream(temp(c.name), std::ios::binary) << c.bytes;
    const ToolRun r = run({"retrack", temp(c.name), "--out", temp(std::string(c.name) + ".csv")});
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_NE(r.err.find("tressel: " + temp(c.name) + ": " + c.message), std::string::npos) << c.name << ": " << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << c.name << ": one line";
    if (std::string(c.name) == "header.masks") continue;
    const std::size_t kept = dataLines(temp(std::string(c.name) + ".csv")).size();
    EXPECT_GT(kept, 10u) << c.name;
    // Every frame before the fault (the header line counts in both).
    if (std::string(c.name) == "noend.masks") {
      EXPECT_EQ(kept, rows);
    } else {
      EXPECT_LT(kept, rows) << c.name;
    }
  }
}

TEST_F(Track, AnOverlayThatCannotBeWrittenStopsBeforeTrackingAndKeepsTheTable) {
  std::ofstream(temp("keep.csv")) << "complete\n";
  const std::string overlay = temp("no-such-folder/o.mp4");
  const ToolRun r = run({"track", video_, "--out", temp("keep.csv"), "--overlay", overlay});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("tressel: " + overlay), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  EXPECT_EQ(slurp(temp("keep.csv")), "complete\n");
  EXPECT_FALSE(exists(temp("keep.csv.partial")));
}

}  // namespace
