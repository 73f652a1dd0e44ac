# Runs every command of README.md's code blocks that starts with "tonebake",
# in order, in a scratch directory holding the bundled sample as chime.wav
# and as voice.flac, with the built programs first on the PATH; each must
# exit 0. Run with -DSOURCE_DIR=... -DBUILD_DIR=... -DWORK_DIR=...
# -DPREP_BUILT=ON|OFF
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(COPY "${SOURCE_DIR}/examples/chime.wav" DESTINATION "${WORK_DIR}")
file(COPY_FILE "${SOURCE_DIR}/examples/chime.wav" "${WORK_DIR}/voice.flac")
if(NOT PREP_BUILT)
  # What the prep command would have made, for the commands after it.
  file(COPY_FILE "${SOURCE_DIR}/examples/chime.wav" "${WORK_DIR}/voice.wav")
endif()
file(STRINGS "${SOURCE_DIR}/README.md" lines)
set(count 0)
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^ +(tonebake.*)$")
    continue()
  endif()
  set(command "${CMAKE_MATCH_1}")
  if(command MATCHES "^tonebake-prep" AND NOT PREP_BUILT)
    continue()
  endif()
  execute_process(COMMAND sh -c "PATH='${BUILD_DIR}':\"$PATH\" ${command}"
                  WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE result
                  OUTPUT_QUIET ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "README command failed (${result}): ${command}\n${errors}")
  endif()
  math(EXPR count "${count} + 1")
endforeach()
if(count LESS 5)
  message(FATAL_ERROR "only ${count} README commands found")
endif()
message(STATUS "${count} README commands ran")

# The build commands, configured in the order a reader runs them, into one
# scratch build folder: after the quick start, the test command must still
# have tests to run.
set(configured 0)
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^ +cmake -S \\. -B build([^&]*)&&")
    continue()
  endif()
  separate_arguments(options UNIX_COMMAND "${CMAKE_MATCH_1}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${WORK_DIR}/build" ${options}
                  RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "README configure failed (${result}): ${line}\n${errors}")
  endif()
  math(EXPR configured "${configured} + 1")
  if(line MATCHES "ctest")
    execute_process(COMMAND "${CMAKE_CTEST_COMMAND}" --test-dir "${WORK_DIR}/build" -N
                    OUTPUT_VARIABLE listed RESULT_VARIABLE result)
    if(NOT listed MATCHES "Total Tests: [1-9]")
      message(FATAL_ERROR "after the README's commands before it, its test command finds no tests:\n${listed}")
    endif()
    break()
  endif()
endforeach()
if(configured LESS 2)
  message(FATAL_ERROR "the README's build and test commands were not found")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
