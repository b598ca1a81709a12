// The calls a host makes through the public header on each case of a case
// file, and the transcript of every result it writes. The Linux reference,
// the mingw host and the Microsoft-ABI host run this same sequence on the same
// cases, so their transcripts must agree byte for byte.
//
// Freestanding: the Microsoft-ABI host has no C or C++ runtime.
#pragma once

#include "tressel/Tressel.h"
#include "tressel/tressel_c.h"

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
void reportParameters(Writer<Sink>& out, const char* label, const tressel_params& p) {
  out.text(label)
      .text(" params")
      .number(p.tail_width_percent)
      .number(p.tail_length_percent)
      .number(p.tail_width_min_threshold)
      .number(p.tail_length_max_threshold)
      .number(p.limb_width_percent)
      .number(p.limb_length_percent)
      .number(p.limb_width_min_threshold)
      .number(p.limb_length_max_threshold)
      .number(p.loop_length_max_percent)
      .end();
}

template <class Sink>
void reportResult(Writer<Sink>& out, const char* label, int code, const tressel_result& r) {
  out.text(label).number(code).text(" has_tail").number(r.has_tail);
  const tressel_point points[] = {r.tail_base, r.tail_start, r.tail_end, r.body_center, r.nose};
  for (const tressel_point& p : points) out.number(p.x).number(p.y);
  out.end();
}

// A result the C interface must overwrite on success and leave on failure.
inline tressel_result unwrittenResult() {
  const tressel_point p{-7, -7};
  return tressel_result{-7, p, p, p, p, p};
}

// The region the case's spans describe, as a mask over their bounding box
// with a few bytes of padding after each row; false when the mask would not
// fit in `size` bytes.
struct SpanMask {
  unsigned char* pixels;
  int width;
  int height;
  int stride;
};

inline bool maskOfSpans(const Case& c, const float* x, const float* y, unsigned char* buffer, int size,
                        SpanMask& mask) {
  if (c.count < 2) return false;
  int minX = static_cast<int>(x[0]), maxX = minX, minY = static_cast<int>(y[0]), maxY = minY;
  for (int i = 1; i < c.count; ++i) {
    const int px = static_cast<int>(x[i]), py = static_cast<int>(y[i]);
    minX = px < minX ? px : minX;
    maxX = px > maxX ? px : maxX;
    minY = py < minY ? py : minY;
    maxY = py > maxY ? py : maxY;
  }
  if (maxX - minX >= 4096 || maxY - minY >= 4096) return false;
  mask.width = maxX - minX + 1;
  mask.height = maxY - minY + 1;
  mask.stride = mask.width + 3;
  if (mask.stride * mask.height > size) return false;
  mask.pixels = buffer;
  for (int i = 0; i < mask.stride * mask.height; ++i) buffer[i] = 0;
  for (int i = 0; i + 1 < c.count; i += 2) {
    const int row = static_cast<int>(y[i]) - minY;
    for (int col = static_cast<int>(x[i]); col <= static_cast<int>(x[i + 1]); ++col)
      buffer[row * mask.stride + col - minX] = 1;
  }
  return true;
}

// The C interface's strings, once.
template <class Sink>
void reportCStrings(Writer<Sink>& out) {
  out.text("tressel_version ").text(tressel_version()).end();
  const int codes[] = {TRESSEL_OK, TRESSEL_ERROR_ARGUMENT, TRESSEL_ERROR_MEMORY, TRESSEL_ERROR_INTERNAL, 7};
  for (int code : codes)
    out.text("tressel_error_message").number(code).text(" ").text(tressel_error_message(code)).end();
}

// The C interface on one case: the same analysis and border, and the mask
// functions on the region the spans describe. mask is a scratch buffer.
template <class Sink>
void runCInterface(Writer<Sink>& out, const Case& c, const float* x, const float* y, float* wx, float* wy,
                   unsigned char* maskBuffer, int maskBufferSize) {
  tressel_params params = tressel_default_params();
  reportParameters(out, "tressel_default_params", params);
  const int* p = c.parameters;
  params = tressel_params{p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8]};

  tressel_result r = unwrittenResult();
  reportResult(out, "tressel_analyze", tressel_analyze(x, y, c.count, &params, &r), r);

  prepareBorderArrays(c, x, y, wx, wy);
  out.text("tressel_border").number(tressel_border(x, y, c.count, wx, wy, c.capacity)).end();
  reportArrays(out, "tressel_border", wx, wy, c.capacity);

  SpanMask mask;
  if (!maskOfSpans(c, x, y, maskBuffer, maskBufferSize, mask)) return;
  prepareBorderArrays(c, x, y, wx, wy);
  out.text("tressel_mask_spans")
      .number(tressel_mask_spans(mask.pixels, mask.width, mask.height, mask.stride, 0, wx, wy, c.capacity))
      .end();
  reportArrays(out, "tressel_mask_spans", wx, wy, c.capacity);
  r = unwrittenResult();
  reportResult(out, "tressel_analyze_mask",
               tressel_analyze_mask(mask.pixels, mask.width, mask.height, mask.stride, 0, &params, &r), r);
}

template <class Sink>
void reportFreshInstance(Writer<Sink>& out) {
  reportCStrings(out);
  CTressel fresh;
  reportParameters(out, "fresh", fresh);
  reportResults(out, "fresh", fresh);
}

// Runs one case on `t`, which keeps the results of the previous case, and
// on the C interface. Calls provides tressel, border and sortOutline: how the
// host reaches the three calls that can fail. x and y hold the case's points;
// wx and wy are scratch arrays of the case's capacity, maskBuffer one of
// maskBufferSize bytes.
template <class Calls, class Sink>
void runCase(Writer<Sink>& out, CTressel& t, const Case& c, const float* x, const float* y, float* wx, float* wy,
             unsigned char* maskBuffer, int maskBufferSize) {
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

  runCInterface(out, c, x, y, wx, wy, maskBuffer, maskBufferSize);
}

}  // namespace transcript
