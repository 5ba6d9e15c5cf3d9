# What `cmake --install` puts in place, and the packages made from it.
#
# A host of Pemrik includes Pemrik.h, which includes the platform header
# win32.h (installed beside it under include/pemrik/), and links Pemrik. On
# Linux it also links the platform layer (libpemrik-win32.a), through which
# it binds the module and frees the blocks Pemrik hands out.
# The package's name names its documentation folder too.
set(CMAKE_INSTALL_DOCDIR share/doc/fennagle-tools)
set(CPACK_PACKAGE_NAME fennagle-tools)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(NOT WIN32)
  set_target_properties(Pemrik PROPERTIES VERSION ${PROJECT_VERSION}
                        SOVERSION ${PROJECT_VERSION_MAJOR})
endif()

install(TARGETS defpatch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS Pemrik win32api EXPORT PemrikTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
                             ${CMAKE_INSTALL_INCLUDEDIR}/pemrik)
install(FILES edition/Pemrik.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES platform/win32.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pemrik)

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Pemrik)
install(EXPORT PemrikTargets NAMESPACE Pemrik:: DESTINATION ${config_dir})
configure_package_config_file(cmake/PemrikConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/PemrikConfig.cmake
  INSTALL_DESTINATION ${config_dir})
write_basic_package_version_file(
  ${CMAKE_CURRENT_BINARY_DIR}/PemrikConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/PemrikConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/PemrikConfigVersion.cmake
        DESTINATION ${config_dir})

if(NOT WIN32)
  # Manual pages go in compressed, as Debian keeps them.
  set(man_page ${CMAKE_CURRENT_BINARY_DIR}/defpatch.1.gz)
  add_custom_command(OUTPUT ${man_page}
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/defpatch.1 > ${man_page}
    DEPENDS ${PROJECT_SOURCE_DIR}/defpatch.1 VERBATIM)
  add_custom_target(man_page ALL DEPENDS ${man_page})
  install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES packaging/debian/copyright
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  configure_file(cmake/pemrik.pc.in ${CMAKE_CURRENT_BINARY_DIR}/pemrik.pc
                 @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pemrik.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

# The Debian package of the native build (make dist).

set(CPACK_PACKAGE_VENDOR "Orvalle, inc.")
set(CPACK_PACKAGE_CONTACT "Orvalle, inc. <support@orvalle.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Fennagle's search definition patch and edition library")
set(CPACK_PACKAGE_DESCRIPTION
    "defpatch brings the video site's search definitions of Fennagle's\n\
search.ini up to date, for the copies installed in a Wine prefix or the\n\
folders it is given. libPemrik is Fennagle's edition library, with its\n\
header and package files for host programs.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1")
set(CPACK_STRIP_FILES ON)
include(CPack)
