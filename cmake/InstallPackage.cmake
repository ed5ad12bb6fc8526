# cmake --install: the headers under include/RegistryRoutines (a consumer includes
# them as <registry/RegistryRoutines.h>, <common/Variant.h>, ...), the static
# libraries, and the package RegistryRoutines with its version file, so that
#   find_package(RegistryRoutines CONFIG REQUIRED)
#   target_link_libraries(app PRIVATE RegistryRoutines::RegistryRoutines)
# is all a consumer writes.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(REGISTRYROUTINES_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/RegistryRoutines)
install(TARGETS vbreg_common vbreg_platform vbreg_registry EXPORT RegistryRoutinesTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/RegistryRoutines)
install(EXPORT RegistryRoutinesTargets NAMESPACE RegistryRoutines::
  DESTINATION ${REGISTRYROUTINES_CMAKE_DIR})
write_basic_package_version_file(
  ${CMAKE_CURRENT_BINARY_DIR}/RegistryRoutinesConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/RegistryRoutinesConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/RegistryRoutinesConfigVersion.cmake
  DESTINATION ${REGISTRYROUTINES_CMAKE_DIR})
