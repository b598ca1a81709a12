// Row-major matrix with one contiguous, owned block. Sizes are checked before
// anything is allocated: a side beyond the int32 range or more than 2^28 cells
// raises allocException, as does a failed allocation. A side of 0 or less is
// kept as given, with no storage.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "support/exception.h"
#include "support/genericVector.h"
#include "support/object.h"

namespace lti {

// Largest number of cells a raster (or the width grid) may hold.
constexpr std::int64_t maxRasterCells = std::int64_t{1} << 28;

// Throws allocException unless a rows x columns block may be allocated; returns
// the number of cells to allocate (0 when either side is 0 or less).
std::int64_t checkedCellCount(std::int64_t rows, std::int64_t columns);

template <class T>
class genericMatrix : public mathObject {
 public:
  genericMatrix() = default;
  genericMatrix(std::int64_t rows, std::int64_t columns, const T& value) { setSize(rows, columns, value); }
  genericMatrix(const genericMatrix&) = delete;
  genericMatrix& operator=(const genericMatrix&) = delete;
  ~genericMatrix() override { std::free(data_); }

  const char* getTypeName() const override { return "genericMatrix"; }

  // Becomes rows x columns with every cell = value, also when the size is
  // unchanged.
  void setSize(std::int64_t rows, std::int64_t columns, const T& value) {
    std::int64_t cells = checkedCellCount(rows, columns);
    if (cells != cellCount()) {
      std::free(data_);
      data_ = nullptr;
      if (cells > 0) {
        void* block = std::malloc(static_cast<std::size_t>(cells) * sizeof(T));
        if (block == nullptr) throw allocException();
        data_ = static_cast<T*>(block);
      }
    }
    rows_ = clampSide(rows);
    columns_ = clampSide(columns);
    fill(value);
  }

  void fill(const T& value) {
    std::int64_t n = cellCount();
    if (sizeof(T) == 1) {
      if (n > 0) std::memset(data_, static_cast<int>(value), static_cast<std::size_t>(n));
    } else {
      for (std::int64_t i = 0; i < n; ++i) data_[i] = value;
    }
  }

  int rows() const { return rows_; }
  int columns() const { return columns_; }
  int lastRow() const { return rows_ - 1; }
  int lastColumn() const { return columns_ - 1; }
  bool hasStorage() const { return data_ != nullptr; }

  // No bounds check: callers stay inside.
  T& at(int row, int column) { return data_[static_cast<std::size_t>(row) * columns_ + column]; }
  const T& at(int row, int column) const {
    return data_[static_cast<std::size_t>(row) * columns_ + column];
  }
  T* rowData(int row) { return data_ + static_cast<std::size_t>(row) * columns_; }
  const T* rowData(int row) const { return data_ + static_cast<std::size_t>(row) * columns_; }

  // A view of one row. Views are made on demand rather than kept, so a raster
  // costs its pixels and nothing per row.
  genericVector<T> getRow(int row) {
    genericVector<T> view;
    view.useExternData(columns_, rowData(row));
    return view;
  }

 private:
  std::int64_t cellCount() const {
    return (rows_ > 0 && columns_ > 0) ? std::int64_t{rows_} * columns_ : 0;
  }
  static int clampSide(std::int64_t side) {
    return side < INT32_MIN ? INT32_MIN : static_cast<int>(side);  // upper bound already checked
  }

  int rows_ = 0;
  int columns_ = 0;
  T* data_ = nullptr;
};

template <class T>
class matrix : public genericMatrix<T> {
 public:
  using genericMatrix<T>::genericMatrix;
  const char* getTypeName() const override { return "matrix"; }
};

}  // namespace lti
