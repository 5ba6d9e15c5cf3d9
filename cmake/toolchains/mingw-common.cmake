# MinGW-w64 cross compilers. With libgcc and libstdc++ linked statically the
# binaries import system DLLs only. The shipped i686 binaries use the win32
# thread model, which needs no threading runtime at all; the x86_64 test
# build uses the posix model, because GoogleTest needs std::mutex (its
# winpthread is linked statically as well).
if(NOT MINGW_THREADS)
  set(MINGW_THREADS posix)
endif()
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-${MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-${MINGW_THREADS})
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_OBJDUMP ${TOOLCHAIN_PREFIX}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
