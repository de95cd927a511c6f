// GStreamer set up for the element tests, frames as buffers, properties and the FreeFrame
// plug-ins' results.
#include "tests/gst/gst_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "host/frame_set.h"
#include "host/plugin_instance.h"
#include "tests/support/plugin_table.h"

namespace qov::test {
namespace {

std::atomic<int> glibWarnings{0};

void countWarnings(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer data) {
  if (level & (G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR)) ++glibWarnings;
  g_log_default_handler(domain, level, message, data);
}

// GStreamer finds the built plug-in and nothing else: its own registry in the build tree,
// no system plug-ins, and scanning in this process (a sanitizer build's plug-in can be
// loaded only where the sanitizer runtime is).
class GstEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("GST_REGISTRY_1_0", QOV_GST_TEST_REGISTRY, 1);
    setenv("GST_PLUGIN_SYSTEM_PATH_1_0", "", 1);
    setenv("GST_PLUGIN_PATH_1_0", QOV_GST_PLUGIN_DIR, 1);
    setenv("GST_REGISTRY_FORK", "no", 1);
    g_log_set_default_handler(countWarnings, nullptr);
    gst_init(nullptr, nullptr);
    GstPlugin* plugin = gst_registry_find_plugin(gst_registry_get(), "qov");
    ASSERT_NE(plugin, nullptr) << "the plug-in in " QOV_GST_PLUGIN_DIR " was not found";
    gst_object_unref(plugin);
  }
  void TearDown() override { gst_deinit(); }
};

[[maybe_unused]] ::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new GstEnvironment);

constexpr int kNativeBlue = 0, kNativeGreen = 1, kNativeRed = 2, kNativeFourth = 3;

uint8_t* pixelAt(uint8_t* rows, std::size_t stride, const GstLayout& layout, int x, int y) {
  return rows + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * layout.channels;
}

}  // namespace

GstLayout gstLayout(GstVideoFormat format) {
  const GstVideoFormatInfo* info = gst_video_format_get_info(format);
  GstLayout layout{};
  layout.format = format;
  layout.channels = GST_VIDEO_FORMAT_INFO_PSTRIDE(info, 0);
  layout.blue = GST_VIDEO_FORMAT_INFO_POFFSET(info, GST_VIDEO_COMP_B);
  layout.green = GST_VIDEO_FORMAT_INFO_POFFSET(info, GST_VIDEO_COMP_G);
  layout.red = GST_VIDEO_FORMAT_INFO_POFFSET(info, GST_VIDEO_COMP_R);
  layout.hasAlpha = GST_VIDEO_FORMAT_INFO_HAS_ALPHA(info);
  layout.fourth = -1;
  if (layout.hasAlpha) {
    layout.fourth = GST_VIDEO_FORMAT_INFO_POFFSET(info, GST_VIDEO_COMP_A);
  } else if (layout.channels == 4) {
    // The padding byte is the one no colour uses.
    layout.fourth = 0 + 1 + 2 + 3 - layout.blue - layout.green - layout.red;
  }
  return layout;
}

std::vector<GstVideoFormat> templateFormats(const char* element, const char* padTemplate) {
  std::vector<GstVideoFormat> formats;
  GstElementFactory* factory = gst_element_factory_find(element);
  if (factory == nullptr) return formats;
  for (const GList* item = gst_element_factory_get_static_pad_templates(factory); item; item = item->next) {
    auto* tmpl = static_cast<GstStaticPadTemplate*>(item->data);
    if (std::strcmp(tmpl->name_template, padTemplate) != 0) continue;
    GstCaps* caps = gst_static_pad_template_get_caps(tmpl);
    const GValue* list = gst_structure_get_value(gst_caps_get_structure(caps, 0), "format");
    for (guint i = 0; i < gst_value_list_get_size(list); ++i)
      formats.push_back(gst_video_format_from_string(g_value_get_string(gst_value_list_get_value(list, i))));
    gst_caps_unref(caps);
  }
  gst_object_unref(factory);
  return formats;
}

NativeFrame randomFrame(int width, int height, int channels, std::mt19937& rng) {
  NativeFrame frame{width, height, channels, {}};
  frame.bytes.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * channels);
  // Half the frames are few flat colours, with long edges for the antialiasing.
  const bool flat = rng() % 2 == 0;
  const uint32_t colours[4] = {static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng()),
                               static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng())};
  const int slope = static_cast<int>(rng() % 5) + 1;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* pixel = &frame.bytes[(static_cast<std::size_t>(y) * width + x) * channels];
      const uint32_t value = flat ? colours[((x * slope + y) / 7 + (x + y * slope) / 11) % 4]
                                  : static_cast<uint32_t>(rng());
      std::memcpy(pixel, &value, static_cast<std::size_t>(channels));
    }
  return frame;
}

GstBuffer* makeBuffer(const NativeFrame& frame, GstVideoFormat format, std::size_t stride, uint8_t padding,
                      GstClockTime pts, GstClockTime duration, std::size_t offset) {
  const GstLayout layout = gstLayout(format);
  const std::size_t size = offset + stride * static_cast<std::size_t>(frame.height);
  GstBuffer* buffer = gst_buffer_new_allocate(nullptr, size, nullptr);
  GstMapInfo map;
  gst_buffer_map(buffer, &map, GST_MAP_WRITE);
  std::memset(map.data, padding, size);
  for (int y = 0; y < frame.height; ++y)
    for (int x = 0; x < frame.width; ++x) {
      const uint8_t* native = &frame.bytes[(static_cast<std::size_t>(y) * frame.width + x) * frame.channels];
      uint8_t* pixel = pixelAt(map.data + offset, stride, layout, x, y);
      pixel[layout.blue] = native[kNativeBlue];
      pixel[layout.green] = native[kNativeGreen];
      pixel[layout.red] = native[kNativeRed];
      if (layout.fourth >= 0 && frame.channels == 4) pixel[layout.fourth] = native[kNativeFourth];
    }
  gst_buffer_unmap(buffer, &map);
  gsize offsets[GST_VIDEO_MAX_PLANES] = {offset};
  gint strides[GST_VIDEO_MAX_PLANES] = {static_cast<gint>(stride)};
  gst_buffer_add_video_meta_full(buffer, GST_VIDEO_FRAME_FLAG_NONE, format, static_cast<guint>(frame.width),
                                 static_cast<guint>(frame.height), 1, offsets, strides);
  GST_BUFFER_PTS(buffer) = pts;
  GST_BUFFER_DURATION(buffer) = duration;
  return buffer;
}

NativeFrame readBuffer(GstBuffer* buffer, GstCaps* caps) {
  GstVideoInfo info;
  EXPECT_TRUE(gst_video_info_from_caps(&info, caps));
  const GstLayout layout = gstLayout(GST_VIDEO_INFO_FORMAT(&info));
  NativeFrame frame{GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info), layout.channels, {}};
  frame.bytes.resize(static_cast<std::size_t>(frame.width) * frame.height * frame.channels);
  GstVideoFrame mapped;
  if (!gst_video_frame_map(&mapped, &info, buffer, GST_MAP_READ)) {
    ADD_FAILURE() << "the buffer does not hold a frame of its caps";
    return frame;
  }
  auto* rows = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0));
  const auto stride = static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0));
  for (int y = 0; y < frame.height; ++y)
    for (int x = 0; x < frame.width; ++x) {
      uint8_t* native = &frame.bytes[(static_cast<std::size_t>(y) * frame.width + x) * frame.channels];
      const uint8_t* pixel = pixelAt(rows, stride, layout, x, y);
      native[kNativeBlue] = pixel[layout.blue];
      native[kNativeGreen] = pixel[layout.green];
      native[kNativeRed] = pixel[layout.red];
      if (layout.fourth >= 0) native[kNativeFourth] = pixel[layout.fourth];
    }
  gst_video_frame_unmap(&mapped);
  return frame;
}

std::string capsString(GstVideoFormat format, int width, int height, int rateNumerator, int rateDenominator) {
  return std::string("video/x-raw,format=") + gst_video_format_to_string(format) + ",width=" +
         std::to_string(width) + ",height=" + std::to_string(height) + ",framerate=" + std::to_string(rateNumerator) +
         "/" + std::to_string(rateDenominator);
}

std::string propertyName(const char* parameterName) {
  std::string name;
  for (const char* c = parameterName; *c != '\0'; ++c)
    name += *c == ' ' ? '-' : static_cast<char>(g_ascii_tolower(*c));
  return name;
}

std::vector<float> randomValues(const parameters::ParameterSpec* specs, std::size_t count, std::mt19937& rng) {
  // Small amounts keep the matte masks unsaturated; the others reach the ends.
  const float amounts[] = {0.0f, 0.0001f, 0.0004f, 0.003f, 0.02f, 0.5f, 0.9f, 1.0f};
  std::vector<float> values;
  for (std::size_t i = 0; i < count; ++i) {
    if (specs[i].kind == parameters::Kind::kSwitch)
      values.push_back(rng() % 2 ? 1.0f : 0.0f);
    else
      values.push_back(amounts[rng() % (sizeof amounts / sizeof amounts[0])]);
  }
  return values;
}

void setProperties(GstElement* element, const parameters::ParameterSpec* specs, const std::vector<float>& values) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::string name = propertyName(specs[i].name);
    if (specs[i].kind == parameters::Kind::kSwitch)
      g_object_set(element, name.c_str(), static_cast<gboolean>(parameters::switchOn(values[i])), nullptr);
    else
      g_object_set(element, name.c_str(), static_cast<double>(values[i]), nullptr);
  }
}

std::vector<uint8_t> freeFrameResult(const char* plugin, const NativeFrame& frame, const std::vector<float>& values,
                                     const NativeFrame* second) {
  const uint32_t depth = frame.channels == 4 ? FF_DEPTH_32 : FF_DEPTH_24;
  host::PluginInstance instance(library(plugin), static_cast<uint32_t>(frame.width),
                                static_cast<uint32_t>(frame.height), depth);
  for (std::size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(instance.setParameter(static_cast<uint32_t>(i), values[i]).uintValue, 0u);
  std::vector<uint8_t> result = frame.bytes;
  if (second == nullptr) {
    EXPECT_EQ(instance.processFrame(result.data()).uintValue, 0u);
  } else {
    host::FrameSet frameSet(static_cast<uint32_t>(frame.width), static_cast<uint32_t>(frame.height),
                            static_cast<uint32_t>(frame.channels), {frame.bytes.data(), second->bytes.data()},
                            result.data());
    EXPECT_EQ(instance.processFrameMulti(frameSet.get()).uintValue, 0u);
  }
  return result;
}

::testing::AssertionResult sameFrame(const NativeFrame& actual, const std::vector<uint8_t>& expected) {
  if (actual.bytes.size() != expected.size())
    return ::testing::AssertionFailure() << actual.bytes.size() << " bytes, expected " << expected.size();
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (actual.bytes[i] == expected[i]) continue;
    const std::size_t pixel = i / actual.channels;
    return ::testing::AssertionFailure() << "pixel (" << pixel % actual.width << ", " << pixel / actual.width
                                         << ") byte " << i % actual.channels << " (native order) is "
                                         << int{actual.bytes[i]} << ", expected " << int{expected[i]};
  }
  return ::testing::AssertionSuccess();
}

NativeFrame opaque(NativeFrame frame) {
  for (std::size_t i = kNativeFourth; i < frame.bytes.size(); i += 4) frame.bytes[i] = 255;
  return frame;
}

void expectNoGlibWarnings() { EXPECT_EQ(glibWarnings.exchange(0), 0) << "GStreamer or GLib warned (see above)"; }

}  // namespace qov::test
