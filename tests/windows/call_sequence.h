// The calls a host makes through the public header on each case of a case
// file, and the transcript of every result it writes. The Linux reference,
// the mingw host and the Microsoft-ABI host run this same sequence on the same
// cases, so their transcripts must agree byte for byte.
//
// Freestanding: the Microsoft-ABI host has no C or C++ runtime.
#pragma once

#include "tressel/Tressel.h"

namespace transcript {

constexpr int parameterCount = 9;

// One line of the case file:
//   case NAME P1 .. P9 COUNT CAPACITY X1 Y1 .. Xcount Ycount
// P1 .. P9 are the parameters in the record's order, the coordinates the
// hexadecimal bit patterns of floats (so every host reads the same values),
// CAPACITY >= COUNT the length of the arrays handed to the border service.
struct Case {
  char name[48];
  int parameters[parameterCount];
  int count;
  int capacity;
};

// Reads the case file's tokens from a buffer.
class Reader {
 public:
  Reader(const char* text, int length) : at_(text), end_(text + length) {}

  // Reads the next case up to its points; false at the end of the file or
  // when the line is malformed.
  bool caseHeader(Case& c) {
    char keyword[8];
    if (!word(keyword, sizeof keyword)) return false;
    if (!(keyword[0] == 'c' && keyword[1] == 'a' && keyword[2] == 's' && keyword[3] == 'e' && keyword[4] == 0))
      return false;
    if (!word(c.name, sizeof c.name)) return false;
    for (int& p : c.parameters) {
      if (!integer(p)) return false;
    }
    return integer(c.count) && integer(c.capacity) && c.count >= 0 && c.capacity >= c.count;
  }

  // Reads the case's points into x[0, count) and y[0, count).
  bool points(const Case& c, float* x, float* y) {
    for (int i = 0; i < c.count; ++i) {
      if (!floatBits(x[i]) || !floatBits(y[i])) return false;
    }
    return true;
  }

 private:
  static bool isSpace(char ch) { return ch == ' ' || ch == '\n' || ch == '\r' || ch == '\t'; }

  // The next token, or an empty one at the end.
  void token(const char*& begin, const char*& end) {
    while (at_ < end_ && isSpace(*at_)) ++at_;
    begin = at_;
    while (at_ < end_ && !isSpace(*at_)) ++at_;
    end = at_;
  }

  bool word(char* out, int size) {
    const char *b, *e;
    token(b, e);
    if (b == e || e - b >= size) return false;
    int i = 0;
    for (; b != e; ++b) out[i++] = *b;
    out[i] = 0;
    return true;
  }

  bool integer(int& out) {
    const char *b, *e;
    token(b, e);
    const bool negative = b != e && *b == '-';
    if (negative) ++b;
    if (b == e || e - b > 10) return false;
    unsigned magnitude = 0;
    for (; b != e; ++b) {
      if (*b < '0' || *b > '9') return false;
      magnitude = magnitude * 10 + static_cast<unsigned>(*b - '0');
    }
    if (magnitude > (negative ? 2147483648u : 2147483647u)) return false;
    out = negative ? static_cast<int>(0u - magnitude) : static_cast<int>(magnitude);
    return true;
  }

  bool floatBits(float& out) {
    const char *b, *e;
    token(b, e);
    if (e - b != 8) return false;
    unsigned bits = 0;
    for (; b != e; ++b) {
      const char ch = *b;
      const int digit = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10 : -1;
      if (digit < 0) return false;
      bits = bits << 4 | static_cast<unsigned>(digit);
    }
    static_assert(sizeof(float) == sizeof(unsigned), "32-bit floats");
    __builtin_memcpy(&out, &bits, sizeof out);
    return true;
  }

  const char* at_;
  const char* end_;
};

// Writes transcript lines to a Sink, which has write(const char*, int).
template <class Sink>
class Writer {
 public:
  explicit Writer(Sink& sink) : sink_(sink) {}

  Writer& text(const char* s) {
    int n = 0;
    while (s[n] != 0) ++n;
    sink_.write(s, n);
    return *this;
  }

  Writer& number(long value) {
    char digits[16];
    int n = sizeof digits;
    unsigned long magnitude = value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
      digits[--n] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) digits[--n] = '-';
    sink_.write(" ", 1);
    sink_.write(digits + n, static_cast<int>(sizeof digits) - n);
    return *this;
  }

  Writer& bits(float value) {
    unsigned u;
    __builtin_memcpy(&u, &value, sizeof u);
    char hex[9];
    hex[0] = ' ';
    for (int i = 8; i >= 1; --i, u >>= 4) hex[i] = "0123456789abcdef"[u & 15];
    sink_.write(hex, 9);
    return *this;
  }

  Writer& point(POINT p) { return number(p.x).number(p.y); }

  void end() { sink_.write("\n", 1); }

 private:
  Sink& sink_;
};

template <class Sink>
void reportParameters(Writer<Sink>& out, const char* label, CTressel& t) {
  out.text(label)
      .text(" parameters")
      .number(t.GetTailWidthPercent())
      .number(t.GetTailLengthPercent())
      .number(t.GetTailWidthMinThreshold())
      .number(t.GetTailLengthMaxThreshold())
      .number(t.GetLimbWidthPercent())
      .number(t.GetLimbLengthPercent())
      .number(t.GetLimbWidthMinThreshold())
      .number(t.GetLimbLengthMaxThreshold())
      .number(t.GetLoopLengthMaxPercent())
      .end();
}

template <class Sink>
void reportResults(Writer<Sink>& out, const char* label, CTressel& t) {
  out.text(label).text(" hasTail").number(t.HasTail()).end();
  out.text(label).text(" tailBase").point(t.GetTailBase()).end();
  out.text(label).text(" tailStart").point(t.GetTailStart()).end();
  out.text(label).text(" tailEnd").point(t.GetTailEnd()).end();
  out.text(label).text(" center").point(t.GetCenter()).end();
  out.text(label).text(" nose").point(t.GetNose()).end();
}

template <class Sink>
void reportArrays(Writer<Sink>& out, const char* label, const float* x, const float* y, int n) {
  out.text(label).text(" x");
  for (int i = 0; i < n; ++i) out.bits(x[i]);
  out.end();
  out.text(label).text(" y");
  for (int i = 0; i < n; ++i) out.bits(y[i]);
  out.end();
}

inline void copyPoints(const float* from, float* to, int n) {
  for (int i = 0; i < n; ++i) to[i] = from[i];
}

// The border service's arrays: the spans, then a filler the service must
// overwrite only where the contour reaches.
inline void prepareBorderArrays(const Case& c, const float* x, const float* y, float* bx, float* by) {
  copyPoints(x, bx, c.count);
  copyPoints(y, by, c.count);
  for (int i = c.count; i < c.capacity; ++i) bx[i] = by[i] = -0.5f;
}

template <class Sink>
void reportFreshInstance(Writer<Sink>& out) {
  CTressel fresh;
  reportParameters(out, "fresh", fresh);
  reportResults(out, "fresh", fresh);
}

// Runs one case on `t`, which keeps the results of the previous case. Calls
// provides tressel, border and sortOutline: how the host reaches the three
// calls that can fail. x and y hold the case's points; wx and wy are scratch
// arrays of the case's capacity.
template <class Calls, class Sink>
void runCase(Writer<Sink>& out, CTressel& t, const Case& c, const float* x, const float* y, float* wx, float* wy) {
  out.text("case ").text(c.name).end();
  reportResults(out, "before", t);
  t.LoadDefaults();
  reportParameters(out, "defaults", t);
  const int* p = c.parameters;
  t.SetTailWidthPercent(p[0]);
  t.SetTailLengthPercent(p[1]);
  t.SetTailWidthMinThreshold(p[2]);
  t.SetTailLengthMaxThreshold(p[3]);
  t.SetLimbWidthPercent(p[4]);
  t.SetLimbLengthPercent(p[5]);
  t.SetLimbWidthMinThreshold(p[6]);
  t.SetLimbLengthMaxThreshold(p[7]);
  t.SetLoopLengthMaxPercent(p[8]);
  reportParameters(out, "set", t);

  copyPoints(x, wx, c.count);
  copyPoints(y, wy, c.count);
  out.text("Tressel").number(Calls::tressel(t, wx, wy, c.count)).end();
  reportResults(out, "after", t);
  reportArrays(out, "Tressel input", wx, wy, c.count);

  prepareBorderArrays(c, x, y, wx, wy);
  out.text("GetFixedBorderPoints").number(Calls::border(t, wx, wy, c.count)).end();
  reportArrays(out, "GetFixedBorderPoints", wx, wy, c.capacity);
  reportParameters(out, "after border", t);
  reportResults(out, "after border", t);

  prepareBorderArrays(c, x, y, wx, wy);
  out.text("SortOutline").number(Calls::sortOutline(wx, wy, c.count)).end();
  reportArrays(out, "SortOutline", wx, wy, c.capacity);

  CTressel copy;
  const CTressel* assigned = &(copy = t);
  out.text("operator= returns its object").number(assigned == &copy).end();
  reportParameters(out, "copy", copy);
  reportResults(out, "copy", copy);
  copy.LoadDefaults();
  reportParameters(out, "copy defaults", copy);
  reportResults(out, "copy defaults", copy);
}

}  // namespace transcript
