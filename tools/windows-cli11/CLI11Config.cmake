# CLI11 for the mingw-w64 cross build. The installed package points at /usr/include as a
# whole, which would put the Linux C library headers before mingw's; this gives the
# header-only library its own include folder instead. Selected with -DCLI11_DIR=<this folder>.
if(NOT TARGET CLI11::CLI11)
  set(BARWISE_CLI11_HEADERS "/usr/include/CLI" CACHE PATH "CLI11 headers for the cross build")
  set(_cli11_include "${CMAKE_BINARY_DIR}/cli11-include")
  file(MAKE_DIRECTORY "${_cli11_include}")
  file(CREATE_LINK "${BARWISE_CLI11_HEADERS}" "${_cli11_include}/CLI" SYMBOLIC)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${_cli11_include}")
endif()
set(CLI11_FOUND TRUE)
