# Cross build of the 64-bit Windows DLLs (package g++-mingw-w64-x86-64-posix):
#
#   cmake -S . -B build-windows-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake

set(QOV_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
