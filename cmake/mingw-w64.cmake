# What both Windows cross builds share, with Debian's MinGW-w64 toolchains in their "posix"
# thread-model variant (whose GCC has std::thread). Included by mingw-w64-i686.cmake (32-bit
# DLLs) and mingw-w64-x86_64.cmake (64-bit DLLs), which set QOV_MINGW_TRIPLET and
# CMAKE_SYSTEM_PROCESSOR first.
#
# The test programs of these builds run under Wine (see scripts/wine-run.sh).

set(CMAKE_SYSTEM_NAME Windows)

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
