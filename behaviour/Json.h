// A small, strict JSON reader for the zones and arenas files, and the few
// helpers that write JSON text. RFC 8259 only: no comments, no trailing
// commas, no duplicate keys; numbers are read as doubles.
//
//   JsonValue doc = parseJson(text);          // throws JsonError("line 3, column 7: expected ':'")
//   for (const JsonValue& zone : doc.at("zones").array()) ...
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tressel::behaviour {

class JsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct JsonValue {
  enum class Type { null, boolean, number, string, array, object };
  Type type = Type::null;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<JsonValue> items;                            // array elements
  std::vector<std::pair<std::string, JsonValue>> members;  // object members, in file order
  int line = 0;                                            // where the value starts, for messages
  int column = 0;

  bool isNumber() const { return type == Type::number; }
  bool isString() const { return type == Type::string; }
  bool isArray() const { return type == Type::array; }
  bool isObject() const { return type == Type::object; }
  const JsonValue* find(const std::string& key) const;  // nullptr when absent or not an object
  const char* typeName() const;                         // "a number", "an object", ...
};

// The whole text must be one JSON value (surrounding white space allowed).
JsonValue parseJson(const std::string& text);

// JSON text of a string (UTF-8 kept, stray bytes replaced by U+FFFD) and of
// a number (shortest round-trip form; null for NaN and infinities).
std::string jsonQuoted(const std::string& text);
std::string jsonNumber(double value);

}  // namespace tressel::behaviour
