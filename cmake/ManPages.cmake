# Manual pages generated at build time from each program's --help and
# --version by Debian's help2man, compressed as Debian wants them, and
# installed with the program: the English page, and the Russian one from the
# program's Russian --help under a ru_RU locale compiled into the build tree.
#
#   rs485_man_page(<target> NAME <one-line description> [INCLUDE <file.h2m>]
#                  RU_INCLUDE <file.ru.h2m>)
#
# The Russian page's one-line description is the [ИМЯ] section of its
# include file: help2man passes a --name of Cyrillic through as Latin-1.
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
  find_program(LOCALEDEF localedef REQUIRED)
  # help2man and the program both need the locale to exist; -c writes it
  # despite localedef's warnings about its sources.
  set(RS485_MAN_LOCALES ${CMAKE_BINARY_DIR}/man-locales)
  add_custom_command(
    OUTPUT ${RS485_MAN_LOCALES}/ru_RU.UTF-8/LC_CTYPE
    COMMAND ${CMAKE_COMMAND} -E make_directory ${RS485_MAN_LOCALES}
    COMMAND sh -c "${LOCALEDEF} -c -i ru_RU -f UTF-8 \"$1\" || test -e \"$1/LC_CTYPE\"" sh
            ${RS485_MAN_LOCALES}/ru_RU.UTF-8
    COMMENT "Russian locale for the manual pages"
    VERBATIM)
  add_custom_target(rs485-man-locale DEPENDS ${RS485_MAN_LOCALES}/ru_RU.UTF-8/LC_CTYPE)
endif()

function(rs485_man_page target)
  if(NOT RS485_MAN_PAGES)
    return()
  endif()
  cmake_parse_arguments(ARG "" "NAME;INCLUDE;RU_INCLUDE" "" ${ARGN})
  if(NOT ARG_NAME OR NOT ARG_RU_INCLUDE)
    message(FATAL_ERROR "rs485_man_page(${target}): NAME and RU_INCLUDE are required")
  endif()
  set(no_display ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM)
  set(pages)
  foreach(language en ru)
    if(language STREQUAL en)
      set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
      set(name_args --name=${ARG_NAME})
      set(include ${ARG_INCLUDE})
      set(locale_args LC_ALL=C.UTF-8 ${HELP2MAN})
    else()
      set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.ru.1)
      set(name_args)
      set(include ${ARG_RU_INCLUDE})
      set(locale_args LOCPATH=${RS485_MAN_LOCALES} ${HELP2MAN} --locale=ru_RU.UTF-8)
    endif()
    set(include_args)
    set(include_depends)
    if(include)
      get_filename_component(include_file ${include} ABSOLUTE)
      set(include_args --include=${include_file})
      set(include_depends ${include_file})
    endif()
    add_custom_command(
      OUTPUT ${page}.gz
      COMMAND ${no_display} ${locale_args} --no-info --section=1 ${name_args} ${include_args} --output=${page}
              $<TARGET_FILE:${target}>
      COMMAND ${GZIP} -9nf ${page}
      DEPENDS ${target} ${include_depends}
      COMMENT "Manual page of ${target} (${language})"
      VERBATIM)
    list(APPEND pages ${page}.gz)
  endforeach()
  add_custom_target(${target}-man ALL DEPENDS ${pages})
  add_dependencies(${target}-man rs485-man-locale)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${target}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${target}.ru.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/ru/man1
          RENAME ${target}.1.gz)
endfunction()
