// Exceptions of the support library. Only allocation failures are raised on
// the analysis paths; the facade lets them through to the host.
#pragma once

#include <exception>
#include <string>

#include "support/object.h"

namespace lti {

class exception : public object, public std::exception {
 public:
  explicit exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const char* getTypeName() const override { return "exception"; }

 private:
  std::string message_;
};

class allocException : public exception {
 public:
  allocException() : exception("memory allocation error") {}
  const char* getTypeName() const override { return "allocException"; }
};

}  // namespace lti
