// The whole-frame matte pass: kernel choice and the split of the frame among threads.
#include "effects/matte/matte_frame.h"

#include <omp.h>

#include <algorithm>

#include "effects/matte/matte_rule.h"

namespace qov::matte {
namespace detail {
namespace {

// Threads' blocks start on whole cache lines of the output, so no two threads write into
// the same line.
constexpr size_t cacheLineBytes = 64;
constexpr size_t blockAlignPixels = cacheLineBytes / bytesPerPixel;

}  // namespace

MatteKernel kernelForLevel(simd::Level level) {
  if (!simd::supports(level)) return nullptr;
  switch (level) {
    case simd::Level::scalar:
      return scalar::applyMatte;
#if QOV_MATTE_X86_KERNELS
    case simd::Level::sse2:
      return sse2::applyMatte;
    case simd::Level::avx2:
      return avx2::applyMatte;
    case simd::Level::avx512bw:
      return avx512bw::applyMatte;
#else
    default:
      return nullptr;
#endif
  }
  return nullptr;
}

MatteKernel selectedKernel() {
  // Initialised once, also under concurrent first calls.
  static const MatteKernel kernel = kernelForLevel(simd::highestLevel());
  return kernel;
}

void matteFrameWith(MatteKernel kernel, size_t parallelFromPixels, const uint8_t* colourSource,
                    const uint8_t* maskSource, uint8_t* destination, size_t pixelCount,
                    const MatteSettings& s) {
  if (pixelCount < parallelFromPixels) {
    kernel(colourSource, maskSource, destination, pixelCount, s);
    return;
  }
  // One region for the whole frame, each thread one contiguous block: every pixel is
  // independent, so the rows need not be taken one after the other.
#pragma omp parallel
  {
    // 64-bit products: blocks * threads may not fit a 32-bit size_t.
    const uint64_t threads = static_cast<uint64_t>(omp_get_num_threads());
    const uint64_t thread = static_cast<uint64_t>(omp_get_thread_num());
    const uint64_t blocks = (uint64_t{pixelCount} + blockAlignPixels - 1) / blockAlignPixels;
    const size_t begin = static_cast<size_t>(
        std::min<uint64_t>(pixelCount, blocks * thread / threads * blockAlignPixels));
    const size_t end = static_cast<size_t>(
        std::min<uint64_t>(pixelCount, blocks * (thread + 1) / threads * blockAlignPixels));
    if (begin < end) {
      const size_t offset = begin * bytesPerPixel;
      kernel(colourSource + offset, maskSource + offset, destination + offset, end - begin, s);
    }
  }
}

}  // namespace detail

void matteFrame(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                int width, int height, const MatteSettings& s) {
  if (width < 1 || height < 1) return;
  const size_t pixelCount = static_cast<size_t>(width) * static_cast<size_t>(height);
  detail::matteFrameWith(detail::selectedKernel(), detail::minParallelPixels, colourSource,
                         maskSource, destination, pixelCount, s);
}

}  // namespace qov::matte
