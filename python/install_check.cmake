# Installs the built tree into a scratch prefix and imports the installed
# package with a clean environment: the module must be where the install
# rule says and find its libraries without LD_LIBRARY_PATH.
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}/prefix"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc})")
endif()
set(package "${WORK_DIR}/prefix/${PACKAGE_DIR}")
if(NOT EXISTS "${package}/tervala/__init__.py")
  message(FATAL_ERROR "installed tree lacks ${package}/tervala/__init__.py")
endif()
set(script [=[
import os, sys, tervala
where = os.path.dirname(tervala.__file__)
assert where.startswith(sys.argv[1]), (where, sys.argv[1])
t = tervala.Tervala()
t.Setup_Ellipsoid(6378137.0, 298.257222101)
n, e = t.geodetic_to_tm(38, 127, 600000, 200000, 1.0, [37.5], [127.3])
print("%.4f %.4f" % (n[0], e[0]))
]=])
set(env PYTHONPATH=${package} PYTHONDONTWRITEBYTECODE=1)
if(PRELOAD)
  list(APPEND env LD_PRELOAD=${PRELOAD} ASAN_OPTIONS=detect_leaks=0)
endif()
execute_process(COMMAND env -i ${env} "${PYTHON}" -c "${script}" "${package}"
                WORKING_DIRECTORY "${WORK_DIR}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "importing the installed package failed (${rc}):\n${out}\n${err}")
endif()
# The worked example of the Transverse Mercator section: 37.5, 127.3 on GRS80.
if(NOT out MATCHES "^544546\\.4017 226527\\.6649")
  message(FATAL_ERROR "unexpected output of the installed package: ${out}")
endif()
message(STATUS "installed package printed: ${out}")
