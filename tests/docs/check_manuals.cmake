# Every long option a program's --help names appears in its manual page.
# Run with -DBUILD_DIR=... -DSOURCE_DIR=... -DPROGRAMS="a;b" -DEXE_SUFFIX=...
foreach(program IN LISTS PROGRAMS)
  execute_process(COMMAND "${BUILD_DIR}/${program}${EXE_SUFFIX}" --help
                  OUTPUT_VARIABLE help RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${program} --help failed (${result})")
  endif()
  file(READ "${SOURCE_DIR}/doc/${program}.1" manual)
  string(REPLACE "\\-" "-" manual "${manual}")
  string(REGEX MATCHALL "--[a-z][a-z-]*" options "${help}")
  list(REMOVE_DUPLICATES options)
  foreach(option IN LISTS options)
    string(FIND "${manual}" "${option}" at)
    if(at EQUAL -1)
      message(SEND_ERROR "${program}: ${option} is in --help but not in doc/${program}.1")
    endif()
  endforeach()
endforeach()
