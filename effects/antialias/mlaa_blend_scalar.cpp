// The blending passes at the scalar level (mlaa_blend_scalar.h). Also Thin Lines, which
// every level shares.
#include "effects/antialias/mlaa_blend_scalar.h"
#include "effects/antialias/mlaa_band_passes.h"

namespace qov::aa::detail {
namespace {

constexpr float kThinNeighbours = 0.25f;  // weight of each neighbour line in Thin Lines
constexpr float kThinSelf = 0.5f;

}  // namespace

void softenThinLine(const LineGeometry& g, Index first, Index last) {
  for (Index x = first; x <= last; x += g.alongStep) {
    if (!(g.edgeAt(x + g.prevLineOffset) & g.passBit)) continue;
    // On the first line the previous-line pixel is x itself; reading all three words before
    // writing gives the same bytes as the byte-by-byte reads.
    const Index own = x - g.imageFirst;
    const uint32_t a = loadWord(g.image, own + g.prevLineOffset);
    const uint32_t b = loadWord(g.image, own + g.lineStride);
    const uint32_t p = loadWord(g.image, own);
    uint32_t out = kOpaque;
    for (int c = kColourBytes - 1; c >= 0; --c) {
      const float v = (static_cast<float>(channel(a, c)) + static_cast<float>(channel(b, c))) *
                          kThinNeighbours +
                      static_cast<float>(channel(p, c)) * kThinSelf;
      out |= truncatedByte(v, c);
    }
    storeWord(g.image, own, out);
  }
}

namespace scalar {
const BlendKernels kBlendKernels = blendKernelsWith<ScalarBlend>();
}

}  // namespace qov::aa::detail
