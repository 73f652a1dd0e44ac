# Installs the build into a fresh prefix and checks that exactly the program
# and its manual page arrive, and that the manual page renders without
# warnings. Run with -DBUILD_DIR=... -DWORK_DIR=... -DEXE_SUFFIX=...
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}"
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${installed}")
endif()

file(GLOB_RECURSE files RELATIVE "${WORK_DIR}" "${WORK_DIR}/*")
list(SORT files)
set(expected "bin/tonebake${EXE_SUFFIX}" "share/man/man1/tonebake.1")
list(SORT expected)
if(NOT files STREQUAL expected)
  message(FATAL_ERROR "installed files: ${files}\nexpected: ${expected}")
endif()

find_program(GROFF groff)
if(GROFF)
  execute_process(COMMAND "${GROFF}" -man -ww -z "${WORK_DIR}/share/man/man1/tonebake.1"
                  RESULT_VARIABLE rendered ERROR_VARIABLE warnings)
  if(NOT rendered EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "the manual page does not render cleanly:\n${warnings}")
  endif()
else()
  message(STATUS "groff not found: the manual page was not rendered")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
