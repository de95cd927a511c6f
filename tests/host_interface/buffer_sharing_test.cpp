// Codes 3 and 14 with an effect that cannot work in place: the framework linked with a
// definition of its own whose effect mirrors each row (output pixel x is input pixel
// width - 1 - x, so writing in place would overwrite pixels it has yet to read). The
// dispatch must hand it a copy of the input whenever the output is that same frame.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "framework/instance.h"
#include "framework/plugin_definition.h"
#include "tests/support/plugin_table.h"

namespace qov {

const PluginDefinition kPluginDefinition = {
    {kApiMajorVersion, kApiMinorVersion, {'t', 's', 't', '1'}, "MirrorTest", FF_EFFECT},
    {1, 0, "Mirrors every row", "test effect", 0, nullptr},
    nullptr,
    0,
    false,
    {false, false, false},
};

int effectProcessFrameMulti(PlugObj& obj) {
  const ImageSlot& input = *obj.fMulti->inputs[0];
  uint8_t* output = obj.fMulti->outputs[0]->data;
  const std::size_t width = obj.fVideoInfo.frameWidth, channels = input.channels;
  for (std::size_t y = 0; y < obj.fVideoInfo.frameHeight; ++y)
    for (std::size_t x = 0; x < width; ++x)
      std::memcpy(output + (y * width + x) * channels, input.data + (y * width + width - 1 - x) * channels, channels);
  return 0;
}

namespace test {
namespace {

constexpr uint32_t kWidth = 9, kHeight = 4;

FFMixed call(uint32_t code, const void* argument, FFInstanceID id) {
  FFMixed value;
  value.pointerValue = const_cast<void*>(argument);
  return plugMain(code, value, id);
}

std::vector<uint8_t> mirrored(const std::vector<uint8_t>& frame, std::size_t channels) {
  std::vector<uint8_t> result(frame.size());
  for (std::size_t y = 0; y < kHeight; ++y)
    for (std::size_t x = 0; x < kWidth; ++x)
      std::memcpy(&result[(y * kWidth + x) * channels], &frame[(y * kWidth + kWidth - 1 - x) * channels], channels);
  return result;
}

TEST(BufferSharing, AnEffectThatCannotWorkInPlaceGetsACopyOfTheInput) {
  for (const uint32_t depth : {FF_DEPTH_24, FF_DEPTH_32}) {
    SCOPED_TRACE(depth);
    const VideoInfo info{kWidth, kHeight, depth, 0};
    const FFInstanceID id = call(FF_INSTANTIATE, &info, nullptr).pointerValue;
    ASSERT_NE(id, nullptr);
    const std::size_t channels = depth == FF_DEPTH_32 ? 4 : 3;
    const std::vector<uint8_t> original = randomBytes(std::size_t{kWidth} * kHeight * channels, depth);
    const std::vector<uint8_t> expected = mirrored(original, channels);

    std::vector<uint8_t> frame = original;
    EXPECT_EQ(call(FF_PROCESS_FRAME, frame.data(), id).uintValue, 0u);
    EXPECT_EQ(frame, expected) << "code 3";

    frame = original;
    void* inputs[1] = {frame.data()};
    ProcessFrameCopyRecord inPlace{1, inputs, frame.data()};
    EXPECT_EQ(call(FF_PROCESS_FRAME_COPY, &inPlace, id).uintValue, 0u);
    EXPECT_EQ(frame, expected) << "code 14 into its own input";

    frame = original;
    std::vector<uint8_t> output(frame.size());
    ProcessFrameCopyRecord separate{1, inputs, output.data()};
    EXPECT_EQ(call(FF_PROCESS_FRAME_COPY, &separate, id).uintValue, 0u);
    EXPECT_EQ(output, expected) << "code 14 into a separate frame";
    EXPECT_EQ(frame, original) << "the input is only read";

    EXPECT_EQ(call(FF_DEINSTANTIATE, nullptr, id).uintValue, 0u);
  }
}

}  // namespace
}  // namespace test
}  // namespace qov
