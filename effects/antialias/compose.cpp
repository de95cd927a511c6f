// The entry points of the composition and the choice of implementation behind them,
// made once per process from the processor's instruction-set level.
#include <atomic>
#include <vector>

#include "effects/antialias/compose.h"
#include "effects/antialias/compose_levels.h"

namespace qov::aa {
namespace {

// Null until the first call has chosen. Two threads that make their first calls at the
// same time may both choose; they choose the same entry and store the same address, so
// either store is the right one and no call ever sees a half-made choice.
std::atomic<const ComposeImplementation*> gChosen{nullptr};

const ComposeImplementation* choose() {
  const ComposeImplementation* best = nullptr;
  for (const ComposeImplementation& implementation : composeImplementations())
    if (simd::supports(implementation.level)) best = &implementation;
  return best;  // the scalar entry comes first and is supported everywhere
}

const ComposeImplementation& chosen() {
  const ComposeImplementation* implementation = gChosen.load(std::memory_order_acquire);
  if (implementation == nullptr) {
    implementation = choose();
    gChosen.store(implementation, std::memory_order_release);
  }
  return *implementation;
}

}  // namespace

const std::vector<ComposeImplementation>& composeImplementations() {
  static const std::vector<ComposeImplementation> implementations{
      {simd::Level::scalar, scalar::composeConstAlpha3, scalar::composeConstAlpha4},
#if QOV_COMPOSE_X86
      {simd::Level::sse2, sse2::composeConstAlpha3, sse2::composeConstAlpha4},
      {simd::Level::avx2, avx2::composeConstAlpha3, avx2::composeConstAlpha4},
      {simd::Level::avx512bw, avx512bw::composeConstAlpha3, avx512bw::composeConstAlpha4},
#endif
  };
  return implementations;
}

const ComposeImplementation& chosenComposeImplementation() { return chosen(); }

void resetComposeDispatchForTesting() { gChosen.store(nullptr, std::memory_order_release); }

int composeConstAlpha3(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind) {
  return chosen().compose3(src1, src1Step, alpha1, src2, src2Step, alpha2, dst, dstStep,
                           width, height, kind);
}

int composeConstAlpha4(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind) {
  return chosen().compose4(src1, src1Step, alpha1, src2, src2Step, alpha2, dst, dstStep,
                           width, height, kind);
}

}  // namespace qov::aa
