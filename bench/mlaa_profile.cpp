// A plain driver for instruction-count profiles of MLAA (valgrind --tool=callgrind): runs
// MLAA on one of the benchmark frames a given number of times and prints a hash of the
// result, so that two builds can be compared for identical output as well as for cost.
// With "pipeline" it runs the whole frame pipeline instead (working copy, MLAA, Strength mix
// at 0.75), so that the passes around MLAA show in the profile too.
//
//   mlaa_profile scene|photo|noise [flags] [frames] [pipeline]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/mlaa_photo_frame.h"
#include "bench/mlaa_scenes.h"
#include "effects/antialias/frame_pipeline.h"
#include "effects/antialias/mlaa.h"

namespace {

uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
  return h;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "scene";
  if (which != "scene" && which != "photo" && which != "noise") {
    std::fprintf(stderr, "usage: %s scene|photo|noise [flags] [frames] [pipeline]\n", argv[0]);
    return 2;
  }
  const auto flags = static_cast<uint32_t>(argc > 2 ? std::strtoul(argv[2], nullptr, 0) : 0);
  const int frames = argc > 3 ? std::atoi(argv[3]) : 1;
  const bool pipeline = argc > 4 && std::string(argv[4]) == "pipeline";
  const std::vector<uint8_t> source = which == "scene"   ? qov::bench::makeScene()
                                      : which == "photo" ? qov::bench::makePhoto()
                                                         : qov::bench::makeNoise();
  std::vector<uint8_t> work(source.size()), edges(source.size()), output(source.size());
  qov::aa::AntialiasWorkspace workspace;
  if (pipeline && !workspace.allocate(qov::bench::kWidth, qov::bench::kHeight)) return 1;
  qov::aa::AntialiasSettings settings;
  settings.strength = 0.75f;
  settings.useHalf = (flags & qov::aa::MLAA_USE_HALF) != 0;
  settings.thinLines = (flags & qov::aa::MLAA_THIN_LINES) != 0;
  settings.visualize = (flags & qov::aa::MLAA_VISUALIZE) != 0;
  for (int f = 0; f < frames; ++f) {
    if (pipeline) {
      const std::ptrdiff_t stride = std::ptrdiff_t{qov::bench::kWidth} * 4;
      qov::aa::antialiasFrame(source.data(), stride, output.data(), stride, qov::bench::kWidth, qov::bench::kHeight,
                              qov::aa::kLayoutBGRA, settings, workspace);
    } else {
      std::memcpy(work.data(), source.data(), source.size());
      qov::aa::runMLAA(work.data(), edges.data(), qov::bench::kWidth, qov::bench::kHeight, flags);
    }
  }
  if (pipeline) work = output;
  std::printf("%s flags 0x%02x: %016llx\n", which.c_str(), flags,
              static_cast<unsigned long long>(fnv1a(work)));
  return 0;
}
