# Cases that need CMake (the scenarios run as scripts); the single-command
# cases are rows of cases.txt. tervala_cli_test (CMakeLists.txt) still adds a
# case written here.
foreach(scenario proj-cct files streaming fit-bursa-wolf fit-molodensky-badekas fit-helmert2d fit-height fit-snooping
        fit-geodetic grid-geoid egm96 demo extra transform)
  add_test(NAME cli.scenario.${scenario}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scenarios.sh ${TERVALA} ${CLI_WORK}/scenarios ${scenario})
  set_tests_properties(cli.scenario.${scenario} PROPERTIES
    ENVIRONMENT "TERVALA_EGM96_DIR=${TERVALA_TEST_EGM96_DIR};TERVALA_DATA_DIR=${CLI_WORK}/no-data;TERVALA_CLI_INPUTS=${CLI_INPUTS};TERVALA_TM_REFERENCE=${TM_REFERENCE}"
    SKIP_REGULAR_EXPRESSION "SKIP:")
endforeach()
