# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the posix thread model, which has std::thread
# and std::mutex). Used for the game, its tests, and the SDL2 and GoogleTest builds beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

# The libraries built for Windows land in VD_WINDOWS_PREFIX; nothing is taken from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${VD_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VD_WINDOWS_PREFIX)

# Win64 keeps the stack 16-byte aligned and GCC cannot realign it for 32-byte AVX spills: the assembler
# turns its aligned vector moves into unaligned ones, which cost nothing on aligned data.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
# GCC 12 at -O3 reports overlapping copies inside std::string's operator+ that cannot happen (its bug
# 105329); this compiler's build of the tests meets it, so that warning is left out here.
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move -Wno-restrict")
# Only SDL2.dll beside the program: the compiler's run-time libraries (libgcc, libstdc++, winpthread) are
# linked in; SDL2 comes through its import library, so it stays a DLL.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Programs built here run under Wine (tests, tools the build runs).
find_program(VD_WINE NAMES wine wine64)
if(VD_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VD_WINE})
endif()
