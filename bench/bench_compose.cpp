// The constant-alpha composition on a 1920x1080 frame, per level, form and kind,
// and the Strength mix on 1 to 4 threads of a worker pool, beside a memcpy of the same
// frame in the same run.
// Each composition also reports `xMemcpy`: its time per frame over the time of a memcpy
// of one frame measured just before it, so the figure survives a noisy shared machine.
// Run: build/bench/bench_compose --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "effects/antialias/compose_internal.h"
#include "effects/antialias/strength_blend.h"
#include "effects/parallel/worker_pool.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kBaselineRuns = 15;

std::size_t frameBytes(int channels) {
  return std::size_t{kWidth} * kHeight * static_cast<std::size_t>(channels);
}

std::vector<uint8_t> noiseFrame(std::size_t bytes, unsigned seed) {
  std::mt19937 engine(seed);
  std::vector<uint8_t> frame(bytes);
  for (uint8_t& byte : frame) byte = static_cast<uint8_t>(engine());
  return frame;
}

// Median time of one memcpy of `bytes`, in seconds.
double memcpySeconds(std::size_t bytes) {
  const std::vector<uint8_t> source = noiseFrame(bytes, 1);
  std::vector<uint8_t> destination(bytes);
  std::vector<double> runs;
  for (int i = 0; i < kBaselineRuns; ++i) {
    const auto start = std::chrono::steady_clock::now();
    std::memcpy(destination.data(), source.data(), bytes);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
    runs.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::nth_element(runs.begin(), runs.begin() + kBaselineRuns / 2, runs.end());
  return runs[kBaselineRuns / 2];
}

// Runs `frame` in the benchmark loop and reports bytes and the ratio to memcpy.
template <class Frame>
void measure(benchmark::State& state, std::size_t bytes, Frame frame) {
  const double baseline = memcpySeconds(bytes);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    frame();
    benchmark::ClobberMemory();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
  state.counters["xMemcpy"] = seconds / static_cast<double>(state.iterations()) / baseline;
}

void BM_Memcpy(benchmark::State& state) {
  const std::size_t bytes = frameBytes(static_cast<int>(state.range(0)));
  const std::vector<uint8_t> source = noiseFrame(bytes, 2);
  std::vector<uint8_t> destination(bytes);
  measure(state, bytes, [&] {
    std::memcpy(destination.data(), source.data(), bytes);
    benchmark::DoNotOptimize(destination.data());
  });
}
BENCHMARK(BM_Memcpy)->ArgName("ch")->Arg(4)->Arg(3)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Arguments: level, channels, kind.
void BM_Compose(benchmark::State& state) {
  const auto level = static_cast<qov::simd::Level>(state.range(0));
  const qov::aa::ComposeKernels* kernels = qov::simd::kernelAt(qov::aa::kComposeLevels, level);
  if (kernels == nullptr) {
    state.SkipWithError("level not available here");
    return;
  }
  const int channels = static_cast<int>(state.range(1));
  const int kind = static_cast<int>(state.range(2));
  state.SetLabel(std::string(qov::simd::levelName(level)));

  const std::size_t bytes = frameBytes(channels);
  const std::vector<uint8_t> src1 = noiseFrame(bytes, 3), src2 = noiseFrame(bytes, 4);
  std::vector<uint8_t> dst = noiseFrame(bytes, 5);
  const int step = kWidth * channels;
  measure(state, bytes, [&] {
    benchmark::DoNotOptimize(qov::aa::composeWith(*kernels, channels, src1.data(), step, 128, src2.data(),
                                                  step, 127, dst.data(), step, kWidth, kHeight, kind));
  });
}
BENCHMARK(BM_Compose)
    ->ArgNames({"level", "ch", "kind"})
    ->ArgsProduct({{0, 1, 2, 3}, {4, 3}, {qov::aa::COMPOSE_PLUS, qov::aa::COMPOSE_OVER}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// The Strength mix as the frame pipeline calls it (copy included), at the chosen level,
// on a pool of `threads` threads (1: the calling thread alone).
void BM_StrengthBlend(benchmark::State& state) {
  const int channels = static_cast<int>(state.range(0));
  qov::parallel::WorkerPool pool(static_cast<unsigned>(state.range(1)));
  const std::size_t bytes = frameBytes(channels);
  const std::vector<uint8_t> input = noiseFrame(bytes, 6), antialiased = noiseFrame(bytes, 7);
  std::vector<uint8_t> output(bytes);
  state.SetLabel(qov::simd::levelName(qov::simd::highestEntry(qov::aa::kComposeLevels, qov::simd::activeLevel()).level));
  measure(state, bytes, [&] {
    qov::aa::strengthCrossFade(output.data(), input.data(), antialiased.data(), kWidth, kHeight, channels, 127,
                               &pool);
    benchmark::DoNotOptimize(output.data());
  });
}
BENCHMARK(BM_StrengthBlend)
    ->ArgNames({"ch", "threads"})
    ->ArgsProduct({{4, 3}, {1, 2, 4}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
