# Cross-building the core and potencor-check for 64-bit Windows with Debian's
# MinGW-w64 (g++-mingw-w64-x86-64-posix: C++ threads, and long double is the
# same 80-bit x87 type as on Linux):
#   cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(POTENCOR_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${POTENCOR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${POTENCOR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${POTENCOR_MINGW_TRIPLET}-windres)

# Libraries and headers from the MinGW tree only (zlib: libz-mingw-w64-dev);
# programs (groff, python3) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${POTENCOR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program stands alone: no MinGW runtime DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(ZLIB_USE_STATIC_LIBS ON)
