// The photograph mosaic.
#include "bench/photographs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "tools/qovhost/png_io.h"

namespace qov::bench {
namespace {

constexpr const char* kDirectoryVariable = "QOV_PHOTOGRAPHS";
constexpr const char* kInstalledDirectory = "/usr/lib/python3/dist-packages/skimage/data";
// Top left, top right, bottom left, bottom right.
constexpr const char* kFiles[] = {"gravel.png", "grass.png", "chelsea.png", "motorcycle_left.png"};
constexpr uint32_t kNativeHeight = 1080;  // frames up to this height show the photographs 1:1
constexpr uint32_t kRgba = 4;

bool holdsAll(const std::string& directory) {
  if (directory.empty()) return false;
  for (const char* file : kFiles) {
    struct stat info {};
    if (stat((directory + "/" + file).c_str(), &info) != 0) return false;
  }
  return true;
}

// Mirror repetition: ..., 2 1 0 | 0 1 2 ... n-1 | n-1 n-2 ...
int mirrored(int i, int n) {
  const int period = 2 * n;
  int m = i % period;
  if (m < 0) m += period;
  return m < n ? m : period - 1 - m;
}

// The photograph enlarged by `scale` (bilinear, pixel centres aligned) and mirror-repeated,
// sampled at quadrant pixel (x, y).
void sample(const qovhost::RgbaImage& photo, uint32_t scale, uint32_t x, uint32_t y, uint8_t* out) {
  if (scale == 1) {
    const uint8_t* p = photo.at(static_cast<uint32_t>(mirrored(static_cast<int>(x), static_cast<int>(photo.width))),
                                static_cast<uint32_t>(mirrored(static_cast<int>(y), static_cast<int>(photo.height))));
    std::copy(p, p + kRgba, out);
    return;
  }
  const double u = (x + 0.5) / scale - 0.5, v = (y + 0.5) / scale - 0.5;
  const int u0 = static_cast<int>(std::floor(u)), v0 = static_cast<int>(std::floor(v));
  const double fu = u - u0, fv = v - v0;
  const auto at = [&](int i, int j) {
    return photo.at(static_cast<uint32_t>(mirrored(i, static_cast<int>(photo.width))),
                    static_cast<uint32_t>(mirrored(j, static_cast<int>(photo.height))));
  };
  const uint8_t *a = at(u0, v0), *b = at(u0 + 1, v0), *c = at(u0, v0 + 1), *d = at(u0 + 1, v0 + 1);
  for (uint32_t k = 0; k < kRgba; ++k) {
    const double top = a[k] + (b[k] - a[k]) * fu, bottom = c[k] + (d[k] - c[k]) * fu;
    out[k] = static_cast<uint8_t>(std::lround(top + (bottom - top) * fv));
  }
}

}  // namespace

std::string photographDirectory() {
  if (const char* chosen = std::getenv(kDirectoryVariable); chosen != nullptr && holdsAll(chosen)) return chosen;
  if (holdsAll(kInstalledDirectory)) return kInstalledDirectory;
#ifdef QOV_PHOTOGRAPH_CACHE
  if (holdsAll(QOV_PHOTOGRAPH_CACHE)) return QOV_PHOTOGRAPH_CACHE;
#endif
  return {};
}

std::vector<uint8_t> photographMosaic(uint32_t width, uint32_t height) {
  const std::string directory = photographDirectory();
  if (directory.empty())
    throw std::runtime_error("photographs not found: run scripts/photographs.sh, or name their directory in " +
                             std::string(kDirectoryVariable));
  // readPng's errors are runtime_errors naming the file.
  std::vector<qovhost::RgbaImage> photos;
  for (const char* file : kFiles) photos.push_back(qovhost::readPng(directory + "/" + file));
  const uint32_t scale = std::max<uint32_t>(1, (height + kNativeHeight / 2) / kNativeHeight);
  const uint32_t halfWidth = (width + 1) / 2, halfHeight = (height + 1) / 2;
  std::vector<uint8_t> rgba(std::size_t{width} * height * kRgba);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const bool right = x >= halfWidth, bottom = y >= halfHeight;
      const qovhost::RgbaImage& photo = photos[(bottom ? 2 : 0) + (right ? 1 : 0)];
      sample(photo, scale, right ? x - halfWidth : x, bottom ? y - halfHeight : y,
             &rgba[(std::size_t{y} * width + x) * kRgba]);
    }
  return rgba;
}

}  // namespace qov::bench
