// How the bytes of one pixel are laid out in a frame the antialiasing effect reads and writes:
// 3 or 4 bytes per pixel, where blue, green and red sit, and where the fourth byte (alpha or
// padding) sits. The effect's own order, the host's order of FreeFrame and frei0r, is BGRA
// (BGR at 24 bits); other hosts hand frames in the other orders named here.
#pragma once

namespace qov::aa {

struct PixelLayout {
  int channels;  // bytes per pixel: 3 or 4
  int blue, green, red;
  int fourth;  // 4 channels: the byte that is neither colour (alpha or padding); -1 for 3
};

inline constexpr bool operator==(const PixelLayout& a, const PixelLayout& b) {
  return a.channels == b.channels && a.blue == b.blue && a.green == b.green && a.red == b.red &&
         a.fourth == b.fourth;
}
inline constexpr bool operator!=(const PixelLayout& a, const PixelLayout& b) { return !(a == b); }

// The layouts by the names video libraries give them, bytes in memory order ("x" is padding,
// which the effect treats as it treats alpha).
inline constexpr PixelLayout kLayoutBGRA{4, 0, 1, 2, 3};
inline constexpr PixelLayout kLayoutBGRx = kLayoutBGRA;
inline constexpr PixelLayout kLayoutRGBA{4, 2, 1, 0, 3};
inline constexpr PixelLayout kLayoutRGBx = kLayoutRGBA;
inline constexpr PixelLayout kLayoutARGB{4, 3, 2, 1, 0};
inline constexpr PixelLayout kLayoutxRGB = kLayoutARGB;
inline constexpr PixelLayout kLayoutABGR{4, 1, 2, 3, 0};
inline constexpr PixelLayout kLayoutxBGR = kLayoutABGR;
inline constexpr PixelLayout kLayoutBGR{3, 0, 1, 2, -1};
inline constexpr PixelLayout kLayoutRGB{3, 2, 1, 0, -1};

// The effect's own layouts, the ones its passes work in without reordering.
inline constexpr PixelLayout kNativeLayout4 = kLayoutBGRA;
inline constexpr PixelLayout kNativeLayout3 = kLayoutBGR;

// The native layout of that many bytes per pixel (3 or 4).
inline constexpr PixelLayout nativeLayout(int channels) {
  return channels == 3 ? kNativeLayout3 : kNativeLayout4;
}

// 3 or 4 channels, each offset inside the pixel and no two the same; the fourth byte is -1
// exactly when there are 3 channels.
inline constexpr bool isValidLayout(const PixelLayout& layout) {
  if (layout.channels != 3 && layout.channels != 4) return false;
  const int offsets[] = {layout.blue, layout.green, layout.red, layout.fourth};
  const int count = layout.channels;
  if (layout.channels == 3 && layout.fourth != -1) return false;
  unsigned seen = 0;
  for (int i = 0; i < count; ++i) {
    const int offset = offsets[i];
    if (offset < 0 || offset >= layout.channels || (seen & (1u << offset))) return false;
    seen |= 1u << offset;
  }
  return true;
}

static_assert(isValidLayout(kLayoutBGRA) && isValidLayout(kLayoutRGBA) && isValidLayout(kLayoutARGB) &&
              isValidLayout(kLayoutABGR) && isValidLayout(kLayoutBGR) && isValidLayout(kLayoutRGB));
static_assert(!isValidLayout(PixelLayout{4, 0, 1, 1, 3}) && !isValidLayout(PixelLayout{3, 0, 1, 2, 3}));

}  // namespace qov::aa
