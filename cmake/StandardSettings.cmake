# Flags shared by every target of the project.
add_library(project_settings INTERFACE)
target_compile_options(project_settings INTERFACE -Wall -Wextra -Wpedantic)

target_compile_options(project_settings INTERFACE
  -ffunction-sections -fdata-sections)
target_link_options(project_settings INTERFACE -Wl,--gc-sections)

if(WIN32)
  # Only system DLLs at run time: the MinGW runtime goes into each binary.
  # Formatted output is the system C runtime's (msvcrt), not a copy of
  # MinGW's own. The shipped binaries carry no symbols.
  target_compile_definitions(project_settings INTERFACE
    __USE_MINGW_ANSI_STDIO=0)
  target_link_options(project_settings INTERFACE
    -static -static-libgcc -static-libstdc++ $<$<CONFIG:MinSizeRel>:-s>)
endif()

option(SANITIZE "Build with AddressSanitizer and UBSan" OFF)
if(SANITIZE)
  set(sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all
      -fno-omit-frame-pointer)
  target_compile_options(project_settings INTERFACE ${sanitize_flags})
  target_link_options(project_settings INTERFACE ${sanitize_flags})
endif()

# The fuzz build (clang): the code under test carries libFuzzer's coverage
# hooks and the sanitizers; the fuzz targets link libFuzzer itself.
option(FUZZ "Build the fuzz targets with libFuzzer (clang only)" OFF)
if(FUZZ)
  target_compile_options(project_settings INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer)
  target_link_options(project_settings INTERFACE
    -fsanitize=address,undefined)
endif()
