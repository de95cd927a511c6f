// The conversions without vectors: four pixels at a time as three little-endian words in and
// four out (a few shifts per pixel where moving bytes one by one takes eight instructions),
// single pixels for the rest. The reference of the vector levels, and their tails.
#include <cstring>

#include "effects/antialias/pixel_convert.h"

namespace qov::aa::scalar {
namespace {

constexpr std::size_t kGroup = 4;             // pixels converted as whole words
constexpr uint32_t kColour = 0x00FFFFFFu;     // the three colour bytes of a little-endian word
constexpr uint32_t kLowTwoBytes = 0xFFFFu;
constexpr uint32_t kLowByte = 0xFFu;

inline uint32_t load(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void store(uint8_t* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

void expand3(const uint8_t* packed, uint8_t* work, std::size_t count) {
  std::size_t i = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  for (; i + kGroup <= count; i += kGroup) {
    const uint8_t* const in = packed + 3 * i;
    const uint32_t a = load(in), b = load(in + 4), c = load(in + 8);
    uint8_t* const w = work + 4 * i;
    store(w, a & kColour);
    store(w + 4, ((a >> 24) | (b << 8)) & kColour);
    store(w + 8, ((b >> 16) | (c << 16)) & kColour);
    store(w + 12, c >> 8);
  }
#endif
  for (; i < count; ++i) {
    work[4 * i] = packed[3 * i];
    work[4 * i + 1] = packed[3 * i + 1];
    work[4 * i + 2] = packed[3 * i + 2];
    work[4 * i + 3] = 0;
  }
}

void pack3(const uint8_t* work, uint8_t* packed, std::size_t count) {
  std::size_t i = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  for (; i + kGroup <= count; i += kGroup) {
    const uint8_t* const w = work + 4 * i;
    const uint32_t p0 = load(w), p1 = load(w + 4), p2 = load(w + 8), p3 = load(w + 12);
    uint8_t* const out = packed + 3 * i;
    store(out, (p0 & kColour) | (p1 << 24));
    store(out + 4, ((p1 >> 8) & kLowTwoBytes) | (p2 << 16));
    store(out + 8, ((p2 >> 16) & kLowByte) | (p3 << 8));
  }
#endif
  for (; i < count; ++i) {
    packed[3 * i] = work[4 * i];
    packed[3 * i + 1] = work[4 * i + 1];
    packed[3 * i + 2] = work[4 * i + 2];
  }
}

}  // namespace

const ConvertKernels kConvertKernels{expand3, pack3};

}  // namespace qov::aa::scalar
