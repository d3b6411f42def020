# Cases that need CMake (the scenarios run as scripts); the single-command
# cases are rows of cases.txt. tervala_cli_test (CMakeLists.txt) still adds a
# case written here.
# The scenarios are shell scripts around the program with FIFOs, PROJ's
# tools and GeographicLib: not in a cross build.
if(CMAKE_CROSSCOMPILING)
  set(TERVALA_CLI_SCENARIOS "")
  message(STATUS "Tervala: cross build; the tool's scenario scripts (FIFOs, PROJ's tools) are not run")
else()
  set(TERVALA_CLI_SCENARIOS proj-cct files same-file streaming signals fit-bursa-wolf fit-molodensky-badekas fit-helmert2d fit-height
      fit-snooping fit-geodetic egm96 demo extra transform gridshift helmert15 gdal-plugin)
endif()
foreach(scenario ${TERVALA_CLI_SCENARIOS})
  add_test(NAME cli.scenario.${scenario}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scenarios.sh ${TERVALA} ${CLI_WORK}/scenarios ${scenario})
  set_tests_properties(cli.scenario.${scenario} PROPERTIES
    ENVIRONMENT "TERVALA_GDAL_PLUGIN=${TERVALA_GDAL_PLUGIN_RELPATH};TERVALA_EGM96_DIR=${TERVALA_TEST_EGM96_DIR};TERVALA_DATA_DIR=${CLI_WORK}/no-data;TERVALA_CLI_INPUTS=${CLI_INPUTS};TERVALA_TM_REFERENCE=${TM_REFERENCE}"
    SKIP_REGULAR_EXPRESSION "SKIP:")
endforeach()
# --- raster import and export ----------------------------------------------------
# A file no raster reader knows is refused naming it, and nothing is written;
# a build without GDAL says what the commands need (exit 2).
if(TERVALA_HAVE_GDAL)
  tervala_cli_test(import-grid.not-a-raster 1 "" "import-grid: .*cases.cmake: GDAL cannot read it as a raster: .*not recognized"
    ABSENT out.dat ARGS data import-grid ${CMAKE_CURRENT_SOURCE_DIR}/cases.cmake out.dat)
  tervala_cli_test(export-grid.not-a-grid 1 "" "export-grid: .*cases.cmake: not a usable grid file"
    ABSENT out.tif ARGS data export-grid ${CMAKE_CURRENT_SOURCE_DIR}/cases.cmake out.tif)
else()
  tervala_cli_test(import-grid.needs-gdal 2 "" "built without GDAL" ABSENT out.dat
    ARGS data import-grid ${CMAKE_CURRENT_SOURCE_DIR}/cases.cmake out.dat)
  tervala_cli_test(export-grid.needs-gdal 2 "" "built without GDAL" ABSENT out.tif
    ARGS data export-grid ${CMAKE_CURRENT_SOURCE_DIR}/cases.cmake out.tif)
endif()
