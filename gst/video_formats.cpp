// Where each format the elements take keeps its bytes.
#include "gst/video_formats.h"

namespace qov::gst {
namespace {

constexpr int kNoFourth = -1;

const FormatLayout kFormats[] = {
    {GST_VIDEO_FORMAT_BGRA, 4, 0, 1, 2, 3, true, GST_VIDEO_FORMAT_BGRA},
    {GST_VIDEO_FORMAT_BGRx, 4, 0, 1, 2, 3, false, GST_VIDEO_FORMAT_BGRA},
    {GST_VIDEO_FORMAT_RGBA, 4, 2, 1, 0, 3, true, GST_VIDEO_FORMAT_RGBA},
    {GST_VIDEO_FORMAT_RGBx, 4, 2, 1, 0, 3, false, GST_VIDEO_FORMAT_RGBA},
    {GST_VIDEO_FORMAT_ARGB, 4, 3, 2, 1, 0, true, GST_VIDEO_FORMAT_ARGB},
    {GST_VIDEO_FORMAT_xRGB, 4, 3, 2, 1, 0, false, GST_VIDEO_FORMAT_ARGB},
    {GST_VIDEO_FORMAT_ABGR, 4, 1, 2, 3, 0, true, GST_VIDEO_FORMAT_ABGR},
    {GST_VIDEO_FORMAT_xBGR, 4, 1, 2, 3, 0, false, GST_VIDEO_FORMAT_ABGR},
    {GST_VIDEO_FORMAT_BGR, 3, 0, 1, 2, kNoFourth, false, GST_VIDEO_FORMAT_BGR},
    {GST_VIDEO_FORMAT_RGB, 3, 2, 1, 0, kNoFourth, false, GST_VIDEO_FORMAT_RGB},
};

}  // namespace

const FormatLayout* formatLayout(GstVideoFormat format) {
  for (const FormatLayout& layout : kFormats)
    if (layout.format == format) return &layout;
  return nullptr;
}

GstVideoFormat paddedTwin(GstVideoFormat alphaFormat) {
  for (const FormatLayout& layout : kFormats)
    if (layout.withAlpha == alphaFormat && layout.channels == 4 && !layout.fourthIsAlpha) return layout.format;
  return GST_VIDEO_FORMAT_UNKNOWN;
}

matte::MatteLayout matteLayoutOf(const FormatLayout& layout) {
  return {layout.blue, layout.green, layout.red, layout.fourth, layout.fourthIsAlpha};
}

aa::PixelLayout antialiasLayoutOf(const FormatLayout& layout) {
  return {layout.channels, layout.blue, layout.green, layout.red, layout.fourth};
}

}  // namespace qov::gst
