# The project's version where the scripts read it (tools/dist.sh and
# tools/release.sh source release.env); programs that print it take
# GAUGES_VERSION from target_compile_definitions.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/release.env
     CONTENT "GAUGES_VERSION='${PROJECT_VERSION}'\nGAUGES_PRODUCT='${PROJECT_DESCRIPTION}'\n")

# gauge_version_resource(<target> <file name> <description>): on Windows, the
# one version resource (VERSIONINFO, id 1, U.S. English) a pilot sees in the
# file's properties. The simulator reads only a gauge's bitmaps.
function(gauge_version_resource target file_name description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(GAUGES_FILE_TYPE 1)  # an application
  else()
    set(GAUGES_FILE_TYPE 2)  # a library
  endif()
  set(GAUGES_FILE_NAME ${file_name})
  set(GAUGES_FILE_DESCRIPTION ${description})
  set(GAUGES_INTERNAL_NAME ${target})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
