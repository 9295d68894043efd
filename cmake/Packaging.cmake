# Install rules and the Debian package.
#
# Installed layout (prefix /usr in the package, /usr/local by default):
#   bin/vantrel, bin/vantrel-session, bin/vantrel-metersim, bin/vantrel-records
#   lib/vantrel/libbqxdrv.so        the driver library, found by the tool at ../lib/vantrel
#   share/applications/vantrel.desktop
#   share/icons/hicolor/{scalable,48x48}/apps/vantrel.{svg,png}
#   share/doc/vantrel/              the operator guide and its pictures
#
# The driver folder is a fixed "lib/vantrel" rather than the multiarch library folder: the
# tool looks for it beside its own folder. Nothing installed carries a run path: the Qt
# runtime comes from the system, and the driver is loaded by absolute path.

# Installing and packaging take what has been built and never start a build of the whole
# tree themselves: build first (cmake --build), then install or run cpack.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(VANTREL_INSTALL_DRIVER_DIR "lib/vantrel")
set(VANTREL_INSTALL_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/vantrel")

set(vantrel_installed_programs vantrel vantrel-session vantrel-metersim vantrel-records)
foreach(program IN LISTS vantrel_installed_programs)
  if(TARGET ${program})
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "")
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(TARGET bqxdrv)
  set_target_properties(bqxdrv PROPERTIES INSTALL_RPATH "")
  install(TARGETS bqxdrv LIBRARY DESTINATION ${VANTREL_INSTALL_DRIVER_DIR})
endif()

install(FILES ${PROJECT_SOURCE_DIR}/src/resources/vantrel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/src/resources/vantrel.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/vantrel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

install(FILES ${PROJECT_SOURCE_DIR}/docs/operator-guide.md ${PROJECT_SOURCE_DIR}/docs/records-json.md
        DESTINATION ${VANTREL_INSTALL_DOC_DIR} OPTIONAL)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/images/
        DESTINATION ${VANTREL_INSTALL_DOC_DIR}/images
        FILES_MATCHING PATTERN "*.png")

# Debian package: cpack -G DEB in the build folder gives vantrel_<version>_<arch>.deb.
set(CPACK_PACKAGE_NAME "vantrel")
set(CPACK_PACKAGE_VENDOR "Vantrel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Bench tool for the production test and calibration of a data-acquisition board")
set(CPACK_PACKAGE_DESCRIPTION
    "Opens the board through its driver library, runs the board tests and diagnostics, \
measures the reference voltages with a Fluke 45 or HP 34401A on COM1 and writes them to \
the board's EEPROM. Comes with a simulated board driver, a meter emulator and an \
unattended session program.")
set(CPACK_PACKAGE_CONTACT "Vantrel bench maintainers <bench@vantrel.invalid>")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "vantrel")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libgcc-s1, libqt6core6, libqt6gui6, libqt6widgets6, libqt6charts6, qt6-qpa-plugins, fonts-liberation, libsqlite3-0, libpq5, libuuid1")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)

include(CPack)
