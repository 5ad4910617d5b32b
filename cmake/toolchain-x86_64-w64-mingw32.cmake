# Cross build for 64-bit Windows with MinGW-w64: the same sources and tests as
# the 32-bit product build, for hosts whose kernel cannot run 32-bit Wine.
# The posix thread model compilers are used because GoogleTest needs std::mutex,
# which the win32 thread model lacks. Windows tests run under Wine through
# wine-run.sh, in a prefix of their own inside the build tree.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(ZARL_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZARL_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZARL_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZARL_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZARL_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The executables carry their runtime (libgcc, libstdc++, winpthread), so they
# run from any folder with no DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh win64 ${CMAKE_BINARY_DIR}/wineprefix)
