# Cross build for 64-bit Windows with mingw-w64 (Debian g++-mingw-w64-x86-64, the -posix
# compilers for std::thread and friends), linked statically so the executables run under
# Wine or on Windows without any DLL of the tool chain.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=tools/mingw-w64.cmake -DBARWISE_BUILD_GUI=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BARWISE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BARWISE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BARWISE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${BARWISE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BARWISE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GCC 12 reports a false -Wrestrict inside libstdc++'s string concatenation when inlining
# at -O3 (GCC bug 105651); the native build, at -O2, does not see it.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run under Wine when CTest or test discovery starts them.
find_program(BARWISE_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(BARWISE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BARWISE_WINE})
endif()
