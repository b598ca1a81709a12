# Runs a Windows host under wine on the case file and compares its transcript
# with the one the Linux library gives for the same cases.
#   CASES      Linux program writing the case file
#   REFERENCE  Linux transcript host
#   WINE_RUN   wine-run, WINE_PREFIX its prefix
#   HOST       the Windows host; it runs in WORKDIR, which holds Tressel.dll
#   OUTPUT     folder for cases.txt, expected.txt and actual.txt
foreach(program CASES REFERENCE)
  if(NOT EXISTS "${${program}}")
    message(FATAL_ERROR "${${program}} is missing: build the Linux release first (make test-windows does)")
  endif()
endforeach()

set(base ${OUTPUT}/${NAME})
execute_process(COMMAND ${CASES} OUTPUT_FILE ${base}.cases.txt RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "writing the cases failed: ${status}")
endif()
execute_process(COMMAND ${REFERENCE} INPUT_FILE ${base}.cases.txt OUTPUT_FILE ${base}.expected.txt
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the Linux reference failed: ${status}")
endif()
execute_process(COMMAND ${WINE_RUN} ${WINE_PREFIX} ${HOST}
  WORKING_DIRECTORY ${WORKDIR}
  INPUT_FILE ${base}.cases.txt OUTPUT_FILE ${base}.actual.txt
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${HOST} failed under wine: ${status}")
endif()

file(READ ${base}.expected.txt expected)
file(READ ${base}.actual.txt actual)
if(NOT expected STREQUAL actual)
  execute_process(COMMAND diff ${base}.expected.txt ${base}.actual.txt OUTPUT_VARIABLE difference)
  string(SUBSTRING "${difference}" 0 4000 difference)
  message(FATAL_ERROR "the transcripts differ (expected < > actual):\n${difference}")
endif()
string(REGEX MATCHALL "\ncase [^\n]*" cases "${actual}")
list(LENGTH cases n)
message(STATUS "${n} cases, transcript identical to the Linux build's")
