// Choice of the edge-detection kernel for the processor at hand.
#include "effects/antialias/mlaa_internal.h"

namespace qov::aa::detail {

DetectRowsFn detectRowsFor(simd::Level level) {
#if defined(__i386__) || defined(__x86_64__)
  // Wider kernels than AVX2 would gain nothing: detection is bound by memory traffic.
  if (static_cast<int>(level) >= static_cast<int>(simd::Level::avx2) &&
      simd::supports(simd::Level::avx2))
    return avx2::detectRows;
  if (static_cast<int>(level) >= static_cast<int>(simd::Level::sse2) &&
      simd::supports(simd::Level::sse2))
    return sse2::detectRows;
#else
  (void)level;
#endif
  return scalar::detectRows;
}

DetectRowsFn detectRows() {
  // Initialised once, also under concurrent first use.
  static const DetectRowsFn chosen = detectRowsFor(simd::highestLevel());
  return chosen;
}

}  // namespace qov::aa::detail
