# Build-time helper: writes what a program prints (PROGRAM with ARGS) or a file (INPUT) to OUTPUT,
# gzipped when GZIP is set, as Debian wants manual pages and changelogs: best compression and no name
# or time stamp in the header, so the same input makes the same bytes.
#   cmake -DPROGRAM=… "-DARGS=a b" -DOUTPUT=… [-DGZIP=ON] -P Generate.cmake
#   cmake -DINPUT=… -DOUTPUT=… -DGZIP=ON -P Generate.cmake
if(PROGRAM)
  # A sanitized build's program is asked only about its output, not about what it keeps to the end.
  set(ENV{ASAN_OPTIONS} "detect_leaks=0")
  separate_arguments(args UNIX_COMMAND "${ARGS}")
  execute_process(COMMAND ${PROGRAM} ${args} OUTPUT_FILE ${OUTPUT}.tmp RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGS}: ${result}")
  endif()
else()
  configure_file(${INPUT} ${OUTPUT}.tmp COPYONLY)
endif()
if(GZIP)
  execute_process(COMMAND gzip -9 -n -f ${OUTPUT}.tmp RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip ${OUTPUT}.tmp: ${result}")
  endif()
  file(RENAME ${OUTPUT}.tmp.gz ${OUTPUT})
else()
  file(RENAME ${OUTPUT}.tmp ${OUTPUT})
endif()
