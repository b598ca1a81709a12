# Builds and runs the consumer program against the installed tree at PREFIX,
# found either through the CMake package (MODE cmake: shared and static) or
# through pkg-config (MODE pkgconfig), or against Tressel's sources at
# TRESSEL_SOURCE_DIR built inside the consumer's project (MODE subdirectory:
# shared and static). FLAGS carry the sanitizer options of an instrumented
# build, which the consumer must share.
set(work ${BINARY_DIR}/consumer-${MODE})
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${work}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  message(STATUS "${out}")
  set(out "${out}" PARENT_SCOPE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN}\nfailed (${status}):\n${out}\n${err}")
  endif()
endfunction()

if(MODE STREQUAL "cmake")
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${work} -DCMAKE_PREFIX_PATH=${PREFIX}
      -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
      "-DCMAKE_C_FLAGS=${FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
  run(${CMAKE_COMMAND} --build ${work})
  run(${work}/consumer_shared)
  run(${work}/consumer_static)
elseif(MODE STREQUAL "subdirectory")
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/../vendor -B ${work} -DTRESSEL_SOURCE_DIR=${TRESSEL_SOURCE_DIR}
      -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
  run(${CMAKE_COMMAND} --build ${work} -j 2)
  run(${work}/consumer_shared)
  run(${work}/consumer_static)
else()
  set(ENV{PKG_CONFIG_PATH} ${PREFIX}/${LIBDIR}/pkgconfig)
  run(pkg-config --cflags --libs tressel)
  separate_arguments(pkg_flags UNIX_COMMAND "${out}")
  run(pkg-config --variable=libdir tressel)
  string(STRIP "${out}" libdir)
  separate_arguments(extra UNIX_COMMAND "${FLAGS}")
  run(${C_COMPILER} ${extra} ${SOURCE_DIR}/consumer.c -o consumer ${pkg_flags} -Wl,-rpath,${libdir})
  run(${work}/consumer)
endif()
