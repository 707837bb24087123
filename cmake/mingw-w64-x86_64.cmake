# Cross-building rowsift.exe for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64-posix, whose std::thread needs the POSIX thread model):
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#   cmake --build build-win -j2 && ctest --test-dir build-win -LE 'huge|posix'
#
# The tests run under Wine, in a Wine prefix of their own inside the build
# folder (tests/CMakeLists.txt sets cmake/wine-run.sh.in as the emulator).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ROWSIFT_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ROWSIFT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ROWSIFT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ROWSIFT_MINGW_PREFIX}-windres)

# Libraries and headers of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${ROWSIFT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
