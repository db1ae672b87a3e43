# Installation layout and the Debian package (cpack -G DEB).
include(GNUInstallDirs)
find_program(GZIP gzip REQUIRED)

# Everything of the package that the build makes: scripts/package builds
# this target alone, not the tests and benchmarks.
add_custom_target(rs485-package-contents)

# rs485_install_program(<target>): the program and its manual page go into the package.
function(rs485_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  add_dependencies(rs485-package-contents ${target})
  if(TARGET ${target}-man)
    add_dependencies(rs485-package-contents ${target}-man)
  endif()
endfunction()

# rs485_desktop_app(<target> DESKTOP <file.desktop> ICON <file.svg> METAINFO <id.metainfo.xml>):
# installs a desktop program with its menu entry, icon and AppStream metadata.
# scripts/package validates every desktop entry and metainfo file of the package.
function(rs485_desktop_app target)
  cmake_parse_arguments(ARG "" "DESKTOP;ICON;METAINFO" "" ${ARGN})
  rs485_install_program(${target})
  install(FILES ${ARG_DESKTOP} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${ARG_ICON} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${ARG_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endfunction()

if(TARGET rs485-master)
  rs485_desktop_app(rs485-master
    DESKTOP ${PROJECT_SOURCE_DIR}/packaging/rs485-master.desktop
    ICON ${PROJECT_SOURCE_DIR}/packaging/rs485-master.svg
    METAINFO ${PROJECT_SOURCE_DIR}/packaging/local.rs485_master.rs485_master.metainfo.xml)
endif()
if(TARGET rs485-cli)
  rs485_install_program(rs485-cli)
  # Unit templates: rs485-record@COM1.service records the bus on COM1,
  # rs485-serve@COM1.service shares it between programs over TCP.
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/rs485-record@.service"
                "${PROJECT_SOURCE_DIR}/packaging/rs485-serve@.service" DESTINATION lib/systemd/system)
endif()
if(TARGET rs485-chart)
  rs485_desktop_app(rs485-chart
    DESKTOP ${PROJECT_SOURCE_DIR}/packaging/rs485-chart.desktop
    ICON ${PROJECT_SOURCE_DIR}/packaging/rs485-chart.svg
    METAINFO ${PROJECT_SOURCE_DIR}/packaging/local.rs485_master.rs485_chart.metainfo.xml)
endif()
if(TARGET rs485-sim)
  rs485_install_program(rs485-sim)
endif()

# The package's copyright and changelog, the latter compressed without a
# time stamp as Debian wants it.
set(_rs485_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/rs485-master)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/doc/changelog ${PROJECT_BINARY_DIR}/packaging/changelog
  COMMAND ${GZIP} -9nf ${PROJECT_BINARY_DIR}/packaging/changelog
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/doc/changelog
  VERBATIM)
add_custom_target(rs485-changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_dependencies(rs485-package-contents rs485-changelog)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/doc/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${_rs485_doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rs485-master)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "rs485-master developers <dev@rs485-master.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service tool for controllers on an RS-485 bus, with a bus simulator")
set(CPACK_PACKAGE_DESCRIPTION "rs485-master finds the controllers on an RS-485 bus behind a serial port,
gives a device a new bus address, polls the readings of every device found
and records them, once a minute at most, into one text file per device.
rs485-chart plots the recording files.
rs485-cli scans, polls, records and publishes over MQTT without a display.
rs485-sim plays a bus of such controllers on a pseudo-terminal, to try the
tool without hardware.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, fonts-dejavu-core")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
