# Warnings are on for everyone; third-party headers come in as SYSTEM.
# RS485_WERROR makes them errors: scripts/build and CI switch it on, so that
# our own checks stop at a warning, while a user's or a packager's build with
# another compiler or other flags only reports it.
option(RS485_WERROR "Treat compiler warnings as errors (the project's own builds and CI)" OFF)
if(RS485_WERROR)
  set(_rs485_werror -Werror)
else()
  set(_rs485_werror)
endif()

function(rs485_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
    -Wnull-dereference -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough
    ${_rs485_werror})
endfunction()

# Tests and benchmarks: same strictness, minus the conversions that gtest
# macros and table literals trip over constantly.
function(rs485_test_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Woverloaded-virtual ${_rs485_werror})
endfunction()
