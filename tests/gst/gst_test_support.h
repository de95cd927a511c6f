// What the GStreamer element tests share: GStreamer set up with the built plug-in alone,
// frames in the effects' native order (blue, green, red, fourth byte; rows packed) and their
// copies in any format and stride as buffers, the element properties of a parameter list,
// and the FreeFrame plug-ins' results for the same frames.
#pragma once

#include <gst/gst.h>
#include <gtest/gtest.h>
#include <gst/video/video.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "effects/parameters/parameter_schema.h"

namespace qov::test {

// Where a format keeps its bytes, as GStreamer itself describes it.
struct GstLayout {
  GstVideoFormat format;
  int channels;
  int blue, green, red;
  int fourth;  // -1 without a fourth byte
  bool hasAlpha;
};
GstLayout gstLayout(GstVideoFormat format);

// The formats a pad template of an element lists.
std::vector<GstVideoFormat> templateFormats(const char* element, const char* padTemplate);

// width x height pixels in the native order with `channels` bytes each (the fourth is alpha).
struct NativeFrame {
  int width = 0;
  int height = 0;
  int channels = 4;
  std::vector<uint8_t> bytes;
};
NativeFrame randomFrame(int width, int height, int channels, std::mt19937& rng);

// A buffer holding `frame` in `format` with rows `stride` bytes apart from `offset` bytes on,
// described by a video meta; the bytes before the frame and after each row hold `padding`.
// A format without alpha keeps the frame's fourth byte in its padding byte, which the
// elements must not read as alpha.
GstBuffer* makeBuffer(const NativeFrame& frame, GstVideoFormat format, std::size_t stride, uint8_t padding = 0xA5,
                      GstClockTime pts = 0, GstClockTime duration = GST_CLOCK_TIME_NONE, std::size_t offset = 0);
// The frame of a buffer negotiated as `caps`, back in the native order.
NativeFrame readBuffer(GstBuffer* buffer, GstCaps* caps);
std::string capsString(GstVideoFormat format, int width, int height, int rateNumerator = 30, int rateDenominator = 1);

// The property of a parameter: its name in lower case, words joined by dashes.
std::string propertyName(const char* parameterName);
// Parameter values as the FreeFrame plug-ins take them; a switch is 1 or 0.
std::vector<float> randomValues(const parameters::ParameterSpec* specs, std::size_t count, std::mt19937& rng);
void setProperties(GstElement* element, const parameters::ParameterSpec* specs, const std::vector<float>& values);

// One frame through the FreeFrame plug-in with the same values (code 3); with `second`,
// through code 16 with two inputs.
std::vector<uint8_t> freeFrameResult(const char* plugin, const NativeFrame& frame, const std::vector<float>& values,
                                     const NativeFrame* second = nullptr);

// Equal bytes; otherwise the first pixel and byte that differ.
::testing::AssertionResult sameFrame(const NativeFrame& actual, const std::vector<uint8_t>& expected);

// The frame with every fourth byte 255: what a frame whose fourth byte is padding counts as.
NativeFrame opaque(NativeFrame frame);

// Fails the test when GStreamer or GLib reported a warning or critical since the last call.
void expectNoGlibWarnings();

}  // namespace qov::test
