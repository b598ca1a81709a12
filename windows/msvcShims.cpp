// Adapters between the Microsoft C++ ABI, in which the hosts were compiled,
// and the members as g++ compiled them. Tressel.def exports each under the
// member's Microsoft decorated name (Tressel and GetFixedBorderPoints go to
// the exception guards instead).
//
// Every Microsoft member call is thiscall: the object pointer in ECX, the
// arguments on the stack, removed by the callee. The adapters declare that
// convention explicitly, with the object pointer as the first parameter,
// rather than rely on g++ using it for members.
//
// Why the POINT getters cannot be exported as they are: for a member function
// returning a structure, the Microsoft ABI passes a hidden pointer to the
// result as the first stack argument; the callee fills it, returns it in EAX
// and removes it from the stack. g++ instead returns an 8-byte structure from
// a member in EDX:EAX. A host calling the g++ member would read garbage and
// lose four bytes of stack, so each getter has an adapter taking the result
// pointer explicitly.
//
// The constructor returns the object pointer, as Microsoft constructors do;
// operator= returns *this, a reference, in EAX like any pointer.
#include <new>

#include "tressel/Tressel.h"

// g++ -Wpedantic remarks that thiscall is meant for members; here it is
// wanted on plain functions, which take the object pointer explicitly.
#pragma GCC diagnostic ignored "-Wattributes"
#define TRESSEL_THISCALL __attribute__((thiscall))

extern "C" {

TRESSEL_THISCALL CTressel* msvc_construct(CTressel* self) { return new (self) CTressel(); }

TRESSEL_THISCALL CTressel* msvc_assign(CTressel* self, const CTressel* other) { return &(*self = *other); }

TRESSEL_THISCALL void msvc_LoadDefaults(CTressel* self) { self->LoadDefaults(); }
TRESSEL_THISCALL int msvc_HasTail(CTressel* self) { return self->HasTail(); }

TRESSEL_THISCALL POINT* msvc_GetTailBase(CTressel* self, POINT* result) {
  *result = self->GetTailBase();
  return result;
}
TRESSEL_THISCALL POINT* msvc_GetTailStart(CTressel* self, POINT* result) {
  *result = self->GetTailStart();
  return result;
}
TRESSEL_THISCALL POINT* msvc_GetTailEnd(CTressel* self, POINT* result) {
  *result = self->GetTailEnd();
  return result;
}
TRESSEL_THISCALL POINT* msvc_GetCenter(CTressel* self, POINT* result) {
  *result = self->GetCenter();
  return result;
}
TRESSEL_THISCALL POINT* msvc_GetNose(CTressel* self, POINT* result) {
  *result = self->GetNose();
  return result;
}

TRESSEL_THISCALL int msvc_GetTailWidthPercent(CTressel* self) { return self->GetTailWidthPercent(); }
TRESSEL_THISCALL int msvc_GetTailLengthPercent(CTressel* self) { return self->GetTailLengthPercent(); }
TRESSEL_THISCALL int msvc_GetTailWidthMinThreshold(CTressel* self) { return self->GetTailWidthMinThreshold(); }
TRESSEL_THISCALL int msvc_GetTailLengthMaxThreshold(CTressel* self) { return self->GetTailLengthMaxThreshold(); }
TRESSEL_THISCALL int msvc_GetLimbWidthPercent(CTressel* self) { return self->GetLimbWidthPercent(); }
TRESSEL_THISCALL int msvc_GetLimbLengthPercent(CTressel* self) { return self->GetLimbLengthPercent(); }
TRESSEL_THISCALL int msvc_GetLimbWidthMinThreshold(CTressel* self) { return self->GetLimbWidthMinThreshold(); }
TRESSEL_THISCALL int msvc_GetLimbLengthMaxThreshold(CTressel* self) { return self->GetLimbLengthMaxThreshold(); }
TRESSEL_THISCALL int msvc_GetLoopLengthMaxPercent(CTressel* self) { return self->GetLoopLengthMaxPercent(); }

TRESSEL_THISCALL void msvc_SetTailWidthPercent(CTressel* self, int value) { self->SetTailWidthPercent(value); }
TRESSEL_THISCALL void msvc_SetTailLengthPercent(CTressel* self, int value) { self->SetTailLengthPercent(value); }
TRESSEL_THISCALL void msvc_SetTailWidthMinThreshold(CTressel* self, int value) {
  self->SetTailWidthMinThreshold(value);
}
TRESSEL_THISCALL void msvc_SetTailLengthMaxThreshold(CTressel* self, int value) {
  self->SetTailLengthMaxThreshold(value);
}
TRESSEL_THISCALL void msvc_SetLimbWidthPercent(CTressel* self, int value) { self->SetLimbWidthPercent(value); }
TRESSEL_THISCALL void msvc_SetLimbLengthPercent(CTressel* self, int value) { self->SetLimbLengthPercent(value); }
TRESSEL_THISCALL void msvc_SetLimbWidthMinThreshold(CTressel* self, int value) {
  self->SetLimbWidthMinThreshold(value);
}
TRESSEL_THISCALL void msvc_SetLimbLengthMaxThreshold(CTressel* self, int value) {
  self->SetLimbLengthMaxThreshold(value);
}
TRESSEL_THISCALL void msvc_SetLoopLengthMaxPercent(CTressel* self, int value) {
  self->SetLoopLengthMaxPercent(value);
}

}  // extern "C"
