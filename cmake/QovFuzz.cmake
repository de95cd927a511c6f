# QOV_FUZZ=ON: the libFuzzer build. Everything (framework, effects, plug-ins) is compiled
# with clang's coverage instrumentation, AddressSanitizer and UndefinedBehaviorSanitizer,
# and frames of a few pixels are split among the worker threads as large ones are; the
# targets in fuzz/ link libFuzzer's driver. Not part of the default build.
if(QOV_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QOV_FUZZ needs clang (configure with -DCMAKE_CXX_COMPILER=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
  # Small frames are split among the worker threads too (effects/parallel/chunking.h).
  add_compile_definitions(QOV_SPLIT_SMALL_FRAMES)
endif()
