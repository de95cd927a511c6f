# Compiler settings shared by every target.
#
# Float results must not depend on the build: no fast-math, and no fused multiply-add
# (a fused a*b+c rounds once instead of twice, which changes truncated bytes). 32-bit x86
# compilers default to x87 arithmetic with extended precision, so those builds are moved
# to SSE2 arithmetic as well.

add_library(qov_flags INTERFACE)
target_compile_options(qov_flags INTERFACE
  -Wall -Wextra
  -ffp-contract=off
  -fno-fast-math)

set(QOV_X86 OFF)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86)$")
  set(QOV_X86 ON)
endif()
# The names QOV_SIMD takes in this build: the levels of its architecture (effects/simd/simd.h).
if(QOV_X86)
  set(QOV_SIMD_LEVELS scalar sse2 avx2 avx512 avx512vnni)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
  set(QOV_SIMD_LEVELS scalar neon)
else()
  set(QOV_SIMD_LEVELS scalar)
endif()
if(QOV_X86 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_options(qov_flags INTERFACE -msse2 -mfpmath=sse)
endif()

if(MINGW)
  # Windows programs and DLLs carry their own libgcc, libstdc++ and winpthread, so
  # that nothing but system DLLs is needed beside them.
  target_link_options(qov_flags INTERFACE -static)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    # 64-bit Windows guarantees a 16-byte aligned stack, and GCC cannot realign it there for
    # 32- and 64-byte vector values it spills to the stack, yet would still access them with
    # aligned moves. The assembler writes every aligned vector move as an unaligned one
    # (same result, no fault on a 16-byte boundary).
    target_compile_options(qov_flags INTERFACE -Wa,-muse-unaligned-vector-move)
  endif()
endif()

if(QOV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Marks a source file as code for one instruction-set level. Only that file is compiled
# for the level; the code that calls into it checks the processor first.
function(qov_simd_source file level)
  # NEON is in the baseline of every AArch64 compiler: its files need no options.
  if(NOT QOV_X86 OR level STREQUAL "neon")
    return()
  endif()
  if(level STREQUAL "sse2")
    set(opts -msse2)
  elseif(level STREQUAL "avx2")
    set(opts -mavx2 -mbmi -mbmi2 -mpopcnt)
  elseif(level STREQUAL "avx512")
    set(opts -mavx512f -mavx512bw -mavx512vl -mavx2 -mbmi -mbmi2 -mpopcnt)
  elseif(level STREQUAL "avx512vnni")
    set(opts -mavx512vnni -mavx512f -mavx512bw -mavx512vl -mavx2 -mbmi -mbmi2 -mpopcnt)
  else()
    message(FATAL_ERROR "unknown instruction-set level ${level}")
  endif()
  set_property(SOURCE ${file} APPEND PROPERTY COMPILE_OPTIONS ${opts})
endfunction()
