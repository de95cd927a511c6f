// PSNR from the mean squared difference of the colour channels.
#include "tools/qovhost/psnr.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace qov::qovhost {
namespace {

constexpr double kPeak = 255.0;
constexpr uint32_t kColourChannels = 3;

}  // namespace

double psnr(const RgbaImage& a, const RgbaImage& b) {
  if (a.width != b.width || a.height != b.height) throw std::invalid_argument("psnr of pictures of different sizes");
  double squares = 0.0;
  for (std::size_t i = 0; i < a.pixels.size(); i += kRgbaChannels)
    for (uint32_t c = 0; c < kColourChannels; ++c) {
      const double difference = static_cast<double>(a.pixels[i + c]) - b.pixels[i + c];
      squares += difference * difference;
    }
  const double values = static_cast<double>(a.pixels.size() / kRgbaChannels) * kColourChannels;
  if (squares == 0.0 || values == 0.0) return std::numeric_limits<double>::infinity();
  return 10.0 * std::log10(kPeak * kPeak / (squares / values));
}

}  // namespace qov::qovhost
