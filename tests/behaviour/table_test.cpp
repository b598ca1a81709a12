#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "behaviour/Json.h"
#include "records.h"

using namespace behaviour_test;
using tressel::behaviour::BehaviourError;
using tressel::behaviour::RowWriter;
using tressel::behaviour::TableFormat;

// The tracker's base columns come first, exactly; missing points are empty
// (null in JSON), never 0,0; the analysis's own ends stay in raw_ columns.
TEST(Table, BaseColumnsAndMissingPoints) {
  std::vector<Pose> poses(12);
  for (int i = 0; i < 12; ++i) poses[i].x = 100 + i;
  poses[5].present = false;
  poses[8].reversed = true;  // one frame with the ends swapped: the track corrects it
  Behaviour behaviour(BehaviourOptions(), frame400());
  std::ostringstream csv, json;
  RowWriter csvWriter(csv, TableFormat::csv, behaviour.columns());
  RowWriter jsonWriter(json, TableFormat::jsonLines, behaviour.columns());
  csvWriter.header({"input: synthetic"});
  std::vector<BehaviourRow> rows;
  for (int i = 0; i < 12; ++i) behaviour.push(record(i, poses[i]), rows);
  behaviour.finish(rows);
  for (const BehaviourRow& row : rows) {
    csvWriter.row(row);
    jsonWriter.row(row);
  }
  std::vector<std::string> lines;
  std::istringstream in(csv.str());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 2u + 12u);
  EXPECT_EQ(lines[0], "# input: synthetic");
  EXPECT_EQ(lines[1].rfind("frame,time_s,status,area_px,center_x,center_y,nose_x,nose_y,tail_base_x,tail_base_y,"
                           "tail_start_x,tail_start_y,tail_end_x,tail_end_y,center_sub_x,",
                           0),
            0u);
  // Every point column of the frame without an animal is empty.
  std::vector<std::string> names, fields;
  for (std::istringstream h(lines[1]); names.emplace_back(), std::getline(h, names.back(), ',');) {}
  for (std::istringstream f(lines[7] + ","); fields.emplace_back(), std::getline(f, fields.back(), ',');) {}
  ASSERT_GE(fields.size(), names.size());
  int points = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& n = names[i];
    if (n.size() > 2 && (n.compare(n.size() - 2, 2, "_x") == 0 || n.compare(n.size() - 2, 2, "_y") == 0)) {
      EXPECT_EQ(fields[i], "") << n;
      ++points;
    }
  }
  EXPECT_EQ(points, 2 * 10);
  EXPECT_EQ(lines[7].rfind("5,0.166667,no_animal,0,", 0), 0u) << lines[7];
  // Frame 8: nose at the true head (x + 20), the analysis's nose (x - 20) kept raw.
  EXPECT_NE(lines[10].find("8,0.266667,ok,1200,108,100,128,100,88,100,"), std::string::npos) << lines[10];
  EXPECT_NE(lines[10].find(",reversed,88,100,128,100,"), std::string::npos) << lines[10];
  std::string jsonLine;
  std::istringstream jin(json.str());
  for (int i = 0; i <= 5; ++i) std::getline(jin, jsonLine);
  EXPECT_EQ(jsonLine.rfind("{\"frame\":5,\"time_s\":0.166667,\"status\":\"no_animal\",\"area_px\":0,\"center_x\":null,", 0), 0u)
      << jsonLine;
}

// Bad input gets one line that names the file or option and the fault.
TEST(Input, BadFilesAndOptions) {
  struct FileCase {
    const char* text;
    const char* message;
  };
  for (const FileCase c : {
           FileCase{"{\"zones\": [", "zones.json: not valid JSON: line 1, column 12: unexpected end of the text"},
           FileCase{"zones: []", "zones.json: not valid JSON: line 1, column 1: expected a JSON value"},
           FileCase{"{\"zones\": [{\"name\": \"a\", \"polygon\": [[0, 0], [5, 5]]}]}",
                    "zones.json: zone 1 \"a\": a polygon needs at least 3 points"},
           FileCase{"{\"zones\": [{\"name\": \"a\", \"circle\": [0, 0, 0]}]}",
                    "zones.json: zone 1 \"a\": a circle needs a positive radius"},
           FileCase{"{\"zones\": [{\"name\": \"a\", \"rect\": [0, 0, 5, 5], \"colour\": 1}]}",
                    "zones.json: zone 1 \"a\": unknown member \"colour\""},
           FileCase{"{\"zones\": [{\"name\": \"a\", \"rect\": [0, 0, 5, 5]}, {\"name\": \"a\", \"rect\": [1, 1, 5, 5]}]}",
                    "zones.json: zone 2 \"a\": the name is used twice for the same arena"},
           FileCase{"{\"zones\": [{\"name\": \"a\", \"rect\": [0, 0, 5]}]}",
                    "zones.json: zone 1 \"a\": \"rect\" must be an array of 4 numbers"},
       }) {
    try {
      tressel::behaviour::parseZones(c.text, "zones.json");
      ADD_FAILURE() << "accepted " << c.text;
    } catch (const BehaviourError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
  try {
    tressel::behaviour::loadArenasFile("/nonexistent/arenas.json");
    ADD_FAILURE();
  } catch (const BehaviourError& e) {
    EXPECT_EQ(std::string(e.what()), "/nonexistent/arenas.json: cannot be opened");
  }

  struct OptionCase {
    const char* name;
    const char* value;
    const char* message;
  };
  for (const OptionCase c : {
           OptionCase{"--scale", "0cm:812px", "option --scale: '0cm:812px' is not LENGTH:PIXELS with both above 0, such as 40cm:812px"},
           OptionCase{"--scale", "40cm:0px", "option --scale: '40cm:0px' is not LENGTH:PIXELS with both above 0, such as 40cm:812px"},
           OptionCase{"--scale", "40:812", "option --scale: '40:812' is not LENGTH:PIXELS with both above 0, such as 40cm:812px"},
           OptionCase{"--arena-size", "40x0cm", "option --arena-size: '40x0cm' is not WxH with a length unit, such as 40x40cm"},
           OptionCase{"--smooth", "4", "option --smooth: '4' is not an odd whole number from 1 to 31"},
           OptionCase{"--move-start", "2", "option --move-start: '2' is not a speed such as 20px/s, 2cm/s, 15mm/s or 0.5bl/s (body lengths per second)"},
           OptionCase{"--bin", "-5s", "option --bin: '-5s' is not a duration such as 60s or 5min"},
       }) {
    BehaviourOptions options;
    EXPECT_EQ(tressel::behaviour::findBehaviourOption(c.name)->apply(c.value, options), c.message);
  }
  BehaviourOptions options;
  ASSERT_EQ(tressel::behaviour::findBehaviourOption("--move-start")->apply("2cm/s", options), "");
  EXPECT_EQ(tressel::behaviour::checkBehaviourOptions(options), "option --move-start: a speed in cm/s needs --scale or --arena-size");
  EXPECT_THROW(Behaviour(options, frame400()), BehaviourError);
  // A record of an arena that does not exist, or out of order.
  Behaviour behaviour(BehaviourOptions(), frame400());
  std::vector<BehaviourRow> rows;
  Pose elsewhere;
  elsewhere.arena = 1;
  EXPECT_THROW(behaviour.push(record(0, elsewhere), rows), BehaviourError);
  behaviour.push(record(3, Pose()), rows);
  EXPECT_THROW(behaviour.push(record(3, Pose()), rows), BehaviourError);
}

// A table read back gives the tracker's records again: measuring them once
// more writes the same table, corrections included.
TEST(Table, ReadBackMeasuresTheSame) {
  std::vector<Pose> poses;
  for (int i = 0; i < 90; ++i) {
    Pose p;
    p.x = 100 + 2 * i;
    p.y = 150 + (i % 7);
    p.reversed = i >= 30 && i < 33;
    p.tail = !(i >= 50 && i < 60);
    p.swapEnds = i % 2 == 0;
    p.present = i != 70;
    p.change = i % 3 == 0 ? -1 : 5 * i;
    poses.push_back(p);
  }
  auto table = [](const std::vector<FrameRecord>& records) {
    BehaviourOptions options;
    options.interpolate = 2;
    Behaviour behaviour(options, frame400());
    std::ostringstream out;
    RowWriter writer(out, TableFormat::csv, behaviour.columns());
    writer.header();
    std::vector<BehaviourRow> rows;
    for (const FrameRecord& r : records) behaviour.push(r, rows);
    behaviour.finish(rows);
    for (const BehaviourRow& row : rows) writer.row(row);
    return out.str();
  };
  std::vector<FrameRecord> records;
  for (int i = 0; i < 90; ++i) {
    records.push_back(record(i, poses[i]));
    records.back().time = 0.04 * i;  // times that six decimals hold exactly
  }
  const std::string first = table(records);
  std::istringstream in(first);
  std::string header, line;
  std::getline(in, header);
  const tressel::behaviour::TableReader reader(header, "table.csv", {});
  std::vector<FrameRecord> again;
  for (std::int64_t n = 2; std::getline(in, line); ++n) again.push_back(reader.record(line, n));
  EXPECT_EQ(table(again), first);
  EXPECT_NE(first.find(",reversed,"), std::string::npos);
  try {
    reader.record("3,0.x,ok", 9);
    ADD_FAILURE();
  } catch (const BehaviourError& e) {
    EXPECT_EQ(std::string(e.what()), "table.csv: line 9: column time_s: '0.x' is not a number");
  }
}

// The JSON reader is strict, and deep nesting is refused rather than
// overflowing the stack.
TEST(Input, StrictJson) {
  using tressel::behaviour::JsonError;
  using tressel::behaviour::parseJson;
  struct Case {
    std::string text;
    const char* message;  // nullptr: accepted
  };
  const std::vector<Case> cases = {
      {R"({"a": [1, -2.5e3, true, null, "x\u00e9\ud83d\ude00"]})", nullptr},
      {R"({"a": 1, "a": 2})", "line 1, column 10: duplicate member \"a\""},
      {"[1, 2,]", "line 1, column 7: expected a JSON value"},
      {"{\"a\":\n 01}", "line 2, column 3: expected ',' or '}'"},
      {R"(["\ud83d"])", "line 1, column 9: unpaired surrogate"},
      {"[1] [2]", "line 1, column 5: unexpected text after the JSON value"},
      {"\"tab\there\"", "line 1, column 5: control character in a string"},
      {std::string(100000, '['), "line 1, column 66: nested too deeply"},
  };
  for (const Case& c : cases) {
    try {
      const auto value = parseJson(c.text);
      EXPECT_EQ(c.message, nullptr) << c.text.substr(0, 40);
      if (!c.message) {
        EXPECT_EQ(value.find("a")->items[4].string, "x\xC3\xA9\xF0\x9F\x98\x80");
      }
    } catch (const JsonError& e) {
      EXPECT_STREQ(e.what(), c.message ? c.message : "") << c.text.substr(0, 40);
    }
  }
}

// DeepLabCut's layout: three header rows; per body part x, y, likelihood; a
// missing point empty with likelihood 0 (an interpolated centre too); the
// tail's cut left out where it lies at the head (the track swapped the ends).
TEST(Table, DeepLabCutLayout) {
  std::vector<Pose> poses(12);
  for (int i = 0; i < 12; ++i) poses[i].x = 100 + i;
  poses[5].present = false;
  poses[8].reversed = true;
  Behaviour behaviour(BehaviourOptions(), frame400());
  std::ostringstream csv, dlc;
  RowWriter table(csv, TableFormat::csv, behaviour.columns());
  RowWriter writer(dlc, TableFormat::dlc, behaviour.columns());
  writer.header({"input: synthetic"});
  std::vector<BehaviourRow> rows;
  for (int i = 0; i < 12; ++i) behaviour.push(record(i, poses[i]), rows);
  behaviour.finish(rows);
  for (const BehaviourRow& row : rows) writer.row(row);
  std::vector<std::string> lines;
  std::istringstream in(dlc.str());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u + 12u);
  std::string scorer = "scorer", parts = "bodyparts", coords = "coords";
  for (const char* part : {"nose", "tailbase", "center", "tailstart", "tailend"}) {
    scorer += ",tressel,tressel,tressel";
    parts += std::string(",") + part + "," + part + "," + part;
    coords += ",x,y,likelihood";
  }
  EXPECT_EQ(lines[0], scorer);
  EXPECT_EQ(lines[1], parts);
  EXPECT_EQ(lines[2], coords);

  // The orientation confidence of frame 3 as the table writes it.
  table.header();
  const std::vector<std::string> names = tressel::behaviour::csvFields(csv.str().substr(0, csv.str().find('\n')));
  const std::size_t at = std::find(names.begin(), names.end(), "orientation_confidence") - names.begin();
  ASSERT_LT(at, names.size());
  const std::string confidence = tressel::behaviour::csvFields(table.text(rows[3]))[at];
  ASSERT_FALSE(confidence.empty());
  struct Case {
    std::size_t frame;
    std::string line;
  };
  for (const Case& c : {
           Case{3, "3,123,100," + confidence + ",83,100," + confidence + ",103.000,100.000,1,83,103," + confidence +
                       ",43,100," + confidence},
           Case{5, "5" + std::string(",,,0,,,0,,,0,,,0,,,0")},
           Case{8, "8,128,100,"},
       }) {
    SCOPED_TRACE(c.frame);
    EXPECT_EQ(lines[3 + c.frame].rfind(c.line, 0), 0u) << lines[3 + c.frame];
  }
  // Frame 8: the nose at the true head, the cut (at the head) left out.
  EXPECT_EQ(lines[3 + 8].substr(lines[3 + 8].size() - 8), ",,,0,,,0") << lines[3 + 8];
}
