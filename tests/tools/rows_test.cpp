#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "Rows.h"

namespace {

using tressel_tool::Format;
using tressel_tool::Row;
using tressel_tool::RowFormatter;

Row sampleRow(bool hasTail, bool empty = false) {
  Row r;
  r.file = "a.png";
  r.empty = empty;
  r.result.has_tail = hasTail;
  r.result.tail_base = {10, -2};
  r.result.tail_start = {11, -1};
  r.result.tail_end = {9, -3};
  r.result.body_center = {40, 5};
  r.result.nose = {70, 6};
  return r;
}

struct Case {
  const char* name;
  Format format;
  Row row;
  std::string expected;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class RowFormats : public testing::TestWithParam<Case> {};

// Where the columns of a table line start: after `gap` or more spaces (a
// heading has single spaces inside).
std::vector<std::size_t> columnStarts(const std::string& line, std::size_t gap) {
  std::vector<std::size_t> starts;
  std::size_t spaces = gap;
  for (std::size_t i = 0; i < line.size() && line[i] != '\n'; ++i) {
    if (line[i] != ' ' && spaces >= gap) starts.push_back(i);
    spaces = line[i] == ' ' ? spaces + 1 : 0;
  }
  return starts;
}

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> result;
  std::stringstream s(line);
  for (std::string w; s >> w;) result.push_back(w);
  return result;
}

// CSV and JSON exactly; a table row by its values, each under its heading.
TEST_P(RowFormats, PrintTheRow) {
  const RowFormatter f(GetParam().format, 5);
  const std::string row = f.row(GetParam().row);
  if (GetParam().format != Format::table) {
    EXPECT_EQ(row, GetParam().expected);
    return;
  }
  EXPECT_EQ(words(row), words(GetParam().expected));
  EXPECT_EQ(columnStarts(row, 1), columnStarts(f.header(), 2));
  EXPECT_EQ(row.back(), '\n');
}

TEST(RowFormats, TableKeepsLongValuesApart) {
  Row r = sampleRow(true);
  r.result.tail_base = {-2147483647 - 1, -2147483647 - 1};
  r.result.body_center = {1234567, -7654321};
  const std::string row = RowFormatter(Format::table, 5).row(r);
  EXPECT_EQ(words(row), (std::vector<std::string>{"a.png", "yes", "-2147483648,-2147483648", "11,-1", "9,-3",
                                                  "1234567,-7654321", "70,6"}));
}

// Points that do not exist (the tail's without a tail, all of them for an
// empty mask) are left out rather than printed as a false (0, 0).
INSTANTIATE_TEST_SUITE_P(
    Formats, RowFormats,
    testing::Values(
        Case{"csv_tail", Format::csv, sampleRow(true), "a.png,1,10,-2,11,-1,9,-3,40,5,70,6\n"},
        Case{"csv_no_tail", Format::csv, sampleRow(false), "a.png,0,,,,,,,40,5,70,6\n"},
        Case{"csv_empty", Format::csv, sampleRow(false, true), "a.png,0,,,,,,,,,,\n"},
        Case{"json_tail", Format::json, sampleRow(true),
             "{\"file\":\"a.png\",\"has_tail\":true,\"tail_base\":[10,-2],\"tail_start\":[11,-1],"
             "\"tail_end\":[9,-3],\"center\":[40,5],\"nose\":[70,6]}\n"},
        Case{"json_no_tail", Format::json, sampleRow(false),
             "{\"file\":\"a.png\",\"has_tail\":false,\"tail_base\":null,\"tail_start\":null,"
             "\"tail_end\":null,\"center\":[40,5],\"nose\":[70,6]}\n"},
        Case{"table_tail", Format::table, sampleRow(true), "a.png yes 10,-2 11,-1 9,-3 40,5 70,6"},
        Case{"table_empty", Format::table, sampleRow(false, true), "a.png no - - - - -"}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(RowFormats, HeadersNameEveryColumn) {
  EXPECT_EQ(RowFormatter(Format::csv, 5).header(),
            "file,has_tail,tail_base_x,tail_base_y,tail_start_x,tail_start_y,tail_end_x,tail_end_y,"
            "center_x,center_y,nose_x,nose_y\n");
  EXPECT_EQ(RowFormatter(Format::json, 5).header(), "");
  EXPECT_EQ(RowFormatter(Format::table, 5).header().substr(0, 13), "file   tail  ");
}

struct Quoted {
  std::string text, csv, json;
};
void PrintTo(const Quoted& c, std::ostream* os) { *os << c.csv; }

class Quoting : public testing::TestWithParam<Quoted> {};

TEST_P(Quoting, KeepsFileNamesIntact) {
  EXPECT_EQ(tressel_tool::csvField(GetParam().text), GetParam().csv);
  EXPECT_EQ(tressel_tool::jsonString(GetParam().text), GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    Names, Quoting,
    testing::Values(Quoted{"plain.png", "plain.png", "\"plain.png\""},
                    Quoted{"a,b.png", "\"a,b.png\"", "\"a,b.png\""},
                    Quoted{"say \"hi\".png", "\"say \"\"hi\"\".png\"", "\"say \\\"hi\\\".png\""},
                    Quoted{"back\\slash\ttab", "back\\slash\ttab", "\"back\\\\slash\\u0009tab\""},
                    Quoted{"line\nbreak", "\"line\nbreak\"", "\"line\\u000abreak\""},
                    Quoted{"caf\xC3\xA9.png", "caf\xC3\xA9.png", "\"caf\xC3\xA9.png\""},
                    // Not UTF-8: a stray byte, a cut sequence, an overlong form, a surrogate.
                    Quoted{"a\xFF" "b", "a\xFF" "b", "\"a\xEF\xBF\xBD" "b\""},
                    Quoted{"x\xE2\x82", "x\xE2\x82", "\"x\xEF\xBF\xBD\xEF\xBF\xBD\""},
                    Quoted{"\xC0\xAF", "\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
                    Quoted{"\xED\xA0\x80", "\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""}));

}  // namespace
