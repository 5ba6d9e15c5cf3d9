# Resource scripts. On Windows the script is linked into the module as usual.
# On Linux windres compiles it to the standard .res data, which is embedded
# into the module under the one symbol through which the platform layer finds
# a module's own resources.
if(NOT WIN32)
  enable_language(ASM)
  find_program(WINDRES NAMES x86_64-w64-mingw32-windres i686-w64-mingw32-windres
               windres REQUIRED)
endif()

# target_resources(target script [files the script includes...])
function(target_resources target rc_file)
  get_filename_component(rc_file "${rc_file}" ABSOLUTE)
  if(WIN32)
    target_sources(${target} PRIVATE "${rc_file}")
    if(ARGN)
      set_property(SOURCE "${rc_file}" APPEND PROPERTY OBJECT_DEPENDS ${ARGN})
    endif()
    return()
  endif()
  get_filename_component(rc_dir "${rc_file}" DIRECTORY)
  set(res "${CMAKE_CURRENT_BINARY_DIR}/${target}.res")
  set(asm "${CMAKE_CURRENT_BINARY_DIR}/${target}_res.S")
  add_custom_command(
    OUTPUT "${res}"
    COMMAND "${WINDRES}" --input-format=rc --output-format=res
            -c 65001 -I "${rc_dir}" -i "${rc_file}" -o "${res}"
    DEPENDS "${rc_file}" ${ARGN}
    COMMENT "Compiling resources of ${target}"
    VERBATIM)
  configure_file("${PROJECT_SOURCE_DIR}/cmake/res_blob.S.in" "${asm}" @ONLY)
  set_source_files_properties("${asm}" PROPERTIES OBJECT_DEPENDS "${res}")
  target_sources(${target} PRIVATE "${asm}")
  set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
endfunction()
