# Runs one conformance script through the interpreter. Normal scripts must
# exit with 0 and print exactly the expected file; error scripts (ERROR_REGEX
# given) must exit non-zero with stderr matching the expression.
execute_process(COMMAND ${SQ} ${SCRIPT}
  WORKING_DIRECTORY ${WORKDIR}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 60)
if(DEFINED ERROR_REGEX)
  if(rc EQUAL 0)
    message(FATAL_ERROR "expected a failure, sq exited with 0\nstdout:\n${out}")
  endif()
  if(NOT err MATCHES "${ERROR_REGEX}")
    message(FATAL_ERROR "stderr does not match '${ERROR_REGEX}':\n${err}")
  endif()
  return()
endif()
file(READ ${EXPECTED} expected)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "sq exited with ${rc}\nstderr:\n${err}\nstdout:\n${out}")
endif()
if(NOT out STREQUAL expected)
  file(WRITE ${ACTUAL} "${out}")
  message(FATAL_ERROR "output differs from ${EXPECTED}; actual output written to ${ACTUAL}\n--- actual\n${out}\n--- stderr\n${err}")
endif()
