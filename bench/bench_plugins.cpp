// Whole frame calls through plugMain, as a host makes them, at 1920x1080, beside a memcpy
// of the same frame. Run with --benchmark_counters_tabular=true to read the ratios.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

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

// processFrame (code 3) of one plug-in at the given depth in bits.
void BM_ProcessFrame(benchmark::State& state, const char* plugin) {
  qov::host::PluginLibrary library(std::string(QOV_PLUGIN_DIR) + "/" + plugin + ".so");
  const uint32_t depth = state.range(0) == 32 ? qov::FF_DEPTH_32 : qov::FF_DEPTH_24;
  qov::host::PluginInstance instance(library, kWidth, kHeight, depth);
  const std::vector<uint8_t> original = noiseFrame(instance.frameBytes());
  std::vector<uint8_t> frame = original;
  for (auto _ : state) {
    benchmark::DoNotOptimize(instance.processFrame(frame.data()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * instance.frameBytes()));
}
BENCHMARK_CAPTURE(BM_ProcessFrame, QovSetMatte1, "QovSetMatte1")->Arg(32)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ProcessFrame, QovMISetMatte1, "QovMISetMatte1")->Arg(32)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ProcessFrame, QovMLAA1, "QovMLAA1")->Arg(32)->Arg(24)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
