#include "behaviour/Json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tressel::behaviour {
namespace {

constexpr int kMaxDepth = 64;  // deeper nesting is no zones file, and would only risk the stack

class Parser {
 public:
  explicit Parser(const std::string& text) : text_(text) {}

  JsonValue document() {
    skipSpace();
    JsonValue value = parseValue(0);
    skipSpace();
    if (pos_ < text_.size()) fail("unexpected text after the JSON value");
    return value;
  }

 private:
  [[noreturn]] void fail(const std::string& message) const { failAt(pos_, message); }
  // `at` must be on the current line.
  [[noreturn]] void failAt(std::size_t at, const std::string& message) const {
    throw JsonError("line " + std::to_string(line_) + ", column " + std::to_string(at - lineStart_ + 1) + ": " +
                    message);
  }

  bool atEnd() const { return pos_ >= text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[pos_]; }

  void skipSpace() {
    while (!atEnd()) {
      const char c = text_[pos_];
      if (c == '\n') {
        ++line_;
        lineStart_ = pos_ + 1;
      } else if (c != ' ' && c != '\t' && c != '\r') {
        break;
      }
      ++pos_;
    }
  }

  void expect(char c, const char* what) {
    if (peek() != c) fail(std::string("expected ") + what);
    ++pos_;
  }

  JsonValue parseValue(int depth) {
    if (depth > kMaxDepth) fail("nested too deeply");
    JsonValue value;
    value.line = line_;
    value.column = static_cast<int>(pos_ - lineStart_ + 1);
    const char c = peek();
    if (c == '{') {
      value.type = JsonValue::Type::object;
      ++pos_;
      skipSpace();
      if (peek() == '}') {
        ++pos_;
        return value;
      }
      for (;;) {
        skipSpace();
        if (peek() != '"') fail("expected a member name in double quotes");
        const std::size_t keyStart = pos_;
        std::string key = parseString();
        for (const auto& member : value.members) {
          if (member.first == key) failAt(keyStart, "duplicate member \"" + key + "\"");
        }
        skipSpace();
        expect(':', "':'");
        skipSpace();
        value.members.emplace_back(std::move(key), parseValue(depth + 1));
        skipSpace();
        if (peek() == ',') {
          ++pos_;
          continue;
        }
        expect('}', "',' or '}'");
        return value;
      }
    }
    if (c == '[') {
      value.type = JsonValue::Type::array;
      ++pos_;
      skipSpace();
      if (peek() == ']') {
        ++pos_;
        return value;
      }
      for (;;) {
        skipSpace();
        value.items.push_back(parseValue(depth + 1));
        skipSpace();
        if (peek() == ',') {
          ++pos_;
          continue;
        }
        expect(']', "',' or ']'");
        return value;
      }
    }
    if (c == '"') {
      value.type = JsonValue::Type::string;
      value.string = parseString();
      return value;
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
      value.type = JsonValue::Type::number;
      value.number = parseNumber();
      return value;
    }
    for (const char* word : {"true", "false", "null"}) {
      if (text_.compare(pos_, std::char_traits<char>::length(word), word) == 0) {
        pos_ += std::char_traits<char>::length(word);
        value.type = word[0] == 'n' ? JsonValue::Type::null : JsonValue::Type::boolean;
        value.boolean = word[0] == 't';
        return value;
      }
    }
    if (atEnd()) fail("unexpected end of the text");
    fail("expected a JSON value");
  }

  double parseNumber() {
    const std::size_t start = pos_;
    auto digits = [&] {
      const std::size_t from = pos_;
      while (peek() >= '0' && peek() <= '9') ++pos_;
      return pos_ > from;
    };
    if (peek() == '-') ++pos_;
    if (peek() == '0') {
      ++pos_;
    } else if (!digits()) {
      fail("malformed number");
    }
    if (peek() == '.') {
      ++pos_;
      if (!digits()) fail("malformed number");
    }
    if (peek() == 'e' || peek() == 'E') {
      ++pos_;
      if (peek() == '+' || peek() == '-') ++pos_;
      if (!digits()) fail("malformed number");
    }
    // strtod on a copy: the grammar is already checked, and the C locale's
    // decimal point is the only one JSON has.
    const std::string number = text_.substr(start, pos_ - start);
    const double value = std::strtod(number.c_str(), nullptr);
    if (!std::isfinite(value)) fail("number out of range");
    return value;
  }

  unsigned hex4() {
    unsigned code = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = peek();
      code <<= 4;
      if (h >= '0' && h <= '9') code |= static_cast<unsigned>(h - '0');
      else if (h >= 'a' && h <= 'f') code |= static_cast<unsigned>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F') code |= static_cast<unsigned>(h - 'A' + 10);
      else fail("malformed \\u escape");
      ++pos_;
    }
    return code;
  }

  static void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  std::string parseString() {
    ++pos_;  // the opening quote
    std::string out;
    for (;;) {
      if (atEnd()) fail("unterminated string");
      const char c = text_[pos_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) failAt(pos_ - 1, "control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      const char e = peek();
      ++pos_;
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          unsigned code = hex4();
          if (code >= 0xD800 && code <= 0xDBFF) {
            if (peek() != '\\' || pos_ + 1 >= text_.size() || text_[pos_ + 1] != 'u') fail("unpaired surrogate");
            pos_ += 2;
            const unsigned low = hex4();
            if (low < 0xDC00 || low > 0xDFFF) fail("unpaired surrogate");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          } else if (code >= 0xDC00 && code <= 0xDFFF) {
            fail("unpaired surrogate");
          }
          appendUtf8(out, code);
          break;
        }
        default: fail("unknown escape in a string");
      }
    }
  }

  const std::string& text_;
  std::size_t pos_ = 0;
  int line_ = 1;
  std::size_t lineStart_ = 0;
};

}  // namespace

const JsonValue* JsonValue::find(const std::string& key) const {
  if (type != Type::object) return nullptr;
  for (const auto& member : members) {
    if (member.first == key) return &member.second;
  }
  return nullptr;
}

const char* JsonValue::typeName() const {
  switch (type) {
    case Type::null: return "null";
    case Type::boolean: return "a boolean";
    case Type::number: return "a number";
    case Type::string: return "a string";
    case Type::array: return "an array";
    case Type::object: return "an object";
  }
  return "";
}

JsonValue parseJson(const std::string& text) { return Parser(text).document(); }

std::string jsonQuoted(const std::string& text) {
  std::string out = "\"";
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else {
      std::size_t length = 0;
      if (c >= 0xC2 && c <= 0xDF) length = 2;
      else if (c >= 0xE0 && c <= 0xEF) length = 3;
      else if (c >= 0xF0 && c <= 0xF4) length = 4;
      bool valid = length > 0 && i + length <= n;
      for (std::size_t k = 1; valid && k < length; ++k) valid = (s[i + k] & 0xC0) == 0x80;
      if (valid && length >= 3) {
        const unsigned char second = s[i + 1];
        if (c == 0xE0) valid = second >= 0xA0;
        else if (c == 0xED) valid = second <= 0x9F;
        else if (c == 0xF0) valid = second >= 0x90;
        else if (c == 0xF4) valid = second <= 0x8F;
      }
      if (valid) {
        out.append(text, i, length);
        i += length;
      } else {
        out += "\xEF\xBF\xBD";
        ++i;
      }
    }
  }
  return out + "\"";
}

std::string jsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  if (value == 0) return "0";  // also for -0
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace tressel::behaviour
