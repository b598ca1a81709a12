// The few Windows SDK declarations that the Microsoft-ABI test host needs:
// POINT, as the public header uses it, and the kernel32 calls of the host.
// There is no Windows SDK on the build machine.
#pragma once

typedef long LONG;
typedef unsigned long DWORD;
typedef int BOOL;
typedef void* HANDLE;

typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT;

#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)

extern "C" {
__declspec(dllimport) HANDLE __stdcall GetStdHandle(DWORD which);
__declspec(dllimport) BOOL __stdcall ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read, void* overlapped);
__declspec(dllimport) BOOL __stdcall WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* written,
                                               void* overlapped);
__declspec(dllimport) HANDLE __stdcall GetProcessHeap(void);
__declspec(dllimport) void* __stdcall HeapAlloc(HANDLE heap, DWORD flags, unsigned long size);
__declspec(dllimport) void* __stdcall HeapReAlloc(HANDLE heap, DWORD flags, void* memory, unsigned long size);
__declspec(dllimport) BOOL __stdcall HeapFree(HANDLE heap, DWORD flags, void* memory);
__declspec(noreturn) __declspec(dllimport) void __stdcall ExitProcess(unsigned code);
}
