# Manual pages generated at build time from each program's --help and
# --version by Debian's help2man, compressed as Debian wants them, and
# installed with the program.
#
#   rs485_man_page(<target> NAME <one-line description> [INCLUDE <file.h2m>])
#
# The program runs during the build without a display, so --help and
# --version must need none. Sanitizer builds make no pages: they are not
# packaged, and a leak report at exit would fail the build.
include(GNUInstallDirs)

if(RS485_SANITIZE OR RS485_FUZZ)
  set(_rs485_man_default OFF)
else()
  set(_rs485_man_default ON)
endif()
option(RS485_MAN_PAGES "Generate and install manual pages (needs help2man)" ${_rs485_man_default})
if(RS485_MAN_PAGES)
  find_program(HELP2MAN help2man REQUIRED)
  find_program(GZIP gzip REQUIRED)
endif()

function(rs485_man_page target)
  if(NOT RS485_MAN_PAGES)
    return()
  endif()
  cmake_parse_arguments(ARG "" "NAME;INCLUDE" "" ${ARGN})
  if(NOT ARG_NAME)
    message(FATAL_ERROR "rs485_man_page(${target}): NAME is required")
  endif()
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  set(include_args)
  set(include_depends)
  if(ARG_INCLUDE)
    get_filename_component(include_file ${ARG_INCLUDE} ABSOLUTE)
    set(include_args --include=${include_file})
    set(include_depends ${include_file})
  endif()
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM LC_ALL=C.UTF-8
            ${HELP2MAN} --no-info --section=1 --name=${ARG_NAME} ${include_args} --output=${page}
            $<TARGET_FILE:${target}>
    COMMAND ${GZIP} -9nf ${page}
    DEPENDS ${target} ${include_depends}
    COMMENT "Manual page of ${target}"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
