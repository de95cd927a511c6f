#!/usr/bin/env bash
# The worker pool, the kernel families' first choice of level, the effects' threaded passes,
# MLAA's parallel blocks against the serial order, the reliability, host-interface and
# unload tests, MLT's slice threads on one frei0r instance, and the GStreamer filters forked in
# mid-frame (where GStreamer's development files are installed), under GCC's ThreadSanitizer
# in build-tsan/ (scripts/test.sh runs it). The pool synchronises through the C++ standard
# library's atomics, mutexes and condition variables, which ThreadSanitizer sees; nothing
# needs to be suppressed.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build-tsan
targets=(worker_pool_test simd_test matte_test compose_test antialias_frame_test mlaa_test mlaa_parallel_test reliability_test
         host_interface_test plugin_unload_test frei0r_unload_test frei0r_test)

cmake --preset tsan >/dev/null
# GStreamer itself synchronises through GLib, which ThreadSanitizer does not see: of the
# element tests only those whose threads run the plug-in's code alone run here.
gst_tests=false
build_targets=$(cmake --build --preset tsan --target help)
if grep -q gst_elements_test <<<"$build_targets"; then
  gst_tests=true
  targets+=(gst_elements_test)
fi
cmake --build --preset tsan -j 2 --target "${targets[@]}" >/dev/null

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
for test in "$build"/tests/parallel/worker_pool_test "$build"/tests/antialias/simd_test "$build"/tests/matte/matte_test \
            "$build"/tests/antialias/compose_test "$build"/tests/antialias/antialias_frame_test \
            "$build"/tests/antialias/mlaa_test \
            "$build"/tests/antialias/mlaa_parallel_test \
            "$build"/tests/reliability/reliability_test "$build"/tests/host_interface/host_interface_test \
            "$build"/tests/host_interface/plugin_unload_test "$build"/tests/frei0r/frei0r_unload_test; do
  echo "=== $(basename "$test")"
  "$test" --gtest_brief=1
done
echo "=== frei0r_test (MLT's slice threads)"
"$build"/tests/frei0r/frei0r_test --gtest_brief=1 --gtest_filter='*MltSlices*'
if $gst_tests; then
  echo "=== gst_elements_test (the filters forked in mid-frame)"
  "$build"/tests/gst/gst_elements_test --gtest_brief=1 --gtest_filter='*FilterForkInMidFrame*'
fi
echo "=== ThreadSanitizer: no reports"
