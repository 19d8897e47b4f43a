# What `cmake --install` puts where, and the Debian package made of it.
#
#   lib/vardobk/      libvardobk.so and libwlink3.so together: the module
#                     finds the HTTP library beside itself ($ORIGIN), and no
#                     other program picks that library up by accident
#   include/vardobk/  the public headers
#   bin/              vdbackup, and vdhost with its desktop entry
#   lib/pkgconfig/, lib/cmake/vardobk/   for host developers
#   share/doc/vardobk, share/man/man1
include(CMakePackageConfigHelpers)

target_include_directories(vardobk INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS vardobk EXPORT vardobkTargets LIBRARY DESTINATION ${VARDOBK_MODULE_DIR})
install(TARGETS wlink3 LIBRARY DESTINATION ${VARDOBK_MODULE_DIR})
install(TARGETS vdbackup RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/include/vardobk/vardobk.h ${CMAKE_SOURCE_DIR}/include/vardobk/command_line.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vardobk)
if(TARGET vdhost)
  install(TARGETS vdhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # vdhost makes its demo folder with this program on its first start.
  install(TARGETS vardobk_demo_data RUNTIME DESTINATION ${VARDOBK_MODULE_DIR})
  install(FILES ${CMAKE_SOURCE_DIR}/host/vdhost.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/src/ui/icons/10007.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME vardobk.svg)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/docs/layers.md ${CMAKE_SOURCE_DIR}/docs/platform.md
              ${CMAKE_SOURCE_DIR}/docs/scheduled-backups.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(EXISTS ${CMAKE_SOURCE_DIR}/docs/vdbackup.1)
  install(FILES ${CMAKE_SOURCE_DIR}/docs/vdbackup.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# pkg-config: a host that links gets the module's folder as its run path; a
# host that loads the module with dlopen reads `pkg-config --variable=moduledir`.
# The prefix is found from the file's own place, so that the same file serves
# in /usr/local, in the package's /usr and below a DESTDIR.
file(RELATIVE_PATH VARDOBK_PREFIX_FROM_PC /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" VARDOBK_PREFIX_FROM_PC "${VARDOBK_PREFIX_FROM_PC}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/vardobk.pc.in ${CMAKE_BINARY_DIR}/vardobk.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/vardobk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# find_package(vardobk): the imported target vardobk::vardobk carries the
# include folder and the library's path (VARDOBK_MODULE for dlopen).
install(EXPORT vardobkTargets NAMESPACE vardobk:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vardobk)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/vardobkConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/vardobkConfig.cmake
                              INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vardobk)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/vardobkConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/vardobkConfig.cmake ${CMAKE_BINARY_DIR}/vardobkConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vardobk)

# cpack -G DEB: the dependencies of the shared libraries are computed; the
# programs the module runs are named. rar is non-free, so only suggested.
set(CPACK_PACKAGE_NAME vardobk)
set(CPACK_PACKAGE_VENDOR "vardobk developers")
set(CPACK_PACKAGE_CONTACT "vardobk developers <vardobk@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "backup and restore module of a desktop accounting program")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "libvardobk.so makes 7-Zip or RAR backups of an accounting program's data, keeps a catalogue\n"
       "with keep times, copies them to removable media and WebDAV storage, restores them, and runs\n"
       "scheduled backups through cron with the vdbackup command.")
set(CPACK_STRIP_FILES ON)  # the debugging symbols stay in the build tree
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "7zip | p7zip-full, cron, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "rar")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/vardobk")
include(CPack)
