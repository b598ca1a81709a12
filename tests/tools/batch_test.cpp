// Many recordings into one folder: which inputs make a batch, the shards,
// and the tool run on short generated videos, alone and two at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "Batch.h"
#include "Options.h"
#include "../toolRuns.h"

namespace {

using testing_tools::quote;
using testing_tools::slurp;

using tressel_tool::ParsedCommandLine;
using tressel_tool::parseCommandLine;

bool exists(const std::string& path) {
  struct stat s;
  return stat(path.c_str(), &s) == 0;
}

// How each recording's line on stdout begins after its input: "done",
// "skipped" or "failed", for every line of every output.
std::multimap<std::string, std::string> outcomes(const std::vector<std::string>& outputs) {
  std::multimap<std::string, std::string> result;
  for (const std::string& out : outputs) {
    std::stringstream s(out);
    for (std::string line; std::getline(s, line);) {
      const std::size_t colon = line.find(": ");
      if (colon == std::string::npos) continue;
      const std::string rest = line.substr(colon + 2);
      result.emplace(line.substr(0, colon), rest.substr(0, rest.find(':')));
    }
  }
  return result;
}

TEST(BatchCommandLine, TellsOneRecordingFromManyAndRefusesWhatCannotBeSplit) {
  struct Case {
    std::vector<std::string> args;
    const char* problem;  // "" when it parses
  };
  const Case cases[] = {
      {{"a.png", "b.pgm"}, ""},  // the frames of one recording
      {{"a.mp4"}, ""},
      {{"a.mp4", "b.mp4", "--out-dir", "o", "--shard", "2/2"}, ""},
      {{"a.mp4", "b.mp4"}, "several recordings need --out-dir"},
      {{"a.png", "b.mp4"}, "several recordings need --out-dir"},
      {{"a.mp4", "--shard", "1/2"}, "--shard needs --out-dir"},
      {{"a.mp4", "--out-dir", "o", "--shard", "0/2"}, "is not I/N"},
      {{"a.mp4", "--out-dir", "o", "--shard", "3/2"}, "is not I/N"},
      {{"a.mp4", "--out-dir", "o", "--shard", "1/0"}, "is not I/N"},
      {{"a.mp4", "--out-dir", "o", "--shard", "1/2x"}, "is not I/N"},
      {{"a.mp4", "--out-dir", "o", "--shard", "12"}, "is not I/N"},
      {{"a.mp4", "x/a.avi", "--out-dir", "o"}, "a.mp4 and x/a.avi would both be tracked into o/a.csv"},
      {{"a.mp4", "f.png", "--out-dir", "o"}, "f.png: an image is one frame"},
      {{"a.mp4", "-", "--out-dir", "o"}, "-: standard input"},
      {{"a.mp4", "--out-dir", "o", "--out", "t.csv"}, "exclude each other"},
      {{"a.mp4", "--out-dir", "o", "--save-background", "b.png"}, "--save-background names one file"},
      {{"a.mp4", "--out-dir", "o", "--overlay", "a.mp4.overlay.mp4"}, "--overlay names one file"},
      {{"a.mp4", "--out-dir", "o", "--save-masks", "a.masks"}, "--save-masks names one file"},
      {{"/", "--out-dir", "o"}, "gives no name"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"track"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ParsedCommandLine p = parseCommandLine(args);
    std::string joined;
    for (const std::string& a : c.args) joined += a + " ";
    if (*c.problem == '\0') {
      EXPECT_EQ(p.action, ParsedCommandLine::run) << joined << p.text;
    } else {
      EXPECT_EQ(p.action, ParsedCommandLine::usageError) << joined;
      EXPECT_NE(p.text.find(c.problem), std::string::npos) << joined << p.text;
    }
  }
}

TEST(BatchCommandLine, TablesAreNamedAfterTheInputs) {
  const ParsedCommandLine p =
      parseCommandLine({"track", "day1/m.1.mp4", "/data/run7/", "cage.MKV", "--out-dir", "out/", "--format", "json"});
  ASSERT_EQ(p.action, ParsedCommandLine::run) << p.text;
  std::vector<std::string> tables;
  for (const tressel_tool::Recording& r : tressel_tool::batchRecordings(p.options)) tables.push_back(r.table);
  // /data/run7/ is no folder here, so its last part is taken as a file name.
  EXPECT_EQ(tables, (std::vector<std::string>{"out/m.1.jsonl", "out/run7.jsonl", "out/cage.jsonl"}));
  EXPECT_EQ(tressel_tool::recordingName("/data/run.7/", true), "run.7");  // a folder keeps its dots
}

// The N shards of a list take every recording once, in any input order.
TEST(BatchShards, SplitTheRecordingsWithoutGapOrOverlap) {
  std::vector<tressel_tool::Recording> all;
  for (const char* name : {"e", "b", "g", "a", "f", "c", "d"}) all.push_back({name, name, name});
  std::vector<tressel_tool::Recording> reversed(all.rbegin(), all.rend());
  for (int shards : {1, 2, 3, 7, 9}) {
    std::map<std::string, int> taken;
    for (int shard = 1; shard <= shards; ++shard) {
      const auto mine = tressel_tool::shardRecordings(all, shard, shards);
      const auto again = tressel_tool::shardRecordings(reversed, shard, shards);
      EXPECT_EQ(mine.size(), again.size()) << shard << "/" << shards;
      for (const auto& r : mine) ++taken[r.name];
      for (const auto& r : again) {
        EXPECT_TRUE(std::any_of(mine.begin(), mine.end(), [&](const auto& m) { return m.name == r.name; }))
            << r.name << " in shard " << shard << "/" << shards << " of one order only";
      }
      EXPECT_LE(mine.size(), (all.size() + shards - 1) / shards);
    }
    EXPECT_EQ(taken.size(), all.size()) << shards;
    for (const auto& [name, count] : taken) EXPECT_EQ(count, 1) << name << " in " << shards << " shards";
  }
}

class Batch : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/tressel-batch-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    for (const char* name : {"m1", "m2", "m3"}) {
      const std::string video = dir_ + "/" + name + ".mp4";
      const std::string seed = std::string(name).substr(1);
      ASSERT_EQ(std::system((quote(TRESSEL_SCENE_PYTHON) + " " + quote(std::string(TRESSEL_SOURCE) + "/samples/scene.py") +
                             " --preset clean --duration 1.5 --size 160x120 --fps 10 --seed " + seed + " | " +
                             quote(TRESSEL_ENCODE) + " --size 160x120 --fps 10 " + quote(video))
                                .c_str()),
                0);
      videos_.push_back(video);
    }
    std::ofstream(dir_ + "/broken.mp4") << "not a video at all";
  }
  static void TearDownTestSuite() { std::system(("rm -rf " + quote(dir_)).c_str()); }

  // Starts `tressel track VIDEOS... --out-dir OUT ARGS` in the background;
  // finish() waits for it and gives its exit status and stdout.
  static std::string start(const std::string& out, const std::vector<std::string>& inputs,
                           const std::vector<std::string>& args, int slot) {
    std::string command = quote(TRESSEL_TOOL) + " track";
    for (const std::string& i : inputs) command += " " + quote(i);
    command += " --out-dir " + quote(out);
    for (const std::string& a : args) command += " " + quote(a);
    const std::string log = dir_ + "/run" + std::to_string(slot);
    return "(" + command + " >" + quote(log + ".out") + " 2>" + quote(log + ".err") + "; echo $? >" +
           quote(log + ".status") + ")";
  }
  struct Run {
    int status;
    std::string out, err;
  };
  static Run result(int slot) {
    const std::string log = dir_ + "/run" + std::to_string(slot);
    return Run{std::atoi(slurp(log + ".status").c_str()), slurp(log + ".out"), slurp(log + ".err")};
  }
  static Run run(const std::string& out, const std::vector<std::string>& inputs, const std::vector<std::string>& args) {
    std::system(start(out, inputs, args, 0).c_str());
    return result(0);
  }

  static std::string dir_;
  static std::vector<std::string> videos_;
};

std::string Batch::dir_;
std::vector<std::string> Batch::videos_;

// A broken recording fails alone; a second run skips what is complete and
// leaves its files as they were.
TEST_F(Batch, FailedRecordingIsReportedAndCompleteOnesAreNotTrackedAgain) {
  const std::string out = dir_ + "/first";
  std::vector<std::string> inputs = videos_;
  inputs.insert(inputs.begin() + 1, dir_ + "/broken.mp4");
  const Run first = run(out, inputs, {"--jobs", "2"});
  EXPECT_EQ(first.status, 1) << first.err;
  const auto said = outcomes({first.out});
  EXPECT_EQ(said.size(), 4u) << first.out;
  for (const std::string& v : videos_) EXPECT_EQ(said.find(v)->second, "done") << first.out;
  EXPECT_EQ(said.find(dir_ + "/broken.mp4")->second, "failed") << first.out;
  EXPECT_NE(first.out.find("broken.mp4: not a video"), std::string::npos) << first.out;
  for (const char* name : {"m1", "m2", "m3"}) {
    const std::string table = out + "/" + name + ".csv";
    EXPECT_NE(slurp(table).find("\n0,"), std::string::npos) << table;  // the first frame's row
    EXPECT_TRUE(exists(table + ".summary.csv"));
    EXPECT_FALSE(exists(table + ".partial"));
    EXPECT_FALSE(exists(table + ".lock"));
  }
  EXPECT_FALSE(exists(out + "/broken.csv"));

  std::ofstream(out + "/m2.csv", std::ios::app) << "# a mark that tracking again would lose\n";
  const std::string marked = slurp(out + "/m2.csv");
  const Run second = run(out, videos_, {});
  EXPECT_EQ(second.status, 0) << second.err;
  for (const auto& [input, outcome] : outcomes({second.out})) EXPECT_EQ(outcome, "skipped") << input;
  EXPECT_EQ(slurp(out + "/m2.csv"), marked);
}

// Two processes over one folder track each recording once between them.
TEST_F(Batch, TwoProcessesOverOneFolderTrackEachRecordingOnce) {
  const std::string out = dir_ + "/shared";
  const std::string both = start(out, videos_, {}, 1) + " & " + start(out, videos_, {"--jobs", "2"}, 2) + " & wait";
  ASSERT_EQ(std::system(both.c_str()), 0);
  const Run a = result(1), b = result(2);
  EXPECT_EQ(a.status, 0) << a.err;
  EXPECT_EQ(b.status, 0) << b.err;
  const auto said = outcomes({a.out, b.out});
  for (const std::string& v : videos_) {
    EXPECT_EQ(said.count(v), 2u) << a.out << b.out;
    int done = 0;
    for (auto [at, end] = said.equal_range(v); at != end; ++at) done += at->second == "done";
    EXPECT_EQ(done, 1) << v << "\n" << a.out << b.out;
  }
}

// A lock held by a live process keeps its recording from being tracked; a
// lock file left by a killed run holds nothing.
TEST_F(Batch, LiveLocksAreHonouredAndLeftoverLockFilesAreNot) {
  const std::string out = dir_ + "/locks";
  mkdir(out.c_str(), 0755);
  const int held = open((out + "/m1.csv.lock").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  ASSERT_EQ(write(held, "pid 1 on elsewhere\n", 19), 19);
  std::ofstream(out + "/m2.csv.lock") << "pid 999999 on a machine that crashed\n";

  const Run r = run(out, {videos_[0], videos_[1]}, {});
  close(held);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("m1.mp4: skipped: being tracked by pid 1 on elsewhere"), std::string::npos) << r.out;
  EXPECT_FALSE(exists(out + "/m1.csv"));
  EXPECT_NE(r.out.find("m2.mp4: done"), std::string::npos) << r.out;
  EXPECT_TRUE(exists(out + "/m2.csv"));
}

}  // namespace
