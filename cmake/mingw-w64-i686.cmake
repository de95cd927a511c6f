# Cross build of the 32-bit Windows DLLs (package g++-mingw-w64-i686-posix, the "posix"
# thread-model variant, whose GCC has std::thread):
#
#   cmake -S . -B build-windows-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake

set(QOV_MINGW_TRIPLET i686-w64-mingw32)
# Read by cmake/QovFlags.cmake: 32-bit x86 gets SSE2 arithmetic and the vector kernels.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
