# The one version of srom-tool: CMake's project version. It reaches
#   - the programs' --version, through the generated header srom_version.h
#     (target srom_version);
#   - the Windows programs' file properties, through a version resource per
#     program (srom_version_resource);
#   - the packages: the .deb (CPack, cmake/SromPackaging.cmake) and the MSI
#     and zip (scripts/windows-msi.sh, scripts/windows-package.sh read
#     srom-version.txt in the build folder).
set(SROM_VERSION ${PROJECT_VERSION})
set(SROM_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/srom_version.h.in
               ${SROM_GENERATED_DIR}/srom_version.h @ONLY)
file(WRITE ${PROJECT_BINARY_DIR}/srom-version.txt "${SROM_VERSION}\n")

add_library(srom_version INTERFACE)
target_include_directories(srom_version INTERFACE ${SROM_GENERATED_DIR})

# srom_version_resource(TARGET DESCRIPTION): gives a Windows program the
# version resource that Explorer shows as its file properties.
function(srom_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  set(SROM_RC_FILE_NAME "$<TARGET_FILE_NAME:${target}>")
  set(SROM_RC_DESCRIPTION "${description}")
  set(SROM_RC_INTERNAL_NAME "${target}")
  set(SROM_RC_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(rc ${SROM_GENERATED_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/srom_version.rc.in ${rc}.in @ONLY)
  file(GENERATE OUTPUT ${rc} INPUT ${rc}.in)
  # Compiled on its own: resource scripts take none of the C++ warning
  # options that srom_common_flags gives every target.
  add_library(${target}_version_rc OBJECT ${rc})
  target_link_libraries(${target} PRIVATE ${target}_version_rc)
endfunction()
