# x86_64 Windows build, used to run the tests: this machine cannot execute
# 32-bit code, so the same sources are built for 64-bit Windows and every
# test program runs under wine64 in a private prefix of the build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/../wine-run;${CMAKE_BINARY_DIR}/wineprefix")
