# Cross build for 64-bit ARM Linux (Raspberry Pi OS 64-bit, Debian and Ubuntu arm64) on an x86
# machine, with clang and Debian's cross sysroot packages:
#
#   libc6-dev-arm64-cross libstdc++-12-dev-arm64-cross libgcc-12-dev-arm64-cross
#   binutils-aarch64-linux-gnu
#
#   cmake --preset aarch64          # or: cmake -S . -B DIR -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
#
# clang finds the sysroot (/usr/aarch64-linux-gnu) and the cross GCC's runtime
# (/usr/lib/gcc-cross/aarch64-linux-gnu/12) by the target triplet, and links with
# aarch64-linux-gnu-ld. Debian's gcc cross compilers (g++-aarch64-linux-gnu) are not used:
# installing them removes gcc-multilib, which the 32-bit x86 build needs.
#
# The test programs run under the user-mode emulator qemu-aarch64 (package qemu-user),
# which the aarch64 preset names as CMAKE_CROSSCOMPILING_EMULATOR with the sysroot as the
# programs' library prefix.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(QOV_AARCH64_TRIPLET aarch64-linux-gnu)

set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET ${QOV_AARCH64_TRIPLET})
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET ${QOV_AARCH64_TRIPLET})
set(CMAKE_AR ${QOV_AARCH64_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${QOV_AARCH64_TRIPLET}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${QOV_AARCH64_TRIPLET}-strip CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${QOV_AARCH64_TRIPLET}-objdump CACHE FILEPATH "")

# Libraries and packages of the target only, so that none of the build machine's x86
# libraries is taken for one: qovhost (libpng) and the GStreamer plug-in are left out unless
# their target libraries are there. Headers of the target first, then the build machine's:
# frei0r.h is a header alone, the same for every architecture. Programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QOV_AARCH64_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads the target's .pc files (those of arm64 packages, where installed) and the
# architecture-independent ones, never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${QOV_AARCH64_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
