#include "behaviour/Table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "behaviour/FieldFormats.h"
#include "behaviour/Json.h"

namespace tressel::behaviour {

const char* const kBaseColumns[14] = {"frame",        "time_s",       "status",       "area_px",     "center_x",
                                      "center_y",     "nose_x",       "nose_y",       "tail_base_x", "tail_base_y",
                                      "tail_start_x", "tail_start_y", "tail_end_x",   "tail_end_y"};

const char* orientationName(Orientation orientation) {
  switch (orientation) {
    case Orientation::none: return "";
    case Orientation::found: return "found";
    case Orientation::reversed: return "reversed";
    case Orientation::track: return "track";
  }
  return "";
}

namespace {

using K = Cell::Kind;
using tracking::Pixel;

Cell integer(std::int64_t v) { return {K::integer, v, 0, ""}; }
Cell real(double v) { return std::isfinite(v) ? Cell{K::real, 0, v, ""} : Cell{}; }
Cell text(const char* v) { return {K::text, 0, 0, v}; }
Cell flag(bool v) { return {K::flag, v ? 1 : 0, 0, ""}; }
Cell tristate(signed char v) { return v < 0 ? Cell{} : flag(v != 0); }

// The columns of one point, x then y, present when `has` says so.
void point(std::vector<Column>& columns, const std::string& name, bool (*has)(const BehaviourRow&),
           Pixel (*get)(const BehaviourRow&)) {
  columns.push_back({name + "_x", K::integer, 0,
                     [has, get](const BehaviourRow& r) { return has(r) ? integer(get(r).x) : Cell{}; }});
  columns.push_back({name + "_y", K::integer, 0,
                     [has, get](const BehaviourRow& r) { return has(r) ? integer(get(r).y) : Cell{}; }});
}

bool hasPoints(const BehaviourRow& r) { return r.record.hasPoints(); }
bool hasTail(const BehaviourRow& r) { return r.record.hasTail(); }
bool hasHead(const BehaviourRow& r) { return r.orientation != Orientation::none; }

std::string fixed(double value, int decimals) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string out(buffer, result.ptr);
  // No "-0.000": a value that rounds to zero prints as zero.
  if (out[0] == '-' && out.find_first_not_of("-0.") == std::string::npos) out.erase(0, 1);
  return out;
}

std::string csvText(const char* text) {
  const std::string s(text);
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string quoted = "\"";
  for (char c : s) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

std::vector<Column> tableColumns(const std::string& unit) {
  std::vector<Column> c;
  c.push_back({"frame", K::integer, 0, [](const BehaviourRow& r) { return integer(r.record.frame); }});
  c.push_back({"time_s", K::real, 6, [](const BehaviourRow& r) { return real(r.record.time); }});
  c.push_back({"status", K::text, 0, [](const BehaviourRow& r) { return text(tracking::statusName(r.record.status)); }});
  c.push_back({"area_px", K::integer, 0, [](const BehaviourRow& r) {
                 return r.record.status == tracking::FrameStatus::decodeError ? Cell{} : integer(r.record.areaPx);
               }});
  point(c, "center", hasPoints, [](const BehaviourRow& r) { return r.record.center; });
  point(c, "nose", hasHead, [](const BehaviourRow& r) { return r.nose; });
  point(c, "tail_base", hasHead, [](const BehaviourRow& r) { return r.tailBase; });
  point(c, "tail_start", hasTail, [](const BehaviourRow& r) { return r.record.tailStart; });
  point(c, "tail_end", hasTail, [](const BehaviourRow& r) { return r.record.tailEnd; });

  c.push_back({"center_sub_x", K::real, 3, [](const BehaviourRow& r) { return r.hasPosition ? real(r.x) : Cell{}; }});
  c.push_back({"center_sub_y", K::real, 3, [](const BehaviourRow& r) { return r.hasPosition ? real(r.y) : Cell{}; }});
  // The body as the tracker measured it: enough, with the raw_ columns, to
  // measure a table again without the video (TableReader).
  c.push_back({"body_area_px", K::integer, 0, [](const BehaviourRow& r) {
                 return hasPoints(r) ? integer(r.record.bodyAreaPx) : Cell{};
               }});
  point(c, "body_end_a", hasPoints, [](const BehaviourRow& r) { return r.record.bodyEndA; });
  point(c, "body_end_b", hasPoints, [](const BehaviourRow& r) { return r.record.bodyEndB; });
  c.push_back({"body_change_px", K::integer, 0, [](const BehaviourRow& r) {
                 return hasPoints(r) && r.record.bodyChangePx >= 0 ? integer(r.record.bodyChangePx) : Cell{};
               }});
  c.push_back({"heading_deg", K::real, 2, [](const BehaviourRow& r) { return real(r.headingDeg); }});
  c.push_back({"orientation_confidence", K::real, 3, [](const BehaviourRow& r) { return real(r.confidence); }});
  c.push_back({"orientation", K::text, 0, [](const BehaviourRow& r) {
                 return hasHead(r) ? text(orientationName(r.orientation)) : Cell{};
               }});
  point(c, "raw_nose", hasPoints, [](const BehaviourRow& r) { return r.record.nose; });
  point(c, "raw_tail_base", hasTail, [](const BehaviourRow& r) { return r.record.tailBase; });
  c.push_back({"sharp_turn", K::flag, 0, [](const BehaviourRow& r) { return flag(r.sharpTurn); }});
  c.push_back({"interpolated", K::flag, 0, [](const BehaviourRow& r) { return flag(r.interpolated); }});
  c.push_back({"jump", K::flag, 0, [](const BehaviourRow& r) { return flag(r.jump); }});
  c.push_back({"speed_" + unit + "_s", K::real, 3, [](const BehaviourRow& r) { return real(r.speed); }});
  c.push_back({"distance_" + unit, K::real, 3, [](const BehaviourRow& r) { return real(r.distance); }});
  c.push_back({"moving", K::flag, 0, [](const BehaviourRow& r) { return tristate(r.moving); }});
  c.push_back({"mobility", K::real, 4, [](const BehaviourRow& r) { return real(r.mobility); }});
  c.push_back({"freezing", K::flag, 0, [](const BehaviourRow& r) { return tristate(r.freezing); }});
  c.push_back({"zone", K::text, 0, [](const BehaviourRow& r) {
                 if (!r.hasPosition) return Cell{};
                 return text(r.zone >= 0 && r.arena ? r.arena->zones[static_cast<std::size_t>(r.zone)].name.c_str() : "");
               }});
  c.push_back({"arena", K::text, 0, [](const BehaviourRow& r) { return text(r.arena ? r.arena->arena.name.c_str() : ""); }});
  return c;
}

std::string csvCell(const Cell& cell, int decimals) {
  switch (cell.kind) {
    case K::missing: return "";
    case K::integer:
    case K::flag: return std::to_string(cell.integer);
    case K::real: return fixed(cell.real, decimals);
    case K::text: return csvText(cell.text);
  }
  return "";
}

std::string jsonCell(const Cell& cell, int decimals) {
  switch (cell.kind) {
    case K::missing: return "null";
    case K::integer: return std::to_string(cell.integer);
    case K::flag: return cell.integer ? "true" : "false";
    case K::real: return fixed(cell.real, decimals);
    case K::text: return jsonQuoted(cell.text);
  }
  return "null";
}

RowWriter::RowWriter(std::ostream& out, TableFormat format, std::vector<Column> columns)
    : out_(out), format_(format), columns_(std::move(columns)) {
  if (format_ == TableFormat::dlc) dlc_ = std::make_shared<const DlcLayout>(columns_);
}

void RowWriter::header(const std::vector<std::string>& comments) {
  if (dlc_) {
    out_ << dlc_->header();
    return;
  }
  if (format_ != TableFormat::csv) return;
  std::string text;
  for (const std::string& comment : comments) {
    // A comment of several lines stays a comment on every line.
    std::size_t start = 0;
    for (;;) {
      const std::size_t end = comment.find('\n', start);
      text += "# " + comment.substr(start, end == std::string::npos ? std::string::npos : end - start) + "\n";
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  for (std::size_t i = 0; i < columns_.size(); ++i) text += (i ? "," : "") + columns_[i].name;
  out_ << text << '\n';
}

std::string RowWriter::text(const BehaviourRow& row) const {
  if (dlc_) return dlc_->line(row);
  std::string line;
  if (format_ == TableFormat::csv) {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (i) line += ',';
      line += csvCell(columns_[i].get(row), columns_[i].decimals);
    }
  } else {
    line = "{";
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      line += (i ? ",\"" : "\"") + columns_[i].name + "\":" + jsonCell(columns_[i].get(row), columns_[i].decimals);
    }
    line += "}";
  }
  return line + "\n";
}

void RowWriter::row(const BehaviourRow& row) { out_ << text(row); }

void RowWriter::flush() { out_.flush(); }

namespace {

// The columns a record is read from, in the order of TableReader::index_.
const char* const kRecordColumns[] = {
    "frame",         "time_s",        "status",       "area_px",      "center_x",       "center_y",
    "raw_nose_x",    "raw_nose_y",    "raw_tail_base_x", "raw_tail_base_y", "tail_start_x", "tail_start_y",
    "tail_end_x",    "tail_end_y",    "center_sub_x", "center_sub_y", "body_area_px",   "body_end_a_x",
    "body_end_a_y",  "body_end_b_x",  "body_end_b_y", "body_change_px", "arena"};
enum RecordColumn {
  cFrame, cTime, cStatus, cArea, cCenterX, cCenterY, cNoseX, cNoseY, cBaseX, cBaseY, cStartX, cStartY,
  cEndX, cEndY, cSubX, cSubY, cBodyArea, cEndAX, cEndAY, cEndBX, cEndBY, cChange, cArena, cCount
};

}  // namespace

std::vector<std::string> csvFields(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c != '\r') {
      fields.back() += c;
    }
  }
  return fields;
}

TableReader::TableReader(const std::string& header, std::string fileName, std::vector<std::string> arenaNames)
    : fileName_(std::move(fileName)), arenaNames_(std::move(arenaNames)), index_(cCount, -1) {
  const std::vector<std::string> names = csvFields(header);
  for (int k = 0; k < cCount; ++k) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] == kRecordColumns[k]) index_[k] = static_cast<int>(i);
    }
    if (index_[k] < 0) throw BehaviourError(fileName_ + ": no column " + kRecordColumns[k] + " in the table's header");
  }
}

tracking::FrameRecord TableReader::record(const std::string& line, std::int64_t lineNumber) const {
  const std::vector<std::string> fields = csvFields(line);
  const std::string where = fileName_ + ": line " + std::to_string(lineNumber) + ": ";
  auto field = [&](int k) -> const std::string& {
    if (static_cast<std::size_t>(index_[k]) >= fields.size()) {
      throw BehaviourError(where + "too few fields (" + std::to_string(fields.size()) + ")");
    }
    return fields[static_cast<std::size_t>(index_[k])];
  };
  auto bad = [&](int k, const char* what) {
    return BehaviourError(where + "column " + kRecordColumns[k] + ": '" + field(k) + "' is not " + what);
  };
  auto integer = [&](int k) {
    const std::string& text = field(k);
    std::int64_t v = 0;
    const auto [next, status] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || status != std::errc() || next != text.data() + text.size()) throw bad(k, "a whole number");
    return v;
  };
  auto pixel = [&](int kx) {
    const std::int64_t x = integer(kx), y = integer(kx + 1);
    constexpr std::int64_t limit = std::numeric_limits<std::int32_t>::max();
    if (x < -limit || x > limit || y < -limit || y > limit) throw bad(kx, "a pixel coordinate");
    return tracking::Pixel{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)};
  };
  auto real = [&](int k) {
    const std::string& text = field(k);
    double v = 0;
    const auto [next, status] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || status != std::errc() || next != text.data() + text.size() || !std::isfinite(v)) {
      throw bad(k, "a number");
    }
    return v;
  };

  tracking::FrameRecord r;
  r.frame = integer(cFrame);
  r.time = real(cTime);
  bool known = false;
  for (auto s : {tracking::FrameStatus::ok, tracking::FrameStatus::noTail, tracking::FrameStatus::noAnimal,
                 tracking::FrameStatus::oddSize, tracking::FrameStatus::decodeError}) {
    if (field(cStatus) == tracking::statusName(s)) {
      r.status = s;
      known = true;
    }
  }
  if (!known) throw bad(cStatus, "a frame status");
  if (!arenaNames_.empty()) {
    const auto found = std::find(arenaNames_.begin(), arenaNames_.end(), field(cArena));
    if (found == arenaNames_.end()) throw bad(cArena, "one of the arenas");
    r.arena = static_cast<int>(found - arenaNames_.begin());
  }
  if (r.status == tracking::FrameStatus::decodeError) {
    r.error = "could not be decoded";
    return r;
  }
  r.areaPx = integer(cArea);
  if (!r.hasPoints()) return r;
  r.center = pixel(cCenterX);
  r.nose = pixel(cNoseX);
  r.tailFound = !field(cBaseX).empty();
  if (r.tailFound) {
    r.tailBase = pixel(cBaseX);
    r.tailStart = pixel(cStartX);
    r.tailEnd = pixel(cEndX);
  }
  r.centerSubX = real(cSubX);
  r.centerSubY = real(cSubY);
  r.bodyAreaPx = integer(cBodyArea);
  r.bodyEndA = pixel(cEndAX);
  r.bodyEndB = pixel(cEndBX);
  r.bodyChangePx = field(cChange).empty() ? -1 : integer(cChange);
  return r;
}

}  // namespace tressel::behaviour
