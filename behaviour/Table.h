// The per-frame table: one list of columns (a name, a kind, and how to read
// a row's value) that every writer iterates, and the CSV and JSON lines
// writers that `tressel track` calls as frames finish.
//
//   std::vector<Column> columns = tableColumns("px");   // or behaviour.columns()
//   RowWriter writer(std::cout, TableFormat::csv, columns);
//   writer.header({"input: mouse.mp4", "threshold: 23"});  // "# " lines, then the names
//   for (const BehaviourRow& row : rows) writer.row(row);
//   writer.flush();                                       // after each batch of finished rows
//   if (writer.failed()) ...                              // e.g. a full disk
//
// The columns, in order (U is the unit, px or cm):
//   frame, time_s, status, area_px, center_x, center_y        the tracker's 14 base columns,
//   nose_x, nose_y, tail_base_x, tail_base_y,                 exactly (kBaseColumns); nose and
//   tail_start_x, tail_start_y, tail_end_x, tail_end_y        tail base as the track decides
//   center_sub_x, center_sub_y       the position measured from (sub-pixel body centre, or interpolated)
//   body_area_px, body_end_a_x, body_end_a_y, body_end_b_x, body_end_b_y, body_change_px
//   heading_deg                      tail base (no tail: body centre) -> nose, 0 = +x, 90 = +y
//   orientation_confidence           0-1
//   orientation                      found, reversed (the ends swapped back) or track (no tail)
//   raw_nose_x, raw_nose_y, raw_tail_base_x, raw_tail_base_y   the analysis's own
//   sharp_turn, interpolated, jump   flags, 0/1
//   speed_U_s, distance_U            per frame, and travelled so far
//   moving, mobility, freezing       moving and freezing 0/1
//   zone, arena                      names
// Points are empty (JSON null) where undefined, never 0,0; tail_start and
// tail_end are the analysis's cut as it made it (in a reversed frame, at the
// head).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "behaviour/Row.h"

namespace tressel::behaviour {

extern const char* const kBaseColumns[14];

struct Cell {
  enum class Kind : std::uint8_t { missing, integer, real, text, flag };
  Kind kind = Kind::missing;
  std::int64_t integer = 0;  // integer, flag (0 or 1)
  double real = 0;
  const char* text = "";     // text: lives as long as the row and its arena
};

struct Column {
  std::string name;
  Cell::Kind kind;  // what a value of this column is (a cell may still be missing)
  int decimals;     // real columns: digits after the point in CSV and JSON
  std::function<Cell(const BehaviourRow&)> get;
};

// Every column in order; names of lengths and speeds end in the unit
// ("px" or "cm": distance_cm, speed_cm_s).
std::vector<Column> tableColumns(const std::string& unit);

// A cell as text: CSV ("" for missing, 0/1 for flags, quoted text where
// needed) or JSON (null, true/false, quoted strings).
std::string csvCell(const Cell& cell, int decimals);
std::string jsonCell(const Cell& cell, int decimals);

// dlc: DeepLabCut's layout (FieldFormats.h), one arena.
enum class TableFormat { csv, jsonLines, dlc };
class DlcLayout;

class RowWriter {
 public:
  // Throws BehaviourError when the columns lack one that the format needs.
  RowWriter(std::ostream& out, TableFormat format, std::vector<Column> columns);
  // CSV: each comment as a "# " line, then the column names. JSON lines:
  // nothing (a JSON lines file has no header; its settings go in a side file).
  // DeepLabCut: its three header rows, without the comments.
  void header(const std::vector<std::string>& comments = {});
  void row(const BehaviourRow& row);
  std::string text(const BehaviourRow& row) const;  // the line row() writes, with its '\n'
  void flush();
  bool failed() const { return out_.fail(); }

 private:
  std::ostream& out_;
  TableFormat format_;
  std::vector<Column> columns_;
  std::shared_ptr<const DlcLayout> dlc_;
};

// Reads a CSV table's rows back into the tracker's records, so that a table
// can be measured again with other settings, without the video:
//
//   TableReader reader(headerLine, "mouse.csv", {"left", "right"});  // {}: one arena
//   FrameRecord record = reader.record(line, lineNumber);            // each data line
//
// The records come from the tracker's own values (raw_nose, raw_tail_base,
// the body_ columns), not from the corrected ones. Throws BehaviourError
// ("mouse.csv: line 7: column time_s: '0.x' is not a number").
class TableReader {
 public:
  TableReader(const std::string& header, std::string fileName, std::vector<std::string> arenaNames);
  tracking::FrameRecord record(const std::string& line, std::int64_t lineNumber) const;

 private:
  std::string fileName_;
  std::vector<std::string> arenaNames_;
  std::vector<int> index_;  // position of each needed column in a line
};

// The fields of one CSV line (RFC 4180 quoting, without line breaks in fields).
std::vector<std::string> csvFields(const std::string& line);

}  // namespace tressel::behaviour
