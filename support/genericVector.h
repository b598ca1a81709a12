// A vector of bytes that either owns its storage or is a view of someone
// else's (a raster row). Only what the rasters need.
#pragma once

#include <cstddef>

#include "support/exception.h"
#include "support/object.h"

namespace lti {

template <class T>
class genericVector : public mathObject {
 public:
  // Raised when a view of foreign memory would be pointed elsewhere.
  class constReferenceException : public exception {
   public:
    constReferenceException() : exception("const reference can not be changed") {}
    const char* getTypeName() const override { return "constReferenceException"; }
  };

  genericVector() = default;
  genericVector(const genericVector&) = delete;
  genericVector& operator=(const genericVector&) = delete;
  genericVector(genericVector&& other) noexcept
      : size_(other.size_), data_(other.data_), constReference_(other.constReference_) {
    other.size_ = 0;
    other.data_ = nullptr;
    other.constReference_ = false;
  }

  const char* getTypeName() const override { return "genericVector"; }

  // Makes this vector a view of n elements at data, which it does not own.
  void useExternData(int n, T* data) {
    if (constReference_) throw constReferenceException();
    size_ = n;
    data_ = data;
    constReference_ = true;
  }

  int size() const { return size_; }
  T& at(int i) { return data_[i]; }
  const T& at(int i) const { return data_[i]; }
  T* data() { return data_; }
  const T* data() const { return data_; }

 private:
  int size_ = 0;
  T* data_ = nullptr;
  bool constReference_ = false;
};

}  // namespace lti
