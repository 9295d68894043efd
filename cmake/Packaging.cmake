# Install rules and the Debian package.
#
# Installed layout (prefix /usr in the package, /usr/local by default):
#   bin/vantrel, bin/vantrel-session, bin/vantrel-metersim, bin/vantrel-records
#   lib/vantrel/libbqxdrv.so        the driver library, found by the tool at ../lib/vantrel
#   share/man/man1/<program>.1.gz   a manual page for every program, made from its --help
#   share/applications/vantrel.desktop
#   share/metainfo/invalid.vantrel.vantrel.metainfo.xml
#   share/icons/hicolor/{scalable,48x48}/apps/vantrel.{svg,png}
#   share/bash-completion/completions/vantrel-session
#   lib/systemd/system/vantrel-dashboard.service   the line dashboard as a service
#   share/doc/vantrel/              copyright, changelog.gz, the operator guide and its pictures
#
# The driver folder is a fixed "lib/vantrel" rather than the multiarch library folder: the
# tool looks for it beside its own folder. Nothing installed carries a run path: the Qt
# runtime comes from the system, and the driver is loaded by absolute path.

# Installing and packaging take what has been built and never start a build of the whole
# tree themselves: build first (cmake --build), then install or run cpack.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(VANTREL_INSTALL_DRIVER_DIR "lib/vantrel")
set(VANTREL_INSTALL_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/vantrel")
set(VANTREL_MAINTAINER "Vantrel bench maintainers <bench@vantrel.invalid>")

# The manual pages are made by running each program with --help and --version; the changelog
# gives the release's date to them and to the AppStream metadata.
find_program(VANTREL_HELP2MAN help2man REQUIRED)
find_program(VANTREL_GZIP gzip REQUIRED)
find_program(VANTREL_PARSECHANGELOG dpkg-parsechangelog REQUIRED)
set(VANTREL_PACKAGING_DIR ${PROJECT_BINARY_DIR}/packaging)
set(vantrel_changelog ${PROJECT_SOURCE_DIR}/packaging/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${vantrel_changelog})
foreach(field Version Timestamp)
  execute_process(COMMAND ${VANTREL_PARSECHANGELOG} -l ${vantrel_changelog} -S ${field}
                  OUTPUT_VARIABLE vantrel_changelog_${field} OUTPUT_STRIP_TRAILING_WHITESPACE
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
if(NOT vantrel_changelog_Version STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog's latest entry is ${vantrel_changelog_Version}, "
                      "the project is ${PROJECT_VERSION}: add an entry for this version")
endif()
execute_process(COMMAND date -u -d @${vantrel_changelog_Timestamp} +%Y-%m-%d
                OUTPUT_VARIABLE VANTREL_RELEASE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)

# One installed program: the program itself, without a run path, and its manual page.
#   vantrel_install_program(<target> "<what it does, for the page's NAME line>")
function(vantrel_install_program program summary)
  if(NOT TARGET ${program})
    return()
  endif()
  set_target_properties(${program} PROPERTIES INSTALL_RPATH "")
  install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  set(page ${VANTREL_PACKAGING_DIR}/man/${program}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VANTREL_PACKAGING_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${vantrel_changelog_Timestamp}
            ${VANTREL_HELP2MAN} --no-info --section=1 --name=${summary}
            --output=${page} $<TARGET_FILE:${program}>
    COMMAND ${VANTREL_GZIP} -9nf ${page}
    DEPENDS ${program} ${vantrel_changelog}
    COMMENT "Manual page of ${program}"
    VERBATIM)
  add_custom_target(${program}-manpage ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  set_property(GLOBAL APPEND PROPERTY VANTREL_INSTALLED_PROGRAMS ${program})
endfunction()

vantrel_install_program(vantrel "test and calibrate the data-acquisition board")
vantrel_install_program(vantrel-session "run the Vantrel main window unattended through operator actions")
vantrel_install_program(vantrel-metersim "emulate a bench voltmeter on a pseudo-terminal")
vantrel_install_program(vantrel-records "search, export and forward production records")

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
install(FILES ${PROJECT_SOURCE_DIR}/packaging/completions/vantrel-session
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The line dashboard (vantrel-records serve) as a service; enabled by the administrator.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/vantrel-dashboard.service DESTINATION lib/systemd/system)

install(FILES ${PROJECT_SOURCE_DIR}/docs/operator-guide.md ${PROJECT_SOURCE_DIR}/docs/records-json.md
              ${PROJECT_SOURCE_DIR}/docs/metrology.md ${PROJECT_SOURCE_DIR}/docs/instruments.ini
        DESTINATION ${VANTREL_INSTALL_DOC_DIR} OPTIONAL)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/images/
        DESTINATION ${VANTREL_INSTALL_DOC_DIR}/images
        FILES_MATCHING PATTERN "*.png")

# AppStream metadata: this release on its changelog date, and every installed program as a
# binary the component provides.
get_property(vantrel_programs GLOBAL PROPERTY VANTREL_INSTALLED_PROGRAMS)
list(TRANSFORM vantrel_programs REPLACE "(.+)" "    <binary>\\1</binary>"
     OUTPUT_VARIABLE VANTREL_PROVIDES_BINARIES)
list(JOIN VANTREL_PROVIDES_BINARIES "\n" VANTREL_PROVIDES_BINARIES)
configure_file(${PROJECT_SOURCE_DIR}/packaging/invalid.vantrel.vantrel.metainfo.xml.in
               ${VANTREL_PACKAGING_DIR}/invalid.vantrel.vantrel.metainfo.xml @ONLY)
install(FILES ${VANTREL_PACKAGING_DIR}/invalid.vantrel.vantrel.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The copyright file in the machine-readable Debian format carries the licence's text.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE vantrel_license)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
string(FIND "${vantrel_license}" "Permission is hereby granted" vantrel_permission_start)
if(vantrel_permission_start EQUAL -1)
  message(FATAL_ERROR "LICENSE no longer holds the MIT permission text: update packaging/copyright.in")
endif()
string(SUBSTRING "${vantrel_license}" ${vantrel_permission_start} -1 vantrel_license)
string(STRIP "${vantrel_license}" vantrel_license)
string(REPLACE "\n\n" "\n.\n" vantrel_license "${vantrel_license}")
string(REPLACE "\n" "\n " vantrel_license "${vantrel_license}")
set(VANTREL_LICENSE_PARAGRAPH " ${vantrel_license}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${VANTREL_PACKAGING_DIR}/copyright @ONLY)
install(FILES ${VANTREL_PACKAGING_DIR}/copyright DESTINATION ${VANTREL_INSTALL_DOC_DIR})

# The changelog, compressed as Debian wants it: best compression, no name or time stamp.
set(vantrel_changelog_gz ${VANTREL_PACKAGING_DIR}/changelog.gz)
add_custom_command(OUTPUT ${vantrel_changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E copy ${vantrel_changelog} ${VANTREL_PACKAGING_DIR}/changelog
  COMMAND ${VANTREL_GZIP} -9nf ${VANTREL_PACKAGING_DIR}/changelog
  DEPENDS ${vantrel_changelog}
  VERBATIM)
add_custom_target(vantrel-changelog ALL DEPENDS ${vantrel_changelog_gz})
install(FILES ${vantrel_changelog_gz} DESTINATION ${VANTREL_INSTALL_DOC_DIR})

# Debian package: cpack -G DEB in the build folder gives vantrel_<version>_<arch>.deb.
set(CPACK_PACKAGE_NAME "vantrel")
set(CPACK_PACKAGE_VENDOR "Vantrel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Bench tool for the production test and calibration of a data-acquisition board")
# Wrapped for the package's Description field, which takes lines of up to 80 columns.
set(CPACK_PACKAGE_DESCRIPTION [[
Opens the board through its driver library, runs the board tests and
diagnostics, measures the reference voltages with a Fluke 45 or HP 34401A
bench voltmeter on COM1 and writes them to the board's EEPROM.

Comes with a simulated board driver, a meter emulator and an unattended
session program, and a live, read-only dashboard of a line's records in the
browser.]])
set(CPACK_PACKAGE_CONTACT "${VANTREL_MAINTAINER}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "vantrel")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libgcc-s1, libqt6core6, libqt6gui6, libqt6widgets6, libqt6test6, libqt6charts6, qt6-qpa-plugins, fonts-liberation, libsqlite3-0, libpq5, libuuid1, libcpp-httplib0.11")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)

include(CPack)
