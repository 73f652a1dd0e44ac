# Installs the build into a fresh prefix and checks that exactly the programs
# and their manual pages arrive, and that every manual page renders without
# warnings. Run with -DBUILD_DIR=... -DWORK_DIR=... -DEXE_SUFFIX=...
# -DPREP_BUILT=ON|OFF
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}"
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${installed}")
endif()

file(GLOB_RECURSE files RELATIVE "${WORK_DIR}" "${WORK_DIR}/*")
list(SORT files)
set(expected "bin/tonebake${EXE_SUFFIX}" "share/man/man1/tonebake.1"
             "bin/tonebake-disk${EXE_SUFFIX}" "share/man/man1/tonebake-disk.1"
             "bin/tonebake-play${EXE_SUFFIX}" "share/man/man1/tonebake-play.1"
             "bin/tonebake-tape${EXE_SUFFIX}" "share/man/man1/tonebake-tape.1")
if(PREP_BUILT)
  list(APPEND expected "bin/tonebake-prep${EXE_SUFFIX}" "share/man/man1/tonebake-prep.1")
endif()
# Windows builds also carry the manual pages as plain text.
if(TEXT_MANUAL)
  foreach(page tonebake tonebake-disk tonebake-tape tonebake-play)
    list(APPEND expected "manual/${page}.txt")
  endforeach()
  if(PREP_BUILT)
    list(APPEND expected "manual/tonebake-prep.txt")
  endif()
endif()
list(SORT expected)
if(NOT files STREQUAL expected)
  message(FATAL_ERROR "installed files: ${files}\nexpected: ${expected}")
endif()

find_program(GROFF groff)
if(GROFF)
  file(GLOB pages "${WORK_DIR}/share/man/man1/*.1")
  foreach(page IN LISTS pages)
    execute_process(COMMAND "${GROFF}" -man -ww -z "${page}"
                    RESULT_VARIABLE rendered ERROR_VARIABLE warnings)
    if(NOT rendered EQUAL 0 OR NOT warnings STREQUAL "")
      message(FATAL_ERROR "${page} does not render cleanly:\n${warnings}")
    endif()
  endforeach()
else()
  message(STATUS "groff not found: the manual page was not rendered")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
