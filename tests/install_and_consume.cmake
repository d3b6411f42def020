# Installs the built tree into a scratch prefix, builds the consumer project
# against it with find_package(Tervala), runs it and checks its output.
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}/prefix"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc})")
endif()
foreach(f include/tervala/Tervala.h include/tervala/Numbra.h)
  if(NOT EXISTS "${WORK_DIR}/prefix/${f}")
    message(FATAL_ERROR "installed tree lacks ${f}")
  endif()
endforeach()
# The installed program finds its GDAL plugin relative to itself, wherever
# the prefix is: a grid file it cannot read is refused by the plugin (exit 1)
# instead of a plugin that is not found (exit 2).
if(GDAL_PLUGIN)
  set(program "${WORK_DIR}/prefix/${BINDIR}/tervala")
  if(NOT EXISTS "${WORK_DIR}/prefix/${BINDIR}/${GDAL_PLUGIN}")
    message(FATAL_ERROR "installed tree lacks the GDAL plugin ${BINDIR}/${GDAL_PLUGIN}")
  endif()
  execute_process(COMMAND "${program}" data export-grid "${program}" "${WORK_DIR}/out.tif"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 1 OR NOT err MATCHES "not a usable grid file")
    message(FATAL_ERROR "the installed tervala did not reach its GDAL plugin (${rc}):\n${out}\n${err}")
  endif()
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${CONSUMER_DIR}" -B "${WORK_DIR}/build"
                "-DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix" "-DCMAKE_CXX_FLAGS=${CONSUMER_FLAGS}" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the consumer failed:\n${out}\n${err}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${WORK_DIR}/build" RESULT_VARIABLE rc OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the consumer failed:\n${out}\n${err}")
endif()
execute_process(COMMAND "${WORK_DIR}/build/consumer" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the consumer failed (${rc}):\n${out}\n${err}")
endif()
# 37.5 deg, 127 deg, 100 m on GRS80, there and back.
if(NOT out MATCHES "^-3049086\\.2377 4046274\\.1025 3861624\\.9748 -> 37\\.5000000000 127\\.0000000000 100\\.000000")
  message(FATAL_ERROR "unexpected consumer output: ${out}")
endif()
message(STATUS "consumer printed: ${out}")
