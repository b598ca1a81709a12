// A host compiled for the Microsoft C++ ABI (clang, i686-pc-windows-msvc),
// as the programs Tressel.dll was made for are: it imports the members under
// their Microsoft decorated names through Tressel.lib and calls them with the
// Microsoft conventions. It runs the call sequence on the case file read from
// standard input and writes the transcript to standard output.
//
// Freestanding: no C runtime, only kernel32. Exceptions are off, as a
// Microsoft host could not catch the DLL's anyway.
#include <windows.h>

#include "call_sequence.h"

extern "C" {
// The linker wants this symbol in any program that uses floating point; the
// C runtime normally defines it.
int _fltused = 0;

// The compiler may turn copies and fills into calls of these.
using size_t = decltype(sizeof 0);
void* memcpy(void* to, const void* from, size_t size) {
  char* t = static_cast<char*>(to);
  const char* f = static_cast<const char*>(from);
  while (size-- != 0) *t++ = *f++;
  return to;
}
void* memset(void* to, int value, size_t size) {
  char* t = static_cast<char*>(to);
  while (size-- != 0) *t++ = static_cast<char>(value);
  return to;
}
}

namespace {

HANDLE heap() { return GetProcessHeap(); }

void* allocate(unsigned long bytes) {
  void* p = HeapAlloc(heap(), 0, bytes == 0 ? 1 : bytes);
  if (p == nullptr) ExitProcess(3);
  return p;
}

float* floats(int n) { return static_cast<float*>(allocate(static_cast<unsigned long>(n) * sizeof(float))); }

void fail(const char* message) {
  DWORD n = 0, written;
  while (message[n] != 0) ++n;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), message, n, &written, nullptr);
  ExitProcess(2);
}

// Standard input, whole.
const char* readInput(int& length) {
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  unsigned long size = 1 << 16;
  char* text = static_cast<char*>(allocate(size));
  length = 0;
  for (;;) {
    if (static_cast<unsigned long>(length) == size) {
      size *= 2;
      text = static_cast<char*>(HeapReAlloc(heap(), 0, text, size));
      if (text == nullptr) fail("out of memory\n");
    }
    DWORD got = 0;
    if (!ReadFile(in, text + length, static_cast<DWORD>(size - static_cast<unsigned long>(length)), &got, nullptr) ||
        got == 0)
      return text;
    length += static_cast<int>(got);
  }
}

class StdoutSink {
 public:
  StdoutSink() : out_(GetStdHandle(STD_OUTPUT_HANDLE)), buffer_(static_cast<char*>(allocate(size))) {}
  void write(const char* s, int n) {
    for (int i = 0; i < n; ++i) {
      if (used_ == size) flush();
      buffer_[used_++] = s[i];
    }
  }
  void flush() {
    DWORD written = 0;
    if (used_ != 0 && (!WriteFile(out_, buffer_, used_, &written, nullptr) || written != used_))
      fail("cannot write the transcript\n");
    used_ = 0;
  }

 private:
  static constexpr DWORD size = 1 << 16;
  HANDLE out_;
  char* buffer_;
  DWORD used_ = 0;
};

// The DLL turns a failed analysis into 0 itself: plain calls.
struct Calls {
  static int tressel(CTressel& t, float* x, float* y, int n) { return t.Tressel(x, y, n); }
  static int border(CTressel& t, float* x, float* y, int n) { return t.GetFixedBorderPoints(x, y, n); }
  static int sortOutline(float* x, float* y, int n) { return SortOutline(x, y, n); }
};

int run() {
  int length = 0;
  const char* input = readInput(length);
  transcript::Reader reader(input, length);
  StdoutSink sink;
  transcript::Writer<StdoutSink> out(sink);

  transcript::reportFreshInstance(out);
  CTressel t;
  const int maskSize = 1 << 22;
  unsigned char* mask = static_cast<unsigned char*>(allocate(maskSize));
  transcript::Case c;
  int cases = 0;
  while (reader.caseHeader(c)) {
    float* x = floats(c.count);
    float* y = floats(c.count);
    float* wx = floats(c.capacity);
    float* wy = floats(c.capacity);
    if (!reader.points(c, x, y)) fail("malformed case file\n");
    transcript::runCase<Calls>(out, t, c, x, y, wx, wy, mask, maskSize);
    HeapFree(heap(), 0, x);
    HeapFree(heap(), 0, y);
    HeapFree(heap(), 0, wx);
    HeapFree(heap(), 0, wy);
    ++cases;
  }
  sink.flush();
  return cases == 0 ? 2 : 0;
}

}  // namespace

extern "C" void hostMain() { ExitProcess(static_cast<unsigned>(run())); }
