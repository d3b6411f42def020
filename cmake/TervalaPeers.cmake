# Independent geodesy libraries used as test oracles and benchmark peers.
# They are optional: tests that need them are skipped with a printed reason
# when they are missing.

find_package(PROJ CONFIG QUIET)
if(TARGET PROJ::proj)
  set(TERVALA_HAVE_PROJ ON)
else()
  set(TERVALA_HAVE_PROJ OFF)
endif()

find_library(TERVALA_GEOGRAPHICLIB_LIBRARY NAMES GeographicLib)
find_path(TERVALA_GEOGRAPHICLIB_INCLUDE GeographicLib/Config.h)
if(TERVALA_GEOGRAPHICLIB_LIBRARY AND TERVALA_GEOGRAPHICLIB_INCLUDE)
  set(TERVALA_HAVE_GEOGRAPHICLIB ON)
  add_library(tervala_peer_geographiclib INTERFACE)
  target_link_libraries(tervala_peer_geographiclib INTERFACE ${TERVALA_GEOGRAPHICLIB_LIBRARY})
  target_include_directories(tervala_peer_geographiclib SYSTEM INTERFACE ${TERVALA_GEOGRAPHICLIB_INCLUDE})
else()
  set(TERVALA_HAVE_GEOGRAPHICLIB OFF)
endif()

# One interface target that brings whichever peers are present, with a
# definition per peer so code can say why it skips.
add_library(tervala_peers INTERFACE)
if(TERVALA_HAVE_PROJ)
  target_link_libraries(tervala_peers INTERFACE PROJ::proj)
  target_compile_definitions(tervala_peers INTERFACE TERVALA_HAVE_PROJ=1)
endif()
if(TERVALA_HAVE_GEOGRAPHICLIB)
  target_link_libraries(tervala_peers INTERFACE tervala_peer_geographiclib)
  target_compile_definitions(tervala_peers INTERFACE TERVALA_HAVE_GEOGRAPHICLIB=1)
endif()
message(STATUS "Tervala peers: PROJ=${TERVALA_HAVE_PROJ} GeographicLib=${TERVALA_HAVE_GEOGRAPHICLIB}")
