# GoogleTest for the Windows test programs, built from Debian's sources
# (package googletest) with this build's own compiler: the host's libgtest is
# a Linux library. Static, like every program here; only what links it is built.
include_guard(GLOBAL)

set(MOLRA_GOOGLETEST_SOURCE /usr/src/googletest/googletest
    CACHE PATH "GoogleTest's sources (the googletest folder of them)")
if(NOT EXISTS ${MOLRA_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources at ${MOLRA_GOOGLETEST_SOURCE}: apt-get install googletest")
endif()

function(molra_add_googletest)
  set(BUILD_SHARED_LIBS OFF)
  add_subdirectory(${MOLRA_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endfunction()
molra_add_googletest()
