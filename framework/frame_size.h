// The one rule for frame sizes a plug-in accepts, shared by the FreeFrame and frei0r
// editions: width x height x bytes per pixel must fit a limit, computed so that no product
// can wrap around, whatever the host's width and height.
#pragma once

#include <cstdint>

namespace qov {

// True when width * height * bytesPerPixel <= limit; frames of no pixels always fit.
// A row's bytes (below 2^32 * bytesPerPixel) fit 64 bits; the height is then compared with
// how many such rows the limit holds, so the full product is never formed.
constexpr bool frameBytesFit(uint32_t width, uint32_t height, uint32_t bytesPerPixel, uint64_t limit) {
  if (width == 0 || height == 0 || bytesPerPixel == 0) return true;
  const uint64_t rowBytes = uint64_t{width} * bytesPerPixel;
  return rowBytes <= limit && height <= limit / rowBytes;
}

static_assert(frameBytesFit(0x80000000u, 0, 4, 0x7FFFFFFF), "no pixels");
static_assert(!frameBytesFit(0x80000000u, 0x80000000u, 4, UINT64_MAX), "2^64 bytes wrap to 0 as a product");
static_assert(frameBytesFit(0x10000u, 0x2000u, 4, 0x80000000u) && !frameBytesFit(0x10000u, 0x2000u, 4, 0x7FFFFFFF),
              "exact bound");

}  // namespace qov
