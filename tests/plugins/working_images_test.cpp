// The antialiasing plug-in's per-instance working images: allocated aligned and
// zero-filled for the frame size, and refused, holding nothing, for sizes that do not fit.
#include "plugins/QovMLAA1/working_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace qov::mlaa1 {
namespace {

TEST(WorkingImages, AreAlignedZeroFilledAndDistinct) {
  constexpr uint32_t kWidth = 640, kHeight = 480;
  WorkingImages images;
  ASSERT_TRUE(images.allocate(kWidth, kHeight));
  const std::size_t bytes = std::size_t{kWidth} * kHeight * WorkingImages::kBytesPerPixel;
  for (const uint8_t* image : {images.workFrame(), images.edgeBuffer()}) {
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(image) % 16, 0u);
    EXPECT_TRUE(std::all_of(image, image + bytes, [](uint8_t byte) { return byte == 0; }))
        << "working images start zero-filled";
  }
  EXPECT_NE(images.workFrame(), images.edgeBuffer());
}

TEST(WorkingImages, SizesThatDoNotFitAreRefused) {
  WorkingImages images;
  ASSERT_TRUE(images.allocate(4, 4));
  EXPECT_FALSE(images.allocate(0xFFFFFFFFu, 0xFFFFFFFFu));
  EXPECT_EQ(images.workFrame(), nullptr);
  EXPECT_EQ(images.edgeBuffer(), nullptr);
}

}  // namespace
}  // namespace qov::mlaa1
