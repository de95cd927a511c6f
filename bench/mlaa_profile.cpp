// A plain driver for instruction-count profiles of MLAA (valgrind --tool=callgrind): runs
// MLAA on one of the benchmark frames a given number of times and prints a hash of the
// result, so that two builds can be compared for identical output as well as for cost.
//
//   mlaa_profile scene|noise [flags] [frames]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/mlaa_scenes.h"
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
  if (which != "scene" && which != "noise") {
    std::fprintf(stderr, "usage: %s scene|noise [flags] [frames]\n", argv[0]);
    return 2;
  }
  const auto flags = static_cast<uint32_t>(argc > 2 ? std::strtoul(argv[2], nullptr, 0) : 0);
  const int frames = argc > 3 ? std::atoi(argv[3]) : 1;
  const std::vector<uint8_t> source =
      which == "scene" ? qov::bench::makeScene() : qov::bench::makeNoise();
  std::vector<uint8_t> work(source.size()), edges(source.size());
  for (int f = 0; f < frames; ++f) {
    std::memcpy(work.data(), source.data(), source.size());
    qov::aa::runMLAA(work.data(), edges.data(), qov::bench::kWidth, qov::bench::kHeight, flags);
  }
  std::printf("%s flags 0x%02x: %016llx\n", which.c_str(), flags,
              static_cast<unsigned long long>(fnv1a(work)));
  return 0;
}
