// Codes 3 and 14 with an effect that cannot work in place (tests/host_interface/
// mirror_plugin.cpp): the dispatch must hand it a copy of the input whenever the output is
// that same frame.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/host_interface/mirror_plugin.h"
#include "tests/support/plugin_table.h"

namespace qov::test {
namespace {

constexpr uint32_t kWidth = 9, kHeight = 4;

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
}  // namespace qov::test
