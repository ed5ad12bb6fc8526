# Cross build of the same sources as 64-bit Windows programs. Used to run the Windows
# tests under Wine on machines whose kernel cannot run 32-bit Linux programs (and so
# cannot run 32-bit Wine); the shipped exes are always the 32-bit ones. The same
# thread model as the 32-bit tree, so both see the same C++ library.
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
