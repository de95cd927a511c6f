// What the worker pool costs and what it gains: the overhead of one loop (a loop of two
// empty chunks, on the pool against the calling thread alone), and the matte pass over a
// 1920x1080 and a 960x540 frame, the calling thread alone against the pool, in frames of
// one loop and of eight (a frame made of several passes, as MLAA's is), each frame in a
// FrameScope as the plug-ins' frame calls are. Every row runs back
// to back and paced like a host's frames (a pause before each, in which the workers fall
// asleep), and, with --busy, again while a child process keeps one core busy.
//
// The summary at the end gives each pool row's median over the same row on the calling
// thread: below 1 the second core pays.
//
//   build/bench/bench_worker_pool            # idle rows
//   build/bench/bench_worker_pool --busy     # and the rows with a busy core
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/busy_core.h"
#include "effects/matte/matte_frame.h"
#include "effects/matte/matte_parameters.h"
#include "effects/parallel/chunking.h"
#include "effects/parallel/worker_pool.h"
#include "framework/cpu_count.h"

namespace {

using qov::matte::MatteSettings;
using qov::parallel::WorkerPool;
using Clock = std::chrono::steady_clock;

// A host's frame interval at 60 frames per second, most of it spent elsewhere: long enough
// for the workers to fall asleep.
constexpr auto kFrameGap = std::chrono::milliseconds(8);
constexpr int kPacedFrames = 120;
constexpr int kBytesPerPixel = 4;
constexpr int kPassesOfAFrame = 8;

qov::bench::BusyCore busyCore;
std::map<std::string, double> medians;  // row name -> median microseconds

WorkerPool& pool() {
  static WorkerPool workers(std::max(2u, qov::usableCpuCount()), /*stepAside=*/true);  // as the plug-ins' pool
  return workers;
}

MatteSettings defaultSettings() {
  const float values[qov::matte::matteParameterCount] = {1.0f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f};
  return qov::matte::matteSettingsFromParameters(values);
}

struct Frame {
  int width, height;
  std::vector<uint8_t> input, output;
  Frame(int w, int h) : width(w), height(h), input(std::size_t(w) * h * kBytesPerPixel), output(input.size()) {
    std::mt19937 rng(1);
    for (uint8_t& byte : input) byte = static_cast<uint8_t>(rng());
  }
};

// The spinning child runs during exactly the rows of the busy load.
void switchLoad(bool busy) {
  if (busy)
    busyCore.start();
  else
    busyCore.stop();
}

// Times `pass` per frame; the median goes into the summary.
template <class Pass>
void timeFrames(benchmark::State& state, const std::string& name, bool paced, Pass pass) {
  switchLoad(name.rfind("busy", 0) == 0);
  std::vector<double> times;
  for (auto _ : state) {
    if (paced) std::this_thread::sleep_for(kFrameGap);
    const auto start = Clock::now();
    pass();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(seconds);
    times.push_back(seconds * 1e6);
  }
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  medians[name] = times[times.size() / 2];
  state.counters["median_us"] = times[times.size() / 2];
}

void emptyChunk(void*, std::size_t, std::size_t) {}

void registerRows(const std::string& load) {
  const MatteSettings settings = defaultSettings();
  for (const bool paced : {false, true}) {
    const std::string pacing = paced ? "paced" : "back_to_back";
    for (const bool threaded : {false, true}) {
      const std::string name = load + "/loop_overhead/" + pacing + (threaded ? "/pool" : "/calling_thread");
      auto* row = benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
        timeFrames(state, name, paced, [&] {
          if (threaded)
            pool().run(2, 1, emptyChunk, nullptr);
          else
            qov::parallel::forEachChunk(nullptr, 2, 1, [](std::size_t, std::size_t) {});
        });
      });
      row->UseManualTime();
      if (paced) row->Iterations(kPacedFrames);
    }
    for (const auto& size : {std::pair<int, int>{1920, 1080}, std::pair<int, int>{960, 540}}) {
      for (const int passes : {1, kPassesOfAFrame}) {
        for (const bool threaded : {false, true}) {
          const std::string name = load + "/matte/" + std::to_string(size.first) + "x" + std::to_string(size.second) +
                                   "/" + std::to_string(passes) + "_passes/" + pacing +
                                   (threaded ? "/pool" : "/calling_thread");
          auto frame = std::make_shared<Frame>(size.first, size.second);
          auto* row = benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
            // A frame of several passes: the same work, cut into bands of rows.
            const int bandRows = (frame->height + passes - 1) / passes;
            timeFrames(state, name, paced, [&] {
              const qov::parallel::FrameScope scope(
                  threaded ? &pool() : nullptr, qov::parallel::frameChunks(frame->input.size() / kBytesPerPixel));
              for (int top = 0; top < frame->height; top += bandRows) {
                const int rows = std::min(bandRows, frame->height - top);
                const std::size_t offset = std::size_t(top) * frame->width * kBytesPerPixel;
                qov::matte::matteFrame(frame->input.data() + offset, frame->input.data() + offset,
                                       frame->output.data() + offset, frame->width, rows, settings,
                                       threaded ? &pool() : nullptr);
              }
              benchmark::ClobberMemory();
            });
          });
          row->UseManualTime();
          if (paced) row->Iterations(kPacedFrames);
        }
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool busy = false;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--busy") == 0)
      busy = true;
    else
      args.push_back(argv[i]);
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  pool();  // the workers exist before the first row
  registerRows("idle");
  if (busy) registerRows("busy_core");
  benchmark::RunSpecifiedBenchmarks();
  switchLoad(false);
  std::printf("\nMedian per frame, the pool over the calling thread alone (%u threads):\n", pool().threads());
  for (const auto& [name, micros] : medians) {
    const std::string suffix = "/pool";
    if (name.size() < suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) continue;
    const std::string serial = name.substr(0, name.size() - suffix.size()) + "/calling_thread";
    const auto found = medians.find(serial);
    if (found == medians.end()) continue;
    std::printf("  %-58s %9.2f us  %9.2f us  %5.2fx\n", name.c_str(), micros, found->second, micros / found->second);
  }
  benchmark::Shutdown();
  return 0;
}
