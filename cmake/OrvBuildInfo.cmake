# Build constants shown in the log banner and by the version switch.
execute_process(COMMAND git rev-parse --short=12 HEAD
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  OUTPUT_VARIABLE ORV_GIT_HASH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT ORV_GIT_HASH)
  set(ORV_GIT_HASH "unknown")
endif()
string(TIMESTAMP ORV_BUILD_DATE "%Y-%m-%d")
string(TIMESTAMP ORV_BUILD_TIME "%H:%M:%S")
set(ORV_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/build_info.h.in
  ${CMAKE_BINARY_DIR}/generated/build_info.h @ONLY)
add_library(orv_build_info INTERFACE)
target_include_directories(orv_build_info INTERFACE ${CMAKE_BINARY_DIR}/generated)
