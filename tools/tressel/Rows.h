// The rows `tressel analyze` prints, as CSV, JSON lines or an aligned table.
#pragma once

#include <cstddef>
#include <string>

#include "Options.h"
#include "tressel/tressel_c.h"

namespace tressel_tool {

struct Row {
  std::string file;
  bool empty = false;  // no silhouette: no points at all
  tressel_result result{};
};

class RowFormatter {
 public:
  // `fileWidth` is the widest file name, to align the table's first column.
  RowFormatter(Format format, std::size_t fileWidth);
  std::string header() const;  // may be ""
  std::string row(const Row& row) const;

 private:
  Format format_;
  std::size_t fileWidth_;
};

// Text quoted for CSV (RFC 4180) or JSON, exposed for the tests.
std::string csvField(const std::string& text);
std::string jsonString(const std::string& text);

}  // namespace tressel_tool
