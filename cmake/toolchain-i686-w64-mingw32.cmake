# Cross build for 32-bit Windows (the product build) with MinGW-w64.
# The posix thread model compilers are used because GoogleTest needs std::mutex,
# which the win32 thread model lacks. Windows tests run under Wine through
# wine-run.sh, in a prefix of their own inside the build tree.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(ZARL_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ZARL_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZARL_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZARL_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZARL_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# SSE2 arithmetic for doubles (-msse2 -mfpmath=sse) is set in flags.cmake,
# beside the other options that keep results identical across builds.

# The executables carry their runtime (libgcc, libstdc++, winpthread), so they
# run from any folder with no DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh win32 ${CMAKE_BINARY_DIR}/wineprefix)
