// Speed of the matte effect on 4-byte frames against a memcpy of the same frame, measured
// in the same run: the effect through matteFrame, on the calling thread and on a worker
// pool of all hardware threads, back to back and paced like a host's frames; each kernel
// level on one thread; and small frames serial and threaded (where splitting starts to
// pay). The ratio of every result to the memcpy of its size is printed at the end. A whole
// processFrame call of QovSetMatte1 through plugMain shows what a host pays per frame.
// Run it once more while another process keeps a core busy to see the cost of a late
// worker: the pool's chunks keep it to one chunk.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "effects/matte/matte_frame.h"
#include "effects/matte/matte_frame_internal.h"
#include "effects/matte/matte_parameters.h"
#include "effects/parallel/worker_pool.h"
#include "host/plugin_instance.h"
#include "host/plugin_library.h"
#include "effects/matte/matte_rule.h"

namespace {

using namespace qov::matte;
using qov::simd::Level;

constexpr int frameWidth = 1920;
constexpr int frameHeight = 1080;
constexpr size_t framePixels = size_t{frameWidth} * size_t{frameHeight};
// Small frames, from 64 x 64 to 512 x 512 pixels, around the serial limit.
const size_t smallFramePixels[] = {4096, 8192, 16384, 32768, 65536, 262144};

// The default parameters of the matte plug-ins: every inversion on.
MatteSettings defaultSettings() {
  const float values[matteParameterCount] = {1.0f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f};
  return matteSettingsFromParameters(values);
}

struct Frames {
  std::vector<uint8_t> first, second, output;
  explicit Frames(size_t pixels)
      : first(pixels * bytesPerPixel),
        second(pixels * bytesPerPixel),
        output(pixels * bytesPerPixel) {
    std::mt19937 rng(1);
    for (uint8_t& b : first) b = static_cast<uint8_t>(rng());
    for (uint8_t& b : second) b = static_cast<uint8_t>(rng());
  }
};

// A host calls once per video frame; between calls the pool's workers go to sleep and
// the caches cool down. Paced runs wait this long, untimed, before every frame.
constexpr auto frameGap = std::chrono::milliseconds(8);
constexpr int pacedFrames = 150;

template <typename Pass>
void measure(benchmark::State& state, size_t pixels, bool paced, Pass pass) {
  Frames f(pixels);
  for (auto _ : state) {
    if (paced) {
      state.PauseTiming();
      std::this_thread::sleep_for(frameGap);
      state.ResumeTiming();
    }
    pass(f);
    benchmark::DoNotOptimize(f.output.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(pixels * bytesPerPixel));
}

// The pool every threaded run uses: one thread per hardware thread, as the plug-ins start.
qov::parallel::WorkerPool& pool() {
  static qov::parallel::WorkerPool workers(std::max(1u, std::thread::hardware_concurrency()));
  return workers;
}

// Chunks as small as splitting allows, to find from which frame size two threads pay.
constexpr size_t smallChunkPixels = 1024;

void registerSize(size_t pixels, bool wholeFrame) {
  const MatteSettings s = defaultSettings();
  const std::string size = "/" + std::to_string(pixels);
  auto addRun = [&](const std::string& name, bool paced, auto pass) {
    auto* b = benchmark::RegisterBenchmark(
        (name + size).c_str(),
        [pixels, paced, pass](benchmark::State& st) { measure(st, pixels, paced, pass); });
    b->UseRealTime();
    if (paced) b->Iterations(pacedFrames);
  };
  auto add = [&](const std::string& name, auto pass) { addRun(name, false, pass); };
  const auto copy = [pixels](Frames& f) {
    std::memcpy(f.output.data(), f.first.data(), pixels * bytesPerPixel);
  };
  add("memcpy", copy);
  const MatteKernel selected = detail::selectedKernel();
  if (!wholeFrame) {
    add("serial",
        [=](Frames& f) { selected(f.first.data(), f.first.data(), f.output.data(), pixels, s); });
    add("threaded", [=](Frames& f) {
      detail::matteFrameWith(selected, &pool(), smallChunkPixels, f.first.data(), f.first.data(),
                             f.output.data(), pixels, s);
    });
    add("threaded_defaultChunks", [=](Frames& f) {
      matteFrame(f.first.data(), f.first.data(), f.output.data(), static_cast<int>(pixels), 1, s, &pool());
    });
    return;
  }
  const auto serial = [=](Frames& f) {
    matteFrame(f.first.data(), f.first.data(), f.output.data(), frameWidth, frameHeight, s);
  };
  const auto threaded = [=](Frames& f) {
    matteFrame(f.first.data(), f.first.data(), f.output.data(), frameWidth, frameHeight, s, &pool());
  };
  add("matteFrame_serial", serial);
  add("matteFrame_threaded", threaded);
  addRun("memcpy_paced", true, copy);
  addRun("matteFrame_serial_paced", true, serial);
  addRun("matteFrame_threaded_paced", true, threaded);
  // A whole frame call as a host makes it: copies into the frame set, the effect, the copy back.
  auto plugin = std::make_shared<qov::host::PluginLibrary>(QOV_SETMATTE1_PATH);
  auto instance = std::make_shared<qov::host::PluginInstance>(*plugin, frameWidth, frameHeight, qov::FF_DEPTH_32);
  add("processFrame_plugMain", [plugin, instance](Frames& f) { instance->processFrame(f.output.data()); });
  add("matteFrame_inPlace", [=](Frames& f) {
    matteFrame(f.output.data(), f.output.data(), f.output.data(), frameWidth, frameHeight, s);
  });
  add("matteFrame_twoInputs", [=](Frames& f) {
    matteFrame(f.first.data(), f.second.data(), f.output.data(), frameWidth, frameHeight, s);
  });
  for (Level level : qov::simd::kLevels) {
    const MatteKernel kernel = qov::simd::kernelAt(kMatteLevels, level);
    if (!kernel) continue;
    add(std::string("oneThread_") + qov::simd::levelName(level),
        [=](Frames& f) { kernel(f.first.data(), f.first.data(), f.output.data(), pixels, s); });
  }
}

// The console output, then each result's time as a multiple of the memcpy of its size.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (!run.error_occurred)
        realTimes_[run.run_name.function_name + suffix(run)] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf(
        "\nTime relative to memcpy of the same frame, paced runs to paced memcpy"
        " (pool of %u threads):\n",
        pool().threads());
    for (const auto& [name, time] : realTimes_) {
      const std::string size = name.substr(name.rfind('/'));  // "/pixels", maybe "_median"
      const bool paced = name.find("_paced/") != std::string::npos;
      const auto baseline = realTimes_.find((paced ? "memcpy_paced" : "memcpy") + size);
      if (baseline == realTimes_.end() || baseline->first == name) continue;
      std::printf("  %-40s %6.2fx\n", name.c_str(), time / baseline->second);
    }
  }

 private:
  // Repeated runs also report aggregates (mean, median, ...), each compared with its own kind.
  static std::string suffix(const Run& run) {
    return run.run_type == Run::RT_Aggregate ? "_" + run.aggregate_name : "";
  }

  std::map<std::string, double> realTimes_;
};

}  // namespace

int main(int argc, char** argv) {
  registerSize(framePixels, true);
  for (size_t pixels : smallFramePixels) registerSize(pixels, false);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("matte kernel chosen: %s\n",
              qov::simd::levelName(qov::simd::highestEntry(kMatteLevels, qov::simd::activeLevel()).level));
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
