// Time per 1920x1080 frame of the effects at the level this process runs, for
// builds without Google Benchmark or qovhost (a cross build run under a user-mode emulator):
// the whole antialiasing effect (working copy, MLAA, Strength mix at 0.75) on the photo-like
// frame and on the aliased scene, at 4 and 3 bytes per pixel, and the matte pass with the
// plug-ins' default parameters on a frame of random bytes, each on the calling thread, beside
// a memcpy of the same frame. The time is the processor time the process spent (std::clock),
// which a machine shared with other work inflates far less than the wall clock. Every row
// prints the median of its frames and a hash of the output, so that runs at two levels
// (QOV_SIMD=scalar, then unset) compare in speed and show the same bytes:
//
//   level_speed [frames]        e.g.  QOV_SIMD=scalar qemu-aarch64 build/bench/level_speed 5
#include <algorithm>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <exception>
#include <random>
#include <string>
#include <vector>

#include "bench/mlaa_photo_frame.h"
#include "bench/mlaa_scenes.h"
#if QOV_LEVEL_SPEED_PHOTOGRAPHS
#include "bench/photographs.h"
#endif
#include "effects/antialias/frame_pipeline.h"
#include "effects/matte/matte_frame.h"
#include "effects/matte/matte_parameters.h"
#include "effects/simd/simd.h"

namespace {

using qov::bench::kHeight;
using qov::bench::kWidth;

constexpr float kStrength = 0.75f;
constexpr int kFourBytes = 4, kThreeBytes = 3;

uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
  return h;
}

// The median processor time of `frames` calls of `run`, in milliseconds, after one call
// that is not timed (the first touch of fresh output pages costs more than the work itself).
double medianMs(int frames, const std::function<void()>& run) {
  constexpr double kMsPerSecond = 1000.0;
  run();
  std::vector<double> ms;
  for (int f = 0; f < frames; ++f) {
    const std::clock_t start = std::clock();
    run();
    ms.push_back(static_cast<double>(std::clock() - start) * kMsPerSecond / CLOCKS_PER_SEC);
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

// The first three bytes of every 4-byte pixel.
std::vector<uint8_t> threeBytes(const std::vector<uint8_t>& rgba) {
  std::vector<uint8_t> out(rgba.size() / kFourBytes * kThreeBytes);
  for (std::size_t i = 0; i < rgba.size() / kFourBytes; ++i)
    std::memcpy(&out[i * kThreeBytes], &rgba[i * kFourBytes], kThreeBytes);
  return out;
}

void report(const char* name, double ms, double copyMs, const std::vector<uint8_t>& output) {
  std::printf("%-16s %9.2f ms  %6.2f x memcpy  %016llx\n", name, ms, ms / copyMs,
              static_cast<unsigned long long>(fnv1a(output)));
}

void antialias(const char* name, const std::vector<uint8_t>& frame, int channels, int frames,
               qov::aa::AntialiasWorkspace& workspace) {
  std::vector<uint8_t> output(frame.size()), copy(frame.size());
  const std::ptrdiff_t stride = std::ptrdiff_t{kWidth} * channels;
  qov::aa::AntialiasSettings settings;
  settings.strength = kStrength;
  const double copyMs = medianMs(frames, [&] { std::memcpy(copy.data(), frame.data(), frame.size()); });
  const double ms = medianMs(frames, [&] {
    qov::aa::antialiasFrame(frame.data(), stride, output.data(), stride, kWidth, kHeight,
                            qov::aa::nativeLayout(channels), settings, workspace);
  });
  report(name, ms, copyMs, output);
}

// The photographs' mosaic as raw RGBA bytes, for builds that cannot read PNG files.
bool readRaw(const char* path, std::vector<uint8_t>& frame) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  frame.assign(qov::bench::kFrameBytes, 0);
  const bool whole = std::fread(frame.data(), 1, frame.size(), file) == frame.size();
  std::fclose(file);
  return whole;
}

#if QOV_LEVEL_SPEED_PHOTOGRAPHS
bool writePhotographs(const char* path) {
  const std::vector<uint8_t> frame = qov::bench::photographMosaic(kWidth, kHeight);
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool whole = std::fwrite(frame.data(), 1, frame.size(), file) == frame.size();
  return std::fclose(file) == 0 && whole;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  int frames = 5;
  const char* photographs = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--photographs" && i + 1 < argc) {
      photographs = argv[++i];
#if QOV_LEVEL_SPEED_PHOTOGRAPHS
    } else if (arg == "--write-photographs" && i + 1 < argc) {
      try {
        return writePhotographs(argv[i + 1]) ? 0 : 1;
      } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
      }
#endif
    } else if (std::atoi(arg.c_str()) > 0) {
      frames = std::atoi(arg.c_str());
    } else {
      std::fprintf(stderr, "usage: %s [frames] [--photographs RAW] [--write-photographs RAW]\n", argv[0]);
      return 2;
    }
  }
  std::vector<uint8_t> mosaic;
  if (photographs != nullptr && !readRaw(photographs, mosaic)) {
    std::fprintf(stderr, "%s: not %zu bytes of RGBA\n", photographs, qov::bench::kFrameBytes);
    return 1;
  }
  std::printf("level %s, %d frames of %dx%d, medians of processor time\n",
              qov::simd::levelName(qov::simd::activeLevel()), frames, kWidth, kHeight);
  qov::aa::AntialiasWorkspace workspace;
  if (!workspace.allocate(kWidth, kHeight)) return 1;
  const std::vector<uint8_t> photo = qov::bench::makePhoto(), scene = qov::bench::makeScene();
  antialias("mlaa photo 32", photo, kFourBytes, frames, workspace);
  antialias("mlaa photo 24", threeBytes(photo), kThreeBytes, frames, workspace);
  antialias("mlaa scene 32", scene, kFourBytes, frames, workspace);
  if (!mosaic.empty()) antialias("mlaa photos 32", mosaic, kFourBytes, frames, workspace);

  // The matte plug-ins' defaults: every weight 0.9, every inversion on.
  const float values[qov::matte::matteParameterCount] = {1.0f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f};
  const qov::matte::MatteSettings settings = qov::matte::matteSettingsFromParameters(values);
  std::vector<uint8_t> colour(qov::bench::kFrameBytes), mask(colour.size()), output(colour.size());
  std::mt19937 rng(1);
  for (uint8_t& b : colour) b = static_cast<uint8_t>(rng());
  for (uint8_t& b : mask) b = static_cast<uint8_t>(rng());
  const double copyMs = medianMs(frames, [&] { std::memcpy(output.data(), colour.data(), colour.size()); });
  const double ms = medianMs(frames, [&] {
    qov::matte::matteFrame(colour.data(), mask.data(), output.data(), kWidth, kHeight, settings);
  });
  report("matte 32", ms, copyMs, output);
  return 0;
}
