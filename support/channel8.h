// The 8-bit raster of the conversions and segment drawings. A pixel belongs to
// a region when it is not 0; drawn pixels hold 255.
#pragma once

#include <cstdint>

#include "support/genericMatrix.h"
#include "support/point.h"

namespace lti {

class channel8 : public matrix<unsigned char> {
 public:
  channel8() = default;
  channel8(std::int64_t rows, std::int64_t columns, unsigned char value)
      : matrix<unsigned char>(rows, columns, value) {}
  channel8(const point& size, unsigned char value) : matrix<unsigned char>(size.y, size.x, value) {}
  const char* getTypeName() const override { return "channel8"; }
};

}  // namespace lti
