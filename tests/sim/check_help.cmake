# Runs rs485-sim --help and --version as over SSH, without a display: both
# must exit 0; the help must name every option, the version the program.
set(no_display ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM)
execute_process(COMMAND ${no_display} "${SIM}" --help RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "rs485-sim --help exited with ${rc}: ${err}")
endif()
foreach(option --devices --link --port --no-pace --log --help --version --fault --seed --speed)
  string(FIND "${out}" "${option}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "rs485-sim --help does not mention ${option}")
  endif()
endforeach()

execute_process(COMMAND ${no_display} "${SIM}" --version RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "rs485-sim ${VERSION}\n")
  message(FATAL_ERROR "rs485-sim --version exited with ${rc} and printed '${out}' ${err}")
endif()
