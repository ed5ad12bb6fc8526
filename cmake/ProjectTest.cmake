# GoogleTest comes from Debian's source package and is built with whichever
# compiler this tree uses, so the cross build gets a Windows gtest too.
set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
if(WIN32)
  # The win32 thread model's C++ library has no std::mutex or std::condition_variable,
  # which GoogleTest's one-shot Notification is built on; it gets a Win32 event instead.
  target_compile_definitions(gtest PUBLIC GTEST_HAS_NOTIFICATION_=1)
  target_compile_options(gtest PUBLIC -include ${PROJECT_SOURCE_DIR}/tests/support/GTestNotification.h)
endif()

set(TEST_RESULTS_DIR ${CMAKE_BINARY_DIR}/test-results)
# A Windows program under Wine sees the Unix root as drive Z:.
if(WIN32)
  set(TEST_RESULTS_PATH "Z:${TEST_RESULTS_DIR}")
else()
  set(TEST_RESULTS_PATH "${TEST_RESULTS_DIR}")
endif()

# add_project_test(<name> SOURCES ... LIBS ... [GUI])
# One ctest entry per test program; each writes its gtest XML report into
# TEST_RESULTS_DIR so the runner can count individual cases.
function(add_project_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "GTEST_OUTPUT=xml:${TEST_RESULTS_PATH}/${name}.xml"
    TIMEOUT 300)
  if(T_GUI)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL ON LABELS gui)
  endif()
endfunction()

# add_high_dpi_test(<name> [ARGS ...])
# A second run of the test program <name>, as <name>_144dpi, in a Wine prefix of its own
# whose screen is set to 144 DPI (150 %), with ARGS on its command line.
function(add_high_dpi_test name)
  set(run ${name}_144dpi)
  add_test(NAME ${run} COMMAND ${name} ${ARGN})
  set_tests_properties(${run} PROPERTIES
    ENVIRONMENT "GTEST_OUTPUT=xml:${TEST_RESULTS_PATH}/${run}.xml;PROJECT_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-144dpi;PROJECT_WINE_DPI=144"
    TIMEOUT 300 RUN_SERIAL ON LABELS gui)
endfunction()

# add_emulated_run(<name> <test program> [GUI] [TIMEOUT <s>] [ARGS ...] [ENVIRONMENT ...])
# A run of a test program of the 32-bit tree, as emulated_<name>, for the stage that
# starts the shipped exes under emulated 32-bit Wine where the kernel runs no 32-bit
# programs (scripts/win32-emulated.sh). Labelled "emulated": the tree's own run leaves
# these out. Each starts in a prefix of its own (made once, kept) and waits five times
# longer: a 32-bit process takes some ten seconds to start there. TIMEOUT defaults to
# 300 s.
function(add_emulated_run name program)
  if(NOT WIN32 OR NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    return()
  endif()
  cmake_parse_arguments(E "GUI" "TIMEOUT" "ARGS;ENVIRONMENT" ${ARGN})
  if(NOT E_TIMEOUT)
    set(E_TIMEOUT 300)
  endif()
  set(run emulated_${name})
  add_test(NAME ${run} COMMAND ${program} ${E_ARGS})
  set(labels emulated)
  if(E_GUI)
    list(APPEND labels gui)
  endif()
  set_tests_properties(${run} PROPERTIES
    ENVIRONMENT "GTEST_OUTPUT=xml:${TEST_RESULTS_PATH}/${run}.xml;PROJECT_EMULATED=1;PROJECT_WAIT_SCALE=5;PROJECT_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-emulated;${E_ENVIRONMENT}"
    TIMEOUT ${E_TIMEOUT} RUN_SERIAL ON LABELS "${labels}")
endfunction()
