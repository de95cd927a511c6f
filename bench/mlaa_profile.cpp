// A plain driver for instruction-count profiles of MLAA (valgrind --tool=callgrind): runs
// MLAA on one of the benchmark frames a given number of times and prints a hash of the
// result, so that two builds can be compared for identical output as well as for cost.
// With "pipeline" it runs the whole frame pipeline instead (working copy, MLAA, Strength mix
// at 0.75), so that the passes around MLAA show in the profile too; "pipeline24" does the
// same on the frame's 24-bit form, and "inplace" runs it on a copy of the frame that it writes
// back to (the copy, made before each frame, shows in the profile as a memmove from main).
//
//   mlaa_profile scene|photo|noise|photographs [flags] [frames] [mlaa|pipeline|pipeline24|inplace] [WIDTHxHEIGHT]
//
// The frames are 1920x1080 unless a size is given (photographs at any size, the others at
// most 1920x1080, cut from the top left corner). Only antialiasFrame (runMLAA without
// "pipeline") is worth counting: run callgrind with --toggle-collect='qov::aa::antialiasFrame(*' or
// --toggle-collect=*runMLAA*, since drawing the frames costs more than antialiasing them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "bench/mlaa_photo_frame.h"
#include "bench/mlaa_scenes.h"
#include "bench/photographs.h"
#include "effects/antialias/frame_pipeline.h"
#include "effects/antialias/mlaa.h"

namespace {

uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
  return h;
}

// The top left width x height pixels of a 1920x1080 frame of 4-byte pixels.
std::vector<uint8_t> cut(const std::vector<uint8_t>& frame, int width, int height) {
  std::vector<uint8_t> out(static_cast<std::size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y)
    std::memcpy(&out[static_cast<std::size_t>(y) * width * 4], &frame[static_cast<std::size_t>(y) * qov::bench::kWidth * 4],
                static_cast<std::size_t>(width) * 4);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "scene";
  const std::string mode = argc > 4 ? argv[4] : "mlaa";
  int width = qov::bench::kWidth, height = qov::bench::kHeight;
  if (argc > 5 && std::sscanf(argv[5], "%dx%d", &width, &height) != 2) width = 0;
  const bool synthetic = which == "scene" || which == "photo" || which == "noise";
  const bool inPlace = mode == "inplace";
  if ((!synthetic && which != "photographs") ||
      (mode != "mlaa" && mode != "pipeline" && mode != "pipeline24" && !inPlace) ||
      width < 1 || height < 1 || (synthetic && (width > qov::bench::kWidth || height > qov::bench::kHeight))) {
    std::fprintf(stderr,
                 "usage: %s scene|photo|noise|photographs [flags] [frames] [mlaa|pipeline|pipeline24|inplace] [WxH]\n",
                 argv[0]);
    return 2;
  }
  const auto flags = static_cast<uint32_t>(argc > 2 ? std::strtoul(argv[2], nullptr, 0) : 0);
  const int frames = argc > 3 ? std::atoi(argv[3]) : 1;
  std::vector<uint8_t> source;
  try {
    source = which == "scene"   ? cut(qov::bench::makeScene(), width, height)
             : which == "photo" ? cut(qov::bench::makePhoto(), width, height)
             : which == "noise" ? cut(qov::bench::makeNoise(), width, height)
                                : qov::bench::photographMosaic(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  const int channels = mode == "pipeline24" ? 3 : 4;
  if (channels == 3) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i)
      std::memmove(&source[3 * i], &source[4 * i], 3);
    source.resize(static_cast<std::size_t>(width) * height * 3);
  }
  std::vector<uint8_t> work(source.size()), output(source.size());
  qov::aa::AntialiasWorkspace workspace;
  if (mode != "mlaa" && !workspace.allocate(width, height)) return 1;
  qov::aa::AntialiasSettings settings;
  settings.strength = 0.75f;
  settings.useHalf = (flags & qov::aa::MLAA_USE_HALF) != 0;
  settings.thinLines = (flags & qov::aa::MLAA_THIN_LINES) != 0;
  settings.visualize = (flags & qov::aa::MLAA_VISUALIZE) != 0;
  std::vector<uint8_t> edges(mode == "mlaa" ? source.size() : 0);
  for (int f = 0; f < frames; ++f) {
    if (inPlace) {
      const std::ptrdiff_t stride = std::ptrdiff_t{width} * channels;
      std::memcpy(output.data(), source.data(), source.size());
      qov::aa::antialiasFrame(output.data(), stride, output.data(), stride, width, height,
                              qov::aa::nativeLayout(channels), settings, workspace);
    } else if (mode != "mlaa") {
      const std::ptrdiff_t stride = std::ptrdiff_t{width} * channels;
      qov::aa::antialiasFrame(source.data(), stride, output.data(), stride, width, height,
                              qov::aa::nativeLayout(channels), settings, workspace);
    } else {
      std::memcpy(work.data(), source.data(), source.size());
      qov::aa::runMLAA(work.data(), edges.data(), width, height, flags);
    }
  }
  if (mode != "mlaa") work = output;
  std::printf("%s %dx%d %s flags 0x%02x: %016llx\n", which.c_str(), width, height, mode.c_str(), flags,
              static_cast<unsigned long long>(fnv1a(work)));
  return 0;
}
