# Cross build of the 32-bit Windows DLLs with Debian's MinGW-w64 i686 toolchain, the
# "posix" thread-model variant (package g++-mingw-w64-i686-posix), whose GCC has std::thread.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
#
# The test programs of this build run under Wine (see scripts/wine-run.sh).

set(CMAKE_SYSTEM_NAME Windows)
# Read by cmake/QovFlags.cmake: 32-bit x86 gets SSE2 arithmetic and the vector kernels.
set(CMAKE_SYSTEM_PROCESSOR i686)

set(QOV_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QOV_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QOV_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QOV_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${QOV_MINGW_TRIPLET}-objdump)

# Libraries and headers of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QOV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
