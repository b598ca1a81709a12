// The per-frame table in DeepLabCut's layout, for the tools that read pose
// tables: three header rows (scorer, bodyparts, coords), then one line per
// frame whose first field is the frame number and then x, y and likelihood
// per body part.
//
//   DlcLayout dlc(tableColumns("px"));      // finds its columns by name
//   out << dlc.header();
//   out << dlc.line(row);                   // each row of one arena
//
// Body parts: nose and tailbase as the track decides (likelihood: the
// orientation confidence), center the body's sub-pixel centre (likelihood 1
// where measured; an interpolated position is missing), tailstart and tailend
// the tail's cut where the analysis's head was kept (orientation "found";
// elsewhere the cut lies at the head, or there is no tail). A missing point
// is empty (read as NaN) with likelihood 0, never 0,0. python/tressel/formats.py
// builds the same table (and its HDF5 and SLEAP forms) from a CSV table.
#pragma once

#include <string>
#include <vector>

#include "behaviour/Table.h"

namespace tressel::behaviour {

class DlcLayout {
 public:
  explicit DlcLayout(std::vector<Column> columns, std::string scorer = "tressel");
  std::string header() const;
  std::string line(const BehaviourRow& row) const;

 private:
  const Column& column(const std::string& name) const;
  std::vector<Column> columns_;
  std::string scorer_;
};

}  // namespace tressel::behaviour
