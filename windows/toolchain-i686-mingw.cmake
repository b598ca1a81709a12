# Cross-compiling for 32-bit Windows with Debian's mingw-w64 (win32 threads):
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=windows/toolchain-i686-mingw.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(TRESSEL_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TRESSEL_MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${TRESSEL_MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${TRESSEL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TRESSEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# windows.h would otherwise define min and max as macros in every file that
# includes the public header, and pull in far more than POINT.
set(CMAKE_C_FLAGS_INIT "-DNOMINMAX -DWIN32_LEAN_AND_MEAN")
set(CMAKE_CXX_FLAGS_INIT "-DNOMINMAX -DWIN32_LEAN_AND_MEAN")

# The GCC runtime is linked in, so the DLL and the test programs need no
# libgcc_s_dw2-1.dll or libstdc++-6.dll beside them: they import only
# KERNEL32 and msvcrt.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# Test programs run under wine, in a prefix of this build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run;${CMAKE_BINARY_DIR}/wine")
