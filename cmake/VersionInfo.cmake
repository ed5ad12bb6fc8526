# Who the programs are by, as their version resources and the release test say it.
set(BURNISHER_AUTHORS "The Burnisher authors")
set(BURNISHER_COPYRIGHT "Copyright (c) 2026 the Burnisher authors. MIT License.")

# Gives a program the project's version resource, with its own name and description.
function(add_version_resource target description)
  set(VERSION_PROGRAM ${target})
  set(VERSION_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
