#include "support/genericMatrix.h"

#include <limits>

namespace lti {

std::int64_t checkedCellCount(std::int64_t rows, std::int64_t columns) {
  constexpr std::int64_t maxSide = std::numeric_limits<std::int32_t>::max();
  if (rows > maxSide || columns > maxSide) throw allocException();
  if (rows <= 0 || columns <= 0) return 0;
  std::int64_t cells = rows * columns;  // both sides fit int32, so no overflow
  if (cells > maxRasterCells) throw allocException();
  return cells;
}

}  // namespace lti
