// A host program in ordinary C++: reads a case file on standard input, runs
// the call sequence on every case and writes the transcript to standard
// output. Built on Linux against libTressel.so it gives the reference
// transcript; cross-built with mingw against Tressel.dll it is the mingw host.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "call_sequence.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace {

#if defined(_WIN32)
// Tressel.dll lets no exception out: a failed call answers 0 by itself.
struct Calls {
  static int tressel(CTressel& t, float* x, float* y, int n) { return t.Tressel(x, y, n); }
  static int border(CTressel& t, float* x, float* y, int n) { return t.GetFixedBorderPoints(x, y, n); }
  static int sortOutline(float* x, float* y, int n) { return SortOutline(x, y, n); }
};
#else
// The Linux library throws when an analysis fails. Tressel.dll answers the
// same failure with 0, leaving the record and the arrays as they were, which
// is what the transcript then shows: record the 0, and count the failures so
// that the cases meant to fail are seen to.
int failures = 0;

template <class Call>
int orZero(Call call) {
  try {
    return call();
  } catch (const std::exception&) {
    ++failures;
    return 0;
  }
}

// Cases whose names begin with "fails" exceed the raster bound.
bool meantToFail(const transcript::Case& c) { return std::string(c.name).rfind("fails", 0) == 0; }

struct Calls {
  static int tressel(CTressel& t, float* x, float* y, int n) {
    return orZero([&] { return t.Tressel(x, y, n); });
  }
  static int border(CTressel& t, float* x, float* y, int n) {
    return orZero([&] { return t.GetFixedBorderPoints(x, y, n); });
  }
  static int sortOutline(float* x, float* y, int n) {
    return orZero([&] { return SortOutline(x, y, n); });
  }
};
#endif

struct StdoutSink {
  void write(const char* s, int n) { std::fwrite(s, 1, static_cast<size_t>(n), stdout); }
};

std::string readAll(std::FILE* in) {
  std::string text;
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) text.append(chunk, n);
  return text;
}

}  // namespace

int main() {
#if defined(_WIN32)
  // The transcript is compared byte for byte: no CR before each LF.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  const std::string input = readAll(stdin);
  transcript::Reader reader(input.data(), static_cast<int>(input.size()));
  StdoutSink sink;
  transcript::Writer<StdoutSink> out(sink);

  transcript::reportFreshInstance(out);
  CTressel t;
  std::vector<unsigned char> mask(1 << 22);
  transcript::Case c;
  int cases = 0;
  while (reader.caseHeader(c)) {
    std::vector<float> x(static_cast<size_t>(c.count)), y(x.size());
    std::vector<float> wx(static_cast<size_t>(c.capacity)), wy(wx.size());
    if (!reader.points(c, x.data(), y.data())) break;
#if defined(_WIN32)
    transcript::runCase<Calls>(out, t, c, x.data(), y.data(), wx.data(), wy.data(), mask.data(),
                               static_cast<int>(mask.size()));
#else
    const int failuresBefore = failures;
    transcript::runCase<Calls>(out, t, c, x.data(), y.data(), wx.data(), wy.data(), mask.data(),
                               static_cast<int>(mask.size()));
    if ((failures > failuresBefore) != meantToFail(c)) {
      std::fprintf(stderr, "case %s: the analysis %s\n", c.name, failures > failuresBefore ? "failed" : "completed");
      return 2;
    }
#endif
    ++cases;
  }
  if (cases == 0) {
    std::fprintf(stderr, "no case read\n");
    return 2;
  }
  std::fflush(stdout);
  return 0;
}
