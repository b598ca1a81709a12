# A short fuzzing run from a target's seeds, with its own scratch corpus:
#   cmake -DFUZZER=... -DSEEDS=dir -DWORK=dir -DSECONDS=n [-DDICT=file] -P shortRun.cmake
# A fixed seed keeps the run repeatable as far as its time allows; a finding is
# kept under WORK/artifacts.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
set(options -max_total_time=${SECONDS} -seed=1 -timeout=25 -malloc_limit_mb=512 -print_final_stats=1 -artifact_prefix=${WORK}/artifacts/)
if(DICT)
  list(APPEND options -dict=${DICT})
endif()
execute_process(COMMAND ${FUZZER} ${options} ${WORK}/corpus ${SEEDS} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${status}); the input is in ${WORK}/artifacts")
endif()
