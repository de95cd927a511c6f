// The video formats the elements take: GStreamer's packed 8-bit RGB formats, where each one
// keeps blue, green, red and the fourth byte (alpha or padding) within a pixel, and the
// caps strings of the elements' pads.
#pragma once

#include <gst/video/video.h>

#include "effects/antialias/pixel_layout.h"
#include "effects/matte/matte_byte_rule.h"

namespace qov::gst {

struct FormatLayout {
  GstVideoFormat format;
  int channels;  // 3 or 4
  int blue;
  int green;
  int red;
  int fourth;               // -1 with 3 channels
  bool fourthIsAlpha;       // false: padding (the x of BGRx)
  GstVideoFormat withAlpha;  // the format of the same byte order whose fourth byte is alpha
};

// The layout of one of the formats below, or null for any other.
const FormatLayout* formatLayout(GstVideoFormat format);

// The format of the same byte order as `alphaFormat` whose fourth byte is padding.
GstVideoFormat paddedTwin(GstVideoFormat alphaFormat);

// The matte's view of a 4-byte format, and the antialiasing's view of any.
matte::MatteLayout matteLayoutOf(const FormatLayout& layout);
aa::PixelLayout antialiasLayoutOf(const FormatLayout& layout);

}  // namespace qov::gst

// Caps of the pads, one string each. Four bytes with alpha, with padding, and three bytes.
#define QOV_GST_ALPHA_FORMATS "BGRA, RGBA, ARGB, ABGR"
#define QOV_GST_PADDED_FORMATS "BGRx, RGBx, xRGB, xBGR"
#define QOV_GST_FOUR_BYTE_CAPS \
  GST_VIDEO_CAPS_MAKE("{ " QOV_GST_ALPHA_FORMATS ", " QOV_GST_PADDED_FORMATS " }")
#define QOV_GST_ALPHA_CAPS GST_VIDEO_CAPS_MAKE("{ " QOV_GST_ALPHA_FORMATS " }")
#define QOV_GST_ALL_CAPS \
  GST_VIDEO_CAPS_MAKE("{ " QOV_GST_ALPHA_FORMATS ", " QOV_GST_PADDED_FORMATS ", BGR, RGB }")
