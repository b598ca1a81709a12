// The DLL's entry routine. The library keeps no global state and starts no
// threads, so no loader notification (process or thread attach or detach)
// needs any work; every one reports success.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
