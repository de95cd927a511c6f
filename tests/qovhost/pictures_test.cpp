// The picture plumbing behind qovhost: frame layout conversion, PSNR, timing
// statistics, and the bundled scene's two renderings.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "tools/qovhost/frame_conversion.h"
#include "tools/qovhost/psnr.h"
#include "tools/qovhost/scene.h"
#include "tools/qovhost/timing.h"

namespace qov::test {
namespace {

using qovhost::RgbaImage;

TEST(FrameConversion, BytesAreBlueGreenRedAlphaAndRoundTrip) {
  RgbaImage image(2, 1);
  image.set(0, 0, {10, 20, 30, 40});
  image.set(1, 0, {50, 60, 70, 80});
  const std::vector<uint8_t> frame32 = qovhost::toFrame(image, 4);
  EXPECT_EQ(frame32, (std::vector<uint8_t>{30, 20, 10, 40, 70, 60, 50, 80}));
  const std::vector<uint8_t> frame24 = qovhost::toFrame(image, 3);
  EXPECT_EQ(frame24, (std::vector<uint8_t>{30, 20, 10, 70, 60, 50}));
  EXPECT_EQ(qovhost::fromFrame(frame32.data(), 2, 1, 4).pixels, image.pixels);
  EXPECT_EQ(qovhost::fromFrame(frame24.data(), 2, 1, 3).pixels,
            (std::vector<uint8_t>{10, 20, 30, 255, 50, 60, 70, 255}));
}

TEST(Psnr, FromTheMeanSquaredColourDifference) {
  RgbaImage a(4, 4, {100, 100, 100, 255});
  RgbaImage b = a;
  EXPECT_EQ(qovhost::psnr(a, b), std::numeric_limits<double>::infinity());
  for (std::size_t i = 3; i < b.pixels.size(); i += 4) b.pixels[i] = 0;  // alpha does not count
  EXPECT_EQ(qovhost::psnr(a, b), std::numeric_limits<double>::infinity());
  // Red off by 3 everywhere: mean squared difference 9 / 3 channels = 3.
  for (std::size_t i = 0; i < b.pixels.size(); i += 4) b.pixels[i] = 103;
  EXPECT_NEAR(qovhost::psnr(a, b), 10.0 * std::log10(255.0 * 255.0 / 3.0), 1e-9);
}

TEST(Timing, MedianAndNearestRankPercentiles) {
  std::vector<double> seconds;
  for (int i = 100; i >= 1; --i) seconds.push_back(i);
  const qovhost::TimingSummary summary = qovhost::summarize(seconds);
  EXPECT_EQ(summary.frames, 100u);
  EXPECT_EQ(summary.median, 50.5);
  EXPECT_EQ(summary.percentile5, 5.0);
  EXPECT_EQ(summary.percentile95, 95.0);
  EXPECT_EQ(summary.total, 5050.0);
  const qovhost::TimingSummary one = qovhost::summarize({0.25});
  EXPECT_EQ(one.median, 0.25);
  EXPECT_EQ(one.percentile5, 0.25);
  EXPECT_EQ(one.percentile95, 0.25);
  EXPECT_EQ(qovhost::formatDuration(0.0123), "12.30 ms");
  EXPECT_EQ(qovhost::formatDuration(0.0000456), "45.6 us");
}

std::set<uint32_t> colours(const RgbaImage& image) {
  std::set<uint32_t> found;
  for (std::size_t i = 0; i < image.pixels.size(); i += 4)
    found.insert(image.pixels[i] << 16 | image.pixels[i + 1] << 8 | image.pixels[i + 2]);
  return found;
}

// Aliased means every pixel has one of the scene's flat colours; the ground truth mixes
// them along every edge but keeps the same overall picture.
TEST(Scene, AliasedHasOnlyFlatColoursAndTheGroundTruthBlendsThem) {
  const RgbaImage aliased = qovhost::aliasedScene(qovhost::kSceneWidth / 4, qovhost::kSceneHeight / 4);
  const RgbaImage truth = qovhost::groundTruthScene(qovhost::kSceneWidth / 4, qovhost::kSceneHeight / 4);
  EXPECT_EQ(aliased.width, 320u);
  EXPECT_EQ(aliased.height, 180u);
  const std::size_t flat = colours(aliased).size();
  EXPECT_GE(flat, 8u);
  EXPECT_LE(flat, 13u);
  EXPECT_GT(colours(truth).size(), 20 * flat);
  const double closeness = qovhost::psnr(aliased, truth);
  EXPECT_GT(closeness, 15.0);
  EXPECT_LT(closeness, 40.0);
  // Same inputs, same pixels.
  EXPECT_EQ(qovhost::aliasedScene(320, 180).pixels, aliased.pixels);
  for (std::size_t i = 3; i < truth.pixels.size(); i += 4) ASSERT_EQ(truth.pixels[i], 255);
}

TEST(Scene, CloseUpsLieInsideTheScene) {
  for (const qovhost::Rect& area : qovhost::sceneCloseUps()) {
    EXPECT_LE(area.x + area.width, qovhost::kSceneWidth);
    EXPECT_LE(area.y + area.height, qovhost::kSceneHeight);
  }
}

}  // namespace
}  // namespace qov::test
