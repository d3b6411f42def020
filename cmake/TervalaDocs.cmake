# The API reference: Doxygen over the public headers (include/tervala and the
# generated Version.h). `cmake --build <build> --target docs` writes
# <build>/docs/html. Any Doxygen warning fails the target, so an
# undocumented parameter or a broken reference in a public header is caught
# by the ctest case api_reference as well.
find_package(Doxygen QUIET)
if(NOT DOXYGEN_FOUND)
  add_custom_target(docs
    COMMAND ${CMAKE_COMMAND} -E echo "docs: Doxygen is not installed (Debian package doxygen; scripts/install-deps installs it)"
    COMMAND ${CMAKE_COMMAND} -E false)
  return()
endif()

set(TERVALA_DOCS_OUTPUT ${PROJECT_BINARY_DIR}/docs)
set(TERVALA_DOCS_INPUT "${PROJECT_SOURCE_DIR}/include/tervala ${PROJECT_BINARY_DIR}/include/tervala")
set(TERVALA_DOCS_WARN_AS_ERROR FAIL_ON_WARNINGS)
configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${TERVALA_DOCS_OUTPUT}/Doxyfile @ONLY)

file(GLOB TERVALA_PUBLIC_HEADERS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/include/tervala/*)
add_custom_command(
  OUTPUT ${TERVALA_DOCS_OUTPUT}/html/index.html
  COMMAND ${DOXYGEN_EXECUTABLE} ${TERVALA_DOCS_OUTPUT}/Doxyfile
  DEPENDS ${TERVALA_DOCS_OUTPUT}/Doxyfile ${TERVALA_PUBLIC_HEADERS}
          ${PROJECT_BINARY_DIR}/include/tervala/Version.h
  WORKING_DIRECTORY ${TERVALA_DOCS_OUTPUT}
  COMMENT "Building the API reference with Doxygen (warnings are errors)"
  VERBATIM)
add_custom_target(docs DEPENDS ${TERVALA_DOCS_OUTPUT}/html/index.html)

if(TERVALA_BUILD_TESTS)
  # Runs Doxygen itself (not the target, whose output may be up to date), so
  # a header comment that breaks the reference fails the suite.
  add_test(NAME api_reference
    COMMAND ${DOXYGEN_EXECUTABLE} ${TERVALA_DOCS_OUTPUT}/Doxyfile
    WORKING_DIRECTORY ${TERVALA_DOCS_OUTPUT})
endif()
