# GoogleTest from Debian's source package, built with the project's own flags
# (and sanitizers), natively and for the cross builds alike.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest
                 EXCLUDE_FROM_ALL SYSTEM)
foreach(lib gtest gtest_main gmock)
  target_link_libraries(${lib} PRIVATE project_settings)
endforeach()

include(GoogleTest)

if(CMAKE_CROSSCOMPILING_EMULATOR)
  # One wineserver for the whole test run: started before the first Windows
  # test program, stopped after the last.
  list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 wine_run)
  list(GET CMAKE_CROSSCOMPILING_EMULATOR 1 wine_prefix)
  add_test(NAME wine_start COMMAND ${wine_run} ${wine_prefix} cmd /c exit 0)
  add_test(NAME wine_stop COMMAND ${wine_run} ${wine_prefix} --stop)
  set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)
  set(WINE_PREFIX ${wine_prefix})
endif()

# Adds the GoogleTest cases of an executable to CTest, with any further
# test properties given after the target.
function(add_unit_tests target)
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 300
    PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300 ${ARGN})
endfunction()
