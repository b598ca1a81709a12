// The DLL's working entry points, as every host calls them.
//
// An exception thrown by the analysis (lti::allocException when a scratch
// raster would exceed its bound, std::bad_alloc) cannot be caught by the
// host: a Microsoft-compiled host has a different exception machinery, and
// even a mingw-compiled host cannot unwind it, because the DLL carries its own
// copy of the GCC unwinder (the price of importing only KERNEL32 and msvcrt).
// Either host would be terminated. So the DLL's exports catch every exception
// and report the failure the way the interface already reports "nothing
// found": 0, with nothing written.
//
// The member guards use the thiscall convention (object pointer in ECX,
// callee pops the arguments), which is how both compilers call a member
// returning int; Tressel.def exports them under both compilers' names.
#include "tressel/Tressel.h"

// g++ -Wpedantic remarks that thiscall is meant for members; here it is
// wanted on plain functions, which take the object pointer explicitly.
#pragma GCC diagnostic ignored "-Wattributes"
#define TRESSEL_THISCALL __attribute__((thiscall))

// CTressel::Tressel copies its results only once the analysis has completed,
// so a failed call leaves the record's previous results in place.
extern "C" TRESSEL_THISCALL int guarded_Tressel(CTressel* self, float* x, float* y, int count) {
  try {
    return self->Tressel(x, y, count);
  } catch (...) {
    return 0;
  }
}

// The contour is written only after the analysis has completed, so a failed
// call leaves the caller's arrays untouched.
extern "C" TRESSEL_THISCALL int guarded_GetFixedBorderPoints(CTressel* self, float* x, float* y, int count) {
  try {
    return self->GetFixedBorderPoints(x, y, count);
  } catch (...) {
    return 0;
  }
}

extern "C" int guarded_SortOutline(float* x, float* y, int count) {
  try {
    return SortOutline(x, y, count);
  } catch (...) {
    return 0;
  }
}
