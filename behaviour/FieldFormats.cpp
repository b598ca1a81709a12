#include "behaviour/FieldFormats.h"

#include <cstring>

#include "behaviour/Arenas.h"

namespace tressel::behaviour {
namespace {

struct Part {
  const char* name;
  const char* prefix;  // of the table's point columns
};
const Part kParts[] = {
    {"nose", "nose"}, {"tailbase", "tail_base"}, {"center", "center_sub"}, {"tailstart", "tail_start"}, {"tailend", "tail_end"}};

}  // namespace

DlcLayout::DlcLayout(std::vector<Column> columns, std::string scorer)
    : columns_(std::move(columns)), scorer_(std::move(scorer)) {
  for (const Part& p : kParts) {
    column(std::string(p.prefix) + "_x");
    column(std::string(p.prefix) + "_y");
  }
  for (const char* name : {"frame", "orientation_confidence", "orientation", "interpolated"}) column(name);
}

const Column& DlcLayout::column(const std::string& name) const {
  for (const Column& c : columns_) {
    if (c.name == name) return c;
  }
  throw BehaviourError("the table has no column " + name + " for the DeepLabCut layout");
}

std::string DlcLayout::header() const {
  std::string scorer = "scorer", parts = "bodyparts", coords = "coords";
  for (const Part& p : kParts) {
    for (const char* coord : {"x", "y", "likelihood"}) {
      scorer += "," + scorer_;
      parts += std::string(",") + p.name;
      coords += std::string(",") + coord;
    }
  }
  return scorer + "\n" + parts + "\n" + coords + "\n";
}

std::string DlcLayout::line(const BehaviourRow& row) const {
  const Column& confidenceColumn = column("orientation_confidence");
  const Cell confidence = confidenceColumn.get(row);
  const Cell orientation = column("orientation").get(row);
  const bool found = orientation.kind == Cell::Kind::text && std::strcmp(orientation.text, "found") == 0;
  const bool measured = column("interpolated").get(row).integer == 0;

  std::string line = csvCell(column("frame").get(row), 0);
  for (const Part& p : kParts) {
    const std::string prefix = p.prefix;
    const Column& xColumn = column(prefix + "_x");
    const Column& yColumn = column(prefix + "_y");
    const Cell x = xColumn.get(row), y = yColumn.get(row);
    const bool center = prefix == "center_sub", tailEnds = prefix == "tail_start" || prefix == "tail_end";
    bool present = x.kind != Cell::Kind::missing && y.kind != Cell::Kind::missing;
    if (center) present = present && measured;
    if (tailEnds) present = present && found;
    std::string likelihood = "0";
    if (present) likelihood = center ? "1" : confidence.kind == Cell::Kind::real ? csvCell(confidence, confidenceColumn.decimals) : "0";
    line += "," + (present ? csvCell(x, xColumn.decimals) : "") + "," + (present ? csvCell(y, yColumn.decimals) : "") +
            "," + likelihood;
  }
  return line + "\n";
}

}  // namespace tressel::behaviour
