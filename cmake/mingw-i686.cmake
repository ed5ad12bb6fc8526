# Cross build of the 32-bit Windows deliverables with mingw-w64.
set(MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
