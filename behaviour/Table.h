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
// The first 14 columns are the tracker's, exactly (kBaseColumns). Points are
// empty (JSON null) where undefined, never 0,0.
#pragma once

#include <cstdint>
#include <functional>
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

enum class TableFormat { csv, jsonLines };

class RowWriter {
 public:
  RowWriter(std::ostream& out, TableFormat format, std::vector<Column> columns);
  // CSV: each comment as a "# " line, then the column names. JSON lines:
  // nothing (a JSON lines file has no header; its settings go in a side file).
  void header(const std::vector<std::string>& comments = {});
  void row(const BehaviourRow& row);
  std::string text(const BehaviourRow& row) const;  // the line row() writes, with its '\n'
  void flush();
  bool failed() const { return out_.fail(); }

 private:
  std::ostream& out_;
  TableFormat format_;
  std::vector<Column> columns_;
};

}  // namespace tressel::behaviour
