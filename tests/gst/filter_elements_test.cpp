// The filters driven as GStreamer drives them (GstHarness): the same bytes as the FreeFrame
// plug-in in every format, stride and offset, with sizes and properties changing from
// buffer to buffer; a writable padded frame processed in place without a copy; a buffer
// that is not writable left as it was; a property driven by a controller; elements on
// several streaming threads at once.
#include <gst/check/gstharness.h>
#include <gst/controller/gstdirectcontrolbinding.h>
#include <gst/controller/gstinterpolationcontrolsource.h>
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <ostream>
#include <thread>

#include "plugins/QovMLAA1/identity.h"
#include "plugins/QovSetMatte1/identity.h"
#include "tests/gst/gst_test_support.h"

namespace qov::test {
namespace {

constexpr GstClockTime kFrameDuration = GST_SECOND / 30;

struct FilterCase {
  const char* element;
  const char* freeFrame;
  const parameters::ParameterSpec* specs;
  std::size_t parameterCount;
  // The FreeFrame plug-in's result for the frame as the element reads it in `format`.
  std::vector<uint8_t> (*expected)(const NativeFrame&, const GstLayout&, std::vector<float>);
};

std::ostream& operator<<(std::ostream& out, const FilterCase& c) { return out << c.element; }

// A frame whose fourth byte is padding counts as opaque in the mask.
std::vector<uint8_t> expectedMatte(const NativeFrame& frame, const GstLayout& layout, std::vector<float> values) {
  return freeFrameResult("QovSetMatte1", layout.hasAlpha ? frame : opaque(frame), values);
}

// Padding is no alpha: "Use Alpha" acts as off there.
std::vector<uint8_t> expectedAntialiasing(const NativeFrame& frame, const GstLayout& layout,
                                          std::vector<float> values) {
  constexpr std::size_t useAlpha = parameters::indexOf(mlaa1::kParameterSpecs, "Use Alpha");
  if (layout.channels == 4 && !layout.hasAlpha) values[useAlpha] = 0.0f;
  return freeFrameResult("QovMLAA1", frame, values);
}

const FilterCase kFilters[] = {
    {"qovmlaa", "QovMLAA1", mlaa1::kParameterSpecs.data(), mlaa1::kParameterSpecs.size(), expectedAntialiasing},
    {"qovsetmatte", "QovSetMatte1", setmatte1::kParameterSpecs.data(), setmatte1::kParameterSpecs.size(),
     expectedMatte},
};

// A harness around a new element of the case.
struct Harness {
  explicit Harness(const char* element) : h(gst_harness_new(element)) {}
  ~Harness() { gst_harness_teardown(h); }
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  NativeFrame pullFrame() {
    GstBuffer* out = gst_harness_pull(h);
    GstCaps* caps = gst_pad_get_current_caps(h->sinkpad);
    NativeFrame frame = readBuffer(out, caps);
    gst_caps_unref(caps);
    gst_buffer_unref(out);
    return frame;
  }

  GstHarness* h;
};

std::string describe(GstVideoFormat format, int width, int height, std::size_t stride) {
  return std::string(gst_video_format_to_string(format)) + " " + std::to_string(width) + "x" +
         std::to_string(height) + " stride " + std::to_string(stride);
}

class FilterElement : public ::testing::TestWithParam<FilterCase> {
 protected:
  void TearDown() override { expectNoGlibWarnings(); }
};

// One element per format; each buffer brings other properties, and the size changes every
// few buffers (new caps mid-stream), with padded and packed rows.
TEST_P(FilterElement, GivesTheFreeFramePluginsBytesInEveryFormatAndStride) {
  const FilterCase& c = GetParam();
  // The last is split among the worker threads.
  const int sizes[][2] = {{1, 1}, {7, 3}, {33, 17}, {157, 9}, {2, 40}, {211, 90}};
  const std::size_t extraBytes[] = {0, 12, 13};
  std::mt19937 rng(22);
  const std::vector<GstVideoFormat> formats = templateFormats(c.element, "sink");
  ASSERT_FALSE(formats.empty());
  for (GstVideoFormat format : formats) {
    const GstLayout layout = gstLayout(format);
    Harness harness(c.element);
    GstClockTime pts = 0;
    int changedFrames = 0;  // a check of the check: the effect did something
    for (const auto& size : sizes) {
      gst_harness_set_src_caps_str(harness.h, capsString(format, size[0], size[1]).c_str());
      for (std::size_t extra : extraBytes) {
        const std::size_t stride = static_cast<std::size_t>(size[0]) * layout.channels + extra;
        const NativeFrame frame = randomFrame(size[0], size[1], layout.channels, rng);
        const std::vector<float> values = randomValues(c.specs, c.parameterCount, rng);
        setProperties(harness.h->element, c.specs, values);
        // Padded frames also start further into their buffer.
        ASSERT_EQ(gst_harness_push(harness.h, makeBuffer(frame, format, stride, 0xA5, pts, kFrameDuration, extra)),
                  GST_FLOW_OK);
        pts += kFrameDuration;
        const std::vector<uint8_t> expected = c.expected(frame, layout, values);
        changedFrames += expected != frame.bytes;
        ASSERT_TRUE(sameFrame(harness.pullFrame(), expected)) << describe(format, size[0], size[1], stride);
      }
    }
    EXPECT_GT(changedFrames, 0) << gst_video_format_to_string(format);
  }
}

TEST_P(FilterElement, ProcessesAWritablePaddedFrameInPlaceWithoutACopy) {
  const FilterCase& c = GetParam();
  constexpr int width = 33, height = 5;
  constexpr std::size_t stride = width * 4 + 20;
  constexpr uint8_t padding = 0x3C;
  std::mt19937 rng(23);
  for (GstVideoFormat format : {GST_VIDEO_FORMAT_BGRA, GST_VIDEO_FORMAT_ABGR}) {
    Harness harness(c.element);
    gst_harness_set_src_caps_str(harness.h, capsString(format, width, height).c_str());
    for (int frameNumber = 0; frameNumber < 3; ++frameNumber) {
      const NativeFrame frame = randomFrame(width, height, 4, rng);
      const std::vector<float> values = randomValues(c.specs, c.parameterCount, rng);
      setProperties(harness.h->element, c.specs, values);
      GstBuffer* in = makeBuffer(frame, format, stride, padding, frameNumber * kFrameDuration, kFrameDuration);
      GstMemory* memory = gst_buffer_peek_memory(in, 0);
      GstMapInfo before;
      gst_buffer_map(in, &before, GST_MAP_READ);
      const uint8_t* pixels = before.data;
      gst_buffer_unmap(in, &before);

      ASSERT_EQ(gst_harness_push(harness.h, in), GST_FLOW_OK);
      GstBuffer* out = gst_harness_pull(harness.h);
      // The element wrote into the buffer it was given: no other buffer and no other memory,
      // so nothing was allocated or copied for the frame.
      EXPECT_EQ(out, in);
      ASSERT_EQ(gst_buffer_n_memory(out), 1u);
      EXPECT_EQ(gst_buffer_peek_memory(out, 0), memory);
      GstMapInfo after;
      gst_buffer_map(out, &after, GST_MAP_READ);
      EXPECT_EQ(after.data, pixels);
      for (int y = 0; y < height; ++y)
        for (std::size_t i = width * 4; i < stride; ++i)
          ASSERT_EQ(after.data[y * stride + i], padding) << "row " << y << " padding byte " << i;
      gst_buffer_unmap(out, &after);
      GstCaps* caps = gst_pad_get_current_caps(harness.h->sinkpad);
      EXPECT_TRUE(sameFrame(readBuffer(out, caps), c.expected(frame, gstLayout(format), values)))
          << gst_video_format_to_string(format) << " frame " << frameNumber;
      gst_caps_unref(caps);
      gst_buffer_unref(out);
    }
  }
}

TEST_P(FilterElement, LeavesABufferItMayNotWriteAsItWas) {
  const FilterCase& c = GetParam();
  constexpr int width = 21, height = 6;
  std::mt19937 rng(24);
  for (GstVideoFormat format : templateFormats(c.element, "sink")) {
    const GstLayout layout = gstLayout(format);
    const std::size_t stride = static_cast<std::size_t>(width) * layout.channels + 8;
    Harness harness(c.element);
    gst_harness_set_src_caps_str(harness.h, capsString(format, width, height).c_str());
    const NativeFrame frame = randomFrame(width, height, layout.channels, rng);
    const std::vector<float> values = randomValues(c.specs, c.parameterCount, rng);
    setProperties(harness.h->element, c.specs, values);
    GstBuffer* in = makeBuffer(frame, format, stride);
    GstMapInfo map;
    gst_buffer_map(in, &map, GST_MAP_READ);
    const std::vector<uint8_t> original(map.data, map.data + map.size);
    gst_buffer_unmap(in, &map);

    // A second reference: the buffer is shared, so not writable.
    ASSERT_EQ(gst_harness_push(harness.h, gst_buffer_ref(in)), GST_FLOW_OK);
    EXPECT_TRUE(sameFrame(harness.pullFrame(), c.expected(frame, layout, values))) << gst_video_format_to_string(format);
    gst_buffer_map(in, &map, GST_MAP_READ);
    EXPECT_EQ(std::vector<uint8_t>(map.data, map.data + map.size), original) << gst_video_format_to_string(format);
    gst_buffer_unmap(in, &map);
    gst_buffer_unref(in);
  }
}

INSTANTIATE_TEST_SUITE_P(Elements, FilterElement, ::testing::ValuesIn(kFilters),
                         [](const ::testing::TestParamInfo<FilterCase>& info) { return info.param.element; });

// A controller moves red-amount from 0 to 0.0004 at one second; each frame is processed with
// the value of its own time.
TEST(FilterElements, AControllerSetsAPropertyForEachFrame) {
  Harness harness("qovsetmatte");
  const auto& specs = setmatte1::kParameterSpecs;
  // Every amount 0 and every switch off: the mask shows red alone.
  std::vector<float> values(specs.size(), 0.0f);
  setProperties(harness.h->element, specs.data(), values);
  constexpr double kLater = 0.0004;
  GstControlSource* source = gst_interpolation_control_source_new();
  g_object_set(source, "mode", GST_INTERPOLATION_MODE_NONE, nullptr);
  gst_timed_value_control_source_set(GST_TIMED_VALUE_CONTROL_SOURCE(source), 0, 0.0);
  gst_timed_value_control_source_set(GST_TIMED_VALUE_CONTROL_SOURCE(source), GST_SECOND, kLater);
  gst_object_add_control_binding(GST_OBJECT(harness.h->element),
                                 gst_direct_control_binding_new(GST_OBJECT(harness.h->element), "red-amount", source));
  gst_object_unref(source);

  constexpr int width = 16, height = 4;
  gst_harness_set_src_caps_str(harness.h, capsString(GST_VIDEO_FORMAT_BGRA, width, height).c_str());
  std::mt19937 rng(25);
  const NativeFrame frame = randomFrame(width, height, 4, rng);
  const std::size_t redAmount = 1;
  for (GstClockTime pts : {GstClockTime{0}, GstClockTime{2 * GST_SECOND}}) {
    ASSERT_EQ(gst_harness_push(harness.h, makeBuffer(frame, GST_VIDEO_FORMAT_BGRA, width * 4, 0, pts, kFrameDuration)),
              GST_FLOW_OK);
    values[redAmount] = pts == 0 ? 0.0f : static_cast<float>(kLater);
    EXPECT_TRUE(sameFrame(harness.pullFrame(), freeFrameResult("QovSetMatte1", frame, values))) << "at " << pts;
  }
  expectNoGlibWarnings();
}

// Each element on a streaming thread of its own, all at once, with frames large enough to
// be split among the library's worker threads: every output is still the FreeFrame
// plug-in's (the elements share the workers, nothing writable).
TEST(FilterElements, ElementsOnSeveralStreamingThreadsRunAtOnce) {
  constexpr int width = 160, height = 120, frames = 4, streamCount = 4;
  constexpr GstVideoFormat format = GST_VIDEO_FORMAT_RGBA;
  struct Stream {
    const FilterCase* filter;
    std::vector<float> values;
    std::vector<NativeFrame> inputs;
    std::vector<std::vector<uint8_t>> expected;
    std::vector<NativeFrame> outputs;
  };
  std::mt19937 rng(26);
  std::vector<Stream> streams(streamCount);
  for (int i = 0; i < streamCount; ++i) {
    Stream& stream = streams[i];
    stream.filter = &kFilters[i % std::size(kFilters)];
    stream.values = randomValues(stream.filter->specs, stream.filter->parameterCount, rng);
    for (int k = 0; k < frames; ++k) {
      stream.inputs.push_back(randomFrame(width, height, 4, rng));
      stream.expected.push_back(stream.filter->expected(stream.inputs.back(), gstLayout(format), stream.values));
    }
  }
  std::vector<std::thread> threads;
  for (Stream& stream : streams)
    threads.emplace_back([&stream] {
      Harness harness(stream.filter->element);
      setProperties(harness.h->element, stream.filter->specs, stream.values);
      gst_harness_set_src_caps_str(harness.h, capsString(format, width, height).c_str());
      for (int k = 0; k < frames; ++k) {
        gst_harness_push(harness.h, makeBuffer(stream.inputs[k], format, width * 4 + 16, 0, k * kFrameDuration,
                                               kFrameDuration));
        stream.outputs.push_back(harness.pullFrame());
      }
    });
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < streamCount; ++i)
    for (int k = 0; k < frames; ++k)
      EXPECT_TRUE(sameFrame(streams[i].outputs[k], streams[i].expected[k]))
          << streams[i].filter->element << " stream " << i << " frame " << k;
  expectNoGlibWarnings();
}

}  // namespace
}  // namespace qov::test
