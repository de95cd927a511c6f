// qovmisetmatte driven as GStreamer drives a mixer (two GstHarness on its pads "colour" and
// "mask"): the same bytes as the FreeFrame plug-in through code 16 in every format and
// stride (the mask in another format, which the aggregator converts), a size change
// mid-stream, inputs at different frame rates, and one input ending before the other.
#include <gst/check/gstharness.h>
#include <gtest/gtest.h>

#include <thread>

#include "plugins/QovMISetMatte1/identity.h"
#include "tests/gst/gst_test_support.h"

namespace qov::test {
namespace {

const auto& kSpecs = misetmatte1::kParameterSpecs;
constexpr const char* kFreeFrame = "QovMISetMatte1";

struct TwoInputs {
  TwoInputs()
      : colour(gst_harness_new_with_padnames("qovmisetmatte", "colour", "src")),
        mask(gst_harness_new_with_element(colour->element, "mask", nullptr)) {
    // Not live: the aggregator waits for both inputs rather than for the (test) clock.
    gst_harness_set_live(colour, FALSE);
    gst_harness_set_live(mask, FALSE);
  }
  ~TwoInputs() {
    gst_harness_teardown(mask);
    gst_harness_teardown(colour);
  }
  TwoInputs(const TwoInputs&) = delete;
  TwoInputs& operator=(const TwoInputs&) = delete;

  // Ends both inputs, so that the aggregator gives out every frame it holds.
  void end() {
    EXPECT_TRUE(gst_harness_push_event(colour, gst_event_new_eos()));
    EXPECT_TRUE(gst_harness_push_event(mask, gst_event_new_eos()));
  }

  void setValues(const std::vector<float>& values) { setProperties(colour->element, kSpecs.data(), values); }

  // The next output frame, read as `format` at `width` x `height`, or by the output's
  // current caps (when the size does not change while frames are waiting to be taken).
  NativeFrame pullFrame(GstVideoFormat format = GST_VIDEO_FORMAT_UNKNOWN, int width = 0, int height = 0) {
    GstBuffer* out = gst_harness_pull(colour);
    if (out == nullptr) {
      ADD_FAILURE() << "no output";
      return {};
    }
    GstCaps* caps = format == GST_VIDEO_FORMAT_UNKNOWN ? gst_pad_get_current_caps(colour->sinkpad)
                                                       : gst_caps_from_string(capsString(format, width, height).c_str());
    NativeFrame frame = readBuffer(out, caps);
    gst_caps_unref(caps);
    gst_buffer_unref(out);
    return frame;
  }

  GstHarness* colour;
  GstHarness* mask;
};

// What the aggregator hands the matte: a frame whose fourth byte is padding converted to
// one with opaque alpha.
NativeFrame asConverted(const NativeFrame& frame, GstVideoFormat format) {
  return gstLayout(format).hasAlpha ? frame : opaque(frame);
}

// The output format of the colour's byte order, with alpha.
GstVideoFormat withAlpha(GstVideoFormat colourFormat) {
  const GstLayout colour = gstLayout(colourFormat);
  for (GstVideoFormat candidate : templateFormats("qovmisetmatte", "src")) {
    const GstLayout output = gstLayout(candidate);
    if (output.blue == colour.blue && output.green == colour.green && output.red == colour.red) return candidate;
  }
  return GST_VIDEO_FORMAT_UNKNOWN;
}

class TwoInputMatte : public ::testing::Test {
 protected:
  void TearDown() override { expectNoGlibWarnings(); }
  std::mt19937 rng{2222};
};

TEST_F(TwoInputMatte, GivesTheFreeFramePluginsBytesInEveryFormatAndStride) {
  const std::vector<GstVideoFormat> formats = templateFormats("qovmisetmatte", "colour");
  ASSERT_EQ(formats.size(), 8u);
  // The last is split among the worker threads.
  const int sizes[][2] = {{1, 1}, {7, 3}, {45, 11}, {161, 120}};
  for (std::size_t f = 0; f < formats.size(); ++f) {
    for (const auto& size : sizes) {
      for (std::size_t extra : {std::size_t{0}, std::size_t{20}}) {
        // The mask sometimes in the colour's format, sometimes in another.
        const GstVideoFormat colourFormat = formats[f];
        const GstVideoFormat maskFormat = extra == 0 ? colourFormat : formats[(f + 3) % formats.size()];
        const std::size_t stride = static_cast<std::size_t>(size[0]) * 4 + extra;
        const std::string context = std::string(gst_video_format_to_string(colourFormat)) + " over " +
                                    gst_video_format_to_string(maskFormat) + " " + std::to_string(size[0]) + "x" +
                                    std::to_string(size[1]) + " stride " + std::to_string(stride);
        TwoInputs inputs;
        const std::vector<float> values = randomValues(kSpecs.data(), kSpecs.size(), rng);
        inputs.setValues(values);
        gst_harness_set_src_caps_str(inputs.colour, capsString(colourFormat, size[0], size[1]).c_str());
        gst_harness_set_src_caps_str(inputs.mask, capsString(maskFormat, size[0], size[1]).c_str());
        const NativeFrame colour = randomFrame(size[0], size[1], 4, rng);
        const NativeFrame mask = randomFrame(size[0], size[1], 4, rng);
        const GstClockTime duration = GST_SECOND / 30;
        ASSERT_EQ(gst_harness_push(inputs.colour, makeBuffer(colour, colourFormat, stride, 0x11, 0, duration)),
                  GST_FLOW_OK);
        ASSERT_EQ(gst_harness_push(inputs.mask, makeBuffer(mask, maskFormat, stride, 0x22, 0, duration)),
                  GST_FLOW_OK);
        inputs.end();
        // With "Switch Inputs" on, the mask comes from the colour input.
        const NativeFrame colourRead = asConverted(colour, colourFormat), maskRead = asConverted(mask, maskFormat);
        EXPECT_TRUE(sameFrame(inputs.pullFrame(), freeFrameResult(kFreeFrame, colourRead, values, &maskRead)))
            << context;
        GstCaps* caps = gst_pad_get_current_caps(inputs.colour->sinkpad);
        GstVideoInfo info;
        ASSERT_TRUE(gst_video_info_from_caps(&info, caps));
        gst_caps_unref(caps);
        EXPECT_EQ(GST_VIDEO_INFO_FORMAT(&info), withAlpha(colourFormat)) << context;
      }
    }
  }
}

// Both inputs change size; the output follows, and each frame is the FreeFrame plug-in's.
// (The aggregator holds the first frame of a new size until the next data arrives: the
// frames are pushed first, then taken.)
TEST_F(TwoInputMatte, FollowsASizeChangeMidStream) {
  TwoInputs inputs;
  const std::vector<float> values = randomValues(kSpecs.data(), kSpecs.size(), rng);
  inputs.setValues(values);
  const GstClockTime duration = GST_SECOND / 25;
  GstClockTime pts = 0;
  std::vector<std::vector<uint8_t>> expected;
  std::vector<std::pair<int, int>> expectedSizes;
  for (auto [width, height] : {std::pair{32, 8}, {17, 5}, {64, 3}}) {
    gst_harness_set_src_caps_str(inputs.colour, capsString(GST_VIDEO_FORMAT_RGBA, width, height, 25).c_str());
    gst_harness_set_src_caps_str(inputs.mask, capsString(GST_VIDEO_FORMAT_RGBA, width, height, 25).c_str());
    for (int frameNumber = 0; frameNumber < 2; ++frameNumber, pts += duration) {
      const NativeFrame colour = randomFrame(width, height, 4, rng);
      const NativeFrame mask = randomFrame(width, height, 4, rng);
      ASSERT_EQ(gst_harness_push(inputs.colour, makeBuffer(colour, GST_VIDEO_FORMAT_RGBA, width * 4, 0, pts, duration)),
                GST_FLOW_OK);
      ASSERT_EQ(gst_harness_push(inputs.mask, makeBuffer(mask, GST_VIDEO_FORMAT_RGBA, width * 4, 0, pts, duration)),
                GST_FLOW_OK);
      expected.push_back(freeFrameResult(kFreeFrame, colour, values, &mask));
      expectedSizes.emplace_back(width, height);
    }
  }
  inputs.end();
  for (std::size_t k = 0; k < expected.size(); ++k) {
    const auto [width, height] = expectedSizes[k];
    EXPECT_TRUE(sameFrame(inputs.pullFrame(GST_VIDEO_FORMAT_RGBA, width, height), expected[k]))
        << "output frame " << k;
  }
}

// Colour at 30 frames a second, mask at 10: the output runs at 30, each mask frame serving
// the three colour frames of its time. (Each input is pushed from a thread of its own, as
// in a pipeline: the aggregator takes a frame from each input only when it needs one.)
TEST_F(TwoInputMatte, RepeatsTheSlowerInputsFrames) {
  constexpr int width = 24, height = 6, colourRate = 30, maskRate = 10, frames = 6;
  constexpr int colourFramesPerMask = colourRate / maskRate;
  TwoInputs inputs;
  const std::vector<float> values = randomValues(kSpecs.data(), kSpecs.size(), rng);
  inputs.setValues(values);
  gst_harness_set_src_caps_str(inputs.colour, capsString(GST_VIDEO_FORMAT_BGRA, width, height, colourRate).c_str());
  gst_harness_set_src_caps_str(inputs.mask, capsString(GST_VIDEO_FORMAT_BGRA, width, height, maskRate).c_str());
  const GstClockTime colourDuration = GST_SECOND / colourRate, maskDuration = GST_SECOND / maskRate;
  std::vector<NativeFrame> colours, masks;
  for (int k = 0; k < frames; ++k) colours.push_back(randomFrame(width, height, 4, rng));
  for (int j = 0; j < frames / colourFramesPerMask; ++j) masks.push_back(randomFrame(width, height, 4, rng));

  std::thread maskThread([&] {
    for (std::size_t j = 0; j < masks.size(); ++j)
      EXPECT_EQ(gst_harness_push(inputs.mask, makeBuffer(masks[j], GST_VIDEO_FORMAT_BGRA, width * 4, 0,
                                                         j * maskDuration, maskDuration)),
                GST_FLOW_OK);
    EXPECT_TRUE(gst_harness_push_event(inputs.mask, gst_event_new_eos()));
  });
  for (int k = 0; k < frames; ++k)
    EXPECT_EQ(gst_harness_push(inputs.colour, makeBuffer(colours[k], GST_VIDEO_FORMAT_BGRA, width * 4, 0,
                                                         k * colourDuration, colourDuration)),
              GST_FLOW_OK);
  EXPECT_TRUE(gst_harness_push_event(inputs.colour, gst_event_new_eos()));
  maskThread.join();

  for (int k = 0; k < frames; ++k)
    EXPECT_TRUE(sameFrame(inputs.pullFrame(),
                          freeFrameResult(kFreeFrame, colours[k], values, &masks[k / colourFramesPerMask])))
        << "output frame " << k;
  GstCaps* caps = gst_pad_get_current_caps(inputs.colour->sinkpad);
  GstVideoInfo info;
  ASSERT_TRUE(gst_video_info_from_caps(&info, caps));
  gst_caps_unref(caps);
  EXPECT_EQ(info.fps_n, colourRate);
  EXPECT_EQ(info.fps_d, 1);
}

// The mask ends after two frames: from then on the colour input is both colour and mask,
// as the FreeFrame plug-in with one input. The stream ends when the colour ends too.
TEST_F(TwoInputMatte, UsesTheRemainingInputAsBothWhenOneEnds) {
  constexpr int width = 19, height = 4, frames = 5, maskFrames = 2;
  TwoInputs inputs;
  std::vector<float> values = randomValues(kSpecs.data(), kSpecs.size(), rng);
  values.back() = 1.0f;  // "Switch Inputs" on while both are there; no matter with one
  inputs.setValues(values);
  gst_harness_set_src_caps_str(inputs.colour, capsString(GST_VIDEO_FORMAT_xBGR, width, height).c_str());
  gst_harness_set_src_caps_str(inputs.mask, capsString(GST_VIDEO_FORMAT_xBGR, width, height).c_str());
  const GstClockTime duration = GST_SECOND / 30;
  std::vector<std::vector<uint8_t>> expected;
  for (int k = 0; k < frames; ++k) {
    const NativeFrame colour = randomFrame(width, height, 4, rng);
    ASSERT_EQ(gst_harness_push(inputs.colour,
                               makeBuffer(colour, GST_VIDEO_FORMAT_xBGR, width * 4, 0, k * duration, duration)),
              GST_FLOW_OK);
    if (k < maskFrames) {
      const NativeFrame mask = randomFrame(width, height, 4, rng);
      ASSERT_EQ(gst_harness_push(inputs.mask,
                                 makeBuffer(mask, GST_VIDEO_FORMAT_xBGR, width * 4, 0, k * duration, duration)),
                GST_FLOW_OK);
      const NativeFrame opaqueMask = opaque(mask);
      expected.push_back(freeFrameResult(kFreeFrame, opaque(colour), values, &opaqueMask));
      if (k == maskFrames - 1) {
        ASSERT_TRUE(gst_harness_push_event(inputs.mask, gst_event_new_eos()));
      }
    } else {
      expected.push_back(freeFrameResult(kFreeFrame, opaque(colour), values));
    }
  }
  ASSERT_TRUE(gst_harness_push_event(inputs.colour, gst_event_new_eos()));
  for (std::size_t k = 0; k < expected.size(); ++k)
    EXPECT_TRUE(sameFrame(inputs.pullFrame(), expected[k])) << "output frame " << k;
  bool ended = false;
  while (!ended) {
    GstEvent* event = gst_harness_pull_event(inputs.colour);
    if (event == nullptr) break;
    ended = GST_EVENT_TYPE(event) == GST_EVENT_EOS;
    gst_event_unref(event);
  }
  EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace qov::test
