# GoogleTest for the mingw-w64 cross build: Debian ships only Linux libraries, so the
# sources in /usr/src/googletest are built with the cross compiler instead. Selected with
# -DGTest_DIR=<this folder>; provides the same targets as the installed package.
if(NOT TARGET gtest)
  set(BARWISE_GOOGLETEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources for the cross build")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${BARWISE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
endif()
set(GTest_FOUND TRUE)
