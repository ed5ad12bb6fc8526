# The package RegistryRoutines: the target RegistryRoutines::RegistryRoutines.
include(${CMAKE_CURRENT_LIST_DIR}/RegistryRoutinesTargets.cmake)
