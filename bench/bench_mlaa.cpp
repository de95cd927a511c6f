// MLAA on a 1920 x 1080 frame: an aliased synthetic scene (hard-edged polygons at many angles
// and one-pixel lines) and a noisy frame (edges everywhere), against a memcpy of the frame.
// Every iteration copies the source frame into the work frame first (MLAA works in place), so
// each figure includes one memcpy; the detection kernels are also timed on their own.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "effects/antialias/mlaa.h"
#include "effects/antialias/mlaa_internal.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr size_t kFrameBytes = static_cast<size_t>(kWidth) * kHeight * 4;
constexpr double kPi = 3.14159265358979323846;

struct Buffers {
  std::vector<uint8_t> source, work, edges;
  Buffers() : source(kFrameBytes), work(kFrameBytes), edges(kFrameBytes) {}
};

void put(std::vector<uint8_t>& f, int x, int y, uint32_t v) {
  if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
  std::memcpy(&f[(static_cast<size_t>(y) * kWidth + x) * 4], &v, 4);
}

// Convex polygons (rotated regular n-gons) filled without antialiasing, then one-pixel lines,
// over a smooth background.
std::vector<uint8_t> makeScene() {
  std::vector<uint8_t> f(kFrameBytes);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      put(f, x, y, static_cast<uint32_t>((x / 16) | ((y / 8) << 8) | (90 << 16)));
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int p = 0; p < 120; ++p) {
    const double cx = unit(rng) * kWidth, cy = unit(rng) * kHeight;
    const double radius = 20 + unit(rng) * 160, phase = unit(rng) * 2 * kPi;
    const int sides = 3 + static_cast<int>(unit(rng) * 5);
    const uint32_t colour = static_cast<uint32_t>(rng()) & 0x00FFFFFFu;
    std::vector<double> vx(sides), vy(sides);
    for (int k = 0; k < sides; ++k) {
      vx[k] = cx + radius * std::cos(phase + 2 * kPi * k / sides);
      vy[k] = cy + radius * std::sin(phase + 2 * kPi * k / sides);
    }
    for (int y = static_cast<int>(cy - radius); y <= static_cast<int>(cy + radius); ++y)
      for (int x = static_cast<int>(cx - radius); x <= static_cast<int>(cx + radius); ++x) {
        bool inside = true;
        for (int k = 0; k < sides && inside; ++k) {
          const int n = (k + 1) % sides;
          inside = (vx[n] - vx[k]) * (y + 0.5 - vy[k]) - (vy[n] - vy[k]) * (x + 0.5 - vx[k]) >= 0;
        }
        if (inside) put(f, x, y, colour);
      }
  }
  for (int l = 0; l < 200; ++l) {
    const double x0 = unit(rng) * kWidth, y0 = unit(rng) * kHeight;
    const double angle = unit(rng) * kPi, length = 50 + unit(rng) * 600;
    const uint32_t colour = static_cast<uint32_t>(rng()) & 0x00FFFFFFu;
    const int steps = static_cast<int>(length);
    for (int s = 0; s <= steps; ++s)
      put(f, static_cast<int>(std::lround(x0 + s * std::cos(angle))),
          static_cast<int>(std::lround(y0 + s * std::sin(angle))), colour);
  }
  return f;
}

std::vector<uint8_t> makeNoise() {
  std::vector<uint8_t> f(kFrameBytes);
  std::mt19937 rng(99);
  for (size_t i = 0; i < kFrameBytes; i += 4) {
    const uint32_t v = static_cast<uint32_t>(rng()) & 0x00FFFFFFu;
    std::memcpy(&f[i], &v, 4);
  }
  return f;
}

Buffers& scene() {
  static Buffers b = [] { Buffers x; x.source = makeScene(); return x; }();
  return b;
}
Buffers& noise() {
  static Buffers b = [] { Buffers x; x.source = makeNoise(); return x; }();
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
void BM_runMLAA_noise(benchmark::State& state) { runFrame(state, noise()); }

void BM_detect(benchmark::State& state) {
  const auto level = static_cast<qov::simd::Level>(state.range(0));
  if (!qov::simd::supports(level)) {
    state.SkipWithError("level not supported here");
    return;
  }
  const auto detect = qov::aa::detail::detectRowsFor(level);
  Buffers& b = noise();
  for (auto _ : state) {
    detect(b.source.data(), b.edges.data(), kWidth, kHeight, 0, kHeight);
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
BENCHMARK(BM_runMLAA_noise)->ArgName("flags")->Arg(kFlagSets[0])->Arg(kFlagSets[1])
    ->Unit(benchmark::kMicrosecond);
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
