# Header-only dependencies for a cross build (TERVALA_HOST_HEADERS set by the
# toolchain file): the folders of Boost, CLI11, nlohmann-json, {fmt} and Eigen are
# linked into <build>/host-headers, and the usual imported targets are made
# from them, so find_package needs no package files for the target system.
set(_host ${TERVALA_HOST_HEADERS})
set(_staged ${PROJECT_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${_staged})
foreach(_dir boost CLI nlohmann fmt eigen3)
  if(EXISTS ${_host}/${_dir} AND NOT EXISTS ${_staged}/${_dir})
    file(CREATE_LINK ${_host}/${_dir} ${_staged}/${_dir} SYMBOLIC)
  endif()
endforeach()

if(EXISTS ${_staged}/boost/version.hpp AND NOT TARGET Boost::headers)
  add_library(Boost::headers INTERFACE IMPORTED)
  set_target_properties(Boost::headers PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_staged})
endif()
if(EXISTS ${_staged}/CLI/CLI.hpp AND NOT TARGET CLI11::CLI11)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_staged})
endif()
if(EXISTS ${_staged}/nlohmann/json.hpp AND NOT TARGET nlohmann_json::nlohmann_json)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_staged})
endif()
if(EXISTS ${_staged}/fmt/format-inl.h AND NOT TARGET fmt::fmt)
  add_library(fmt::fmt INTERFACE IMPORTED)
  set_target_properties(fmt::fmt PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_staged}
    INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY=1)
endif()
if(EXISTS ${_staged}/eigen3/Eigen/Core AND NOT TARGET Eigen3::Eigen)
  add_library(Eigen3::Eigen INTERFACE IMPORTED)
  set_target_properties(Eigen3::Eigen PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_staged}/eigen3)
endif()
message(STATUS "Tervala: header-only dependencies from ${_host} (staged in ${_staged})")
