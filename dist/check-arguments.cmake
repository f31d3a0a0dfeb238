# Runs the game with --version and --help where no display exists: each must answer on standard output
# and exit with 0 (reaching for a window would fail there), a failed write must not pass for success, and
# other arguments change nothing.
# cmake -DGAME=/path/to/vexed-drifts -DVERSION=1.2.3 -P check-arguments.cmake
function(run expect_code out_var)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=SDL_VIDEODRIVER ${GAME} ${ARGN}
    TIMEOUT 5 RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT code STREQUAL expect_code OR NOT err STREQUAL "")
    message(FATAL_ERROR "vexed-drifts ${ARGN}: exit status ${code} (not ${expect_code}); stderr: ${err}")
  endif()
  set(${out_var} "${out}" PARENT_SCOPE)
endfunction()

run(0 out --version)
if(NOT out STREQUAL "vexed-drifts ${VERSION}\n")
  message(FATAL_ERROR "--version printed '${out}', not 'vexed-drifts ${VERSION}'")
endif()
run(0 out --fullscreen --version extra)
if(NOT out STREQUAL "vexed-drifts ${VERSION}\n")
  message(FATAL_ERROR "--version among other arguments printed '${out}'")
endif()

run(0 out --help)
foreach(needed "Usage: vexed-drifts" "shoot-'em-up" "Left Control" "arrow keys" "Escape" "F11" "Alt\\+Return"
               "DISPLAY" "SDL_VIDEODRIVER" "SDL_AUDIODRIVER" "SDL_RENDER_DRIVER" "LIBGL_ALWAYS_SOFTWARE")
  if(NOT out MATCHES "${needed}")
    message(FATAL_ERROR "--help does not mention ${needed}:\n${out}")
  endif()
endforeach()
string(REGEX MATCHALL "\n" lines "${out}")
list(LENGTH lines count)
if(count GREATER 24)
  message(FATAL_ERROR "--help takes ${count} lines: a few are enough")
endif()

# Standard output that cannot be written: the answer is lost, and the exit status says so.
if(EXISTS /dev/full)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY ${GAME} --help
    TIMEOUT 5 RESULT_VARIABLE code OUTPUT_FILE /dev/full ERROR_QUIET)
  if(code STREQUAL "0")
    message(FATAL_ERROR "--help into a full device ended with 0")
  endif()
endif()
