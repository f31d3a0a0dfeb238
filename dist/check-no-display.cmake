# Starts the game with no display to reach: it must say so in one line and exit with 1 within a second,
# rather than run unseen on a substitute driver.
# cmake -DGAME=/path/to/vexed-drifts -P check-no-display.cmake
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=SDL_VIDEODRIVER ${GAME}
  TIMEOUT 1 RESULT_VARIABLE code ERROR_VARIABLE said OUTPUT_QUIET)
if(NOT code STREQUAL "1")
  message(FATAL_ERROR "exit status ${code}, not 1; stderr: ${said}")
endif()
if(NOT said MATCHES "vexed-drifts: cannot open a window: ")
  message(FATAL_ERROR "no 'cannot open a window' line; stderr: ${said}")
endif()
