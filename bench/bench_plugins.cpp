// Whole frame calls through plugMain, as a host makes them, at 1920x1080, beside a memcpy
// of the same frame: the matte plug-ins on noise, QovMLAA1 on an aliased scene (and on
// noise, its worst case: edges everywhere).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/mlaa_scenes.h"
#include "host/plugin_instance.h"
#include "host/plugin_library.h"

namespace {

constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1080;

std::vector<uint8_t> noiseFrame(std::size_t bytes) {
  std::mt19937 engine(7);
  std::vector<uint8_t> frame(bytes);
  for (uint8_t& byte : frame) byte = static_cast<uint8_t>(engine());
  return frame;
}

void BM_Memcpy(benchmark::State& state) {
  const std::size_t bytes = std::size_t{kWidth} * kHeight * static_cast<std::size_t>(state.range(0)) / 8;
  std::vector<uint8_t> source = noiseFrame(bytes);
  std::vector<uint8_t> destination(bytes);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), bytes);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_Memcpy)->Arg(32)->Arg(24)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The aliased scene at 4 or 3 bytes per pixel.
std::vector<uint8_t> sceneFrame(uint32_t bytesPerPixel) {
  const std::vector<uint8_t> scene = qov::bench::makeScene();
  if (bytesPerPixel == 4) return scene;
  std::vector<uint8_t> frame(std::size_t{kWidth} * kHeight * 3);
  for (std::size_t i = 0; i < std::size_t{kWidth} * kHeight; ++i) std::memcpy(&frame[3 * i], &scene[4 * i], 3);
  return frame;
}

enum class Content { scene, noise };

// processFrame (code 3) of one plug-in at the given depth in bits. Each call gets the
// original frame again (copied in untimed), as a host hands over a new frame every time.
void BM_ProcessFrame(benchmark::State& state, const char* plugin, Content content) {
  qov::host::PluginLibrary library(std::string(QOV_PLUGIN_DIR) + "/" + plugin + ".so");
  const uint32_t depth = state.range(0) == 32 ? qov::FF_DEPTH_32 : qov::FF_DEPTH_24;
  qov::host::PluginInstance instance(library, kWidth, kHeight, depth);
  const std::vector<uint8_t> original =
      content == Content::scene ? sceneFrame(instance.bytesPerPixel()) : noiseFrame(instance.frameBytes());
  std::vector<uint8_t> frame = original;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(frame.data(), original.data(), frame.size());
    state.ResumeTiming();
    benchmark::DoNotOptimize(instance.processFrame(frame.data()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * instance.frameBytes()));
}
BENCHMARK_CAPTURE(BM_ProcessFrame, QovSetMatte1, "QovSetMatte1", Content::noise)
    ->Arg(32)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ProcessFrame, QovMISetMatte1, "QovMISetMatte1", Content::noise)
    ->Arg(32)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ProcessFrame, QovMLAA1_scene, "QovMLAA1", Content::scene)
    ->Arg(32)->Arg(24)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ProcessFrame, QovMLAA1_noise, "QovMLAA1", Content::noise)
    ->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
