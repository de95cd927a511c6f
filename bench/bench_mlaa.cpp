// MLAA on a 1920 x 1080 frame: an aliased synthetic scene (hard-edged polygons at many angles
// and one-pixel lines), a photo-like frame (few edges) and a noisy frame (edges everywhere),
// against a memcpy of the frame.
// Every iteration copies the source frame into the work frame first (MLAA works in place), so
// each figure includes one memcpy; the blending passes and the detection kernels are also
// timed on their own.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/mlaa_photo_frame.h"
#include "bench/mlaa_scenes.h"
#include "effects/antialias/mlaa.h"
#include "effects/antialias/mlaa_internal.h"

namespace {

using qov::bench::kFrameBytes;
using qov::bench::kHeight;
using qov::bench::kWidth;

struct Buffers {
  std::vector<uint8_t> source, work, edges;
  Buffers() : source(kFrameBytes), work(kFrameBytes), edges(kFrameBytes) {}
};

Buffers& scene() {
  static Buffers b = [] { Buffers x; x.source = qov::bench::makeScene(); return x; }();
  return b;
}
Buffers& photo() {
  static Buffers b = [] { Buffers x; x.source = qov::bench::makePhoto(); return x; }();
  return b;
}
Buffers& noise() {
  static Buffers b = [] { Buffers x; x.source = qov::bench::makeNoise(); return x; }();
  return b;
}

void setBytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFrameBytes);
}

void BM_memcpy_frame(benchmark::State& state) {
  Buffers& b = scene();
  for (auto _ : state) {
    std::memcpy(b.work.data(), b.source.data(), kFrameBytes);
    benchmark::ClobberMemory();
  }
  setBytes(state);
}

void runFrame(benchmark::State& state, Buffers& b) {
  const uint32_t flags = static_cast<uint32_t>(state.range(0));
  for (auto _ : state) {
    std::memcpy(b.work.data(), b.source.data(), kFrameBytes);
    qov::aa::runMLAA(b.work.data(), b.edges.data(), kWidth, kHeight, flags);
    benchmark::ClobberMemory();
  }
  setBytes(state);
}

void BM_runMLAA_scene(benchmark::State& state) { runFrame(state, scene()); }
void BM_runMLAA_photo(benchmark::State& state) { runFrame(state, photo()); }
void BM_runMLAA_noise(benchmark::State& state) { runFrame(state, noise()); }

// The blending passes alone, from a frame whose edge words are in place: the call resumes
// after detection (range 0: both passes) or after the horizontal pass (range 1: the vertical
// pass only). Their differences with the whole call give detection and the horizontal pass.
void runPasses(benchmark::State& state, Buffers& b) {
  constexpr int kDetectSteps = kHeight / 8, kRowBlocks = (kHeight + 7) / 8;
  const int resumeAfter = state.range(0) == 0 ? kDetectSteps - 1 : kDetectSteps + kRowBlocks - 1;
  std::memcpy(b.work.data(), b.source.data(), kFrameBytes);
  qov::aa::runMLAA(b.work.data(), b.edges.data(), kWidth, kHeight, 0);  // the edge words
  for (auto _ : state) {
    std::memcpy(b.work.data(), b.source.data(), kFrameBytes);
    int step = resumeAfter;
    qov::aa::MLAA(b.work.data(), b.edges.data(), kWidth, kHeight, &step, 0, 0);
    benchmark::ClobberMemory();
  }
  state.SetLabel(state.range(0) == 0 ? "both passes" : "vertical pass");
  setBytes(state);
}

void BM_passes_scene(benchmark::State& state) { runPasses(state, scene()); }
void BM_passes_photo(benchmark::State& state) { runPasses(state, photo()); }
void BM_passes_noise(benchmark::State& state) { runPasses(state, noise()); }

// Every bit of a pixel counts in the comparisons, as in a frame whose fourth byte is alpha.
constexpr uint32_t kAllBits = 0xFFFFFFFFu;

void BM_detect(benchmark::State& state) {
  const auto level = static_cast<qov::simd::Level>(state.range(0));
  const auto detect = qov::simd::kernelAt(qov::aa::detail::kDetectLevels, level);
  if (detect == nullptr) {
    state.SkipWithError("level not available here");
    return;
  }
  Buffers& b = noise();
  for (auto _ : state) {
    detect(b.source.data(), std::ptrdiff_t{kWidth} * 4, kAllBits, b.edges.data(), kWidth, kHeight, 0, kHeight, nullptr,
           nullptr);
    benchmark::ClobberMemory();
  }
  state.SetLabel(qov::simd::levelName(level));
  setBytes(state);
}

constexpr int64_t kFlagSets[] = {0, qov::aa::MLAA_USE_HALF | qov::aa::MLAA_THIN_LINES,
                                 qov::aa::MLAA_VISUALIZE};

BENCHMARK(BM_memcpy_frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_runMLAA_scene)->ArgName("flags")->Arg(kFlagSets[0])->Arg(kFlagSets[1])
    ->Arg(kFlagSets[2])->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_runMLAA_photo)->ArgName("flags")->Arg(kFlagSets[0])->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_runMLAA_noise)->ArgName("flags")->Arg(kFlagSets[0])->Arg(kFlagSets[1])
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_passes_scene)->ArgName("from")->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_passes_photo)->ArgName("from")->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_passes_noise)->ArgName("from")->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_detect)->ArgName("level")->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// Prints the usual table, then every benchmark's time as a multiple of the memcpy baseline.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (!r.error_occurred && r.run_type == Run::RT_Iteration)
        times_[r.benchmark_name()] = r.GetAdjustedRealTime();
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const auto base = times_.find("BM_memcpy_frame");
    if (base == times_.end() || base->second <= 0) return;
    std::printf("\nTime per frame as a multiple of memcpy of the frame (%.1f us):\n",
                base->second);
    for (const auto& [name, t] : times_)
      std::printf("  %-36s %8.2f x\n", name.c_str(), t / base->second);
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
