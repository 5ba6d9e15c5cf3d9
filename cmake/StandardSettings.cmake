# Flags shared by every target of the project.
add_library(project_settings INTERFACE)
target_compile_options(project_settings INTERFACE -Wall -Wextra -Wpedantic)

if(WIN32)
  # Only system DLLs at run time: the MinGW runtime goes into each binary.
  target_link_options(project_settings INTERFACE
    -static -static-libgcc -static-libstdc++)
endif()

option(SANITIZE "Build with AddressSanitizer and UBSan" OFF)
if(SANITIZE)
  set(sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all
      -fno-omit-frame-pointer)
  target_compile_options(project_settings INTERFACE ${sanitize_flags})
  target_link_options(project_settings INTERFACE ${sanitize_flags})
endif()
