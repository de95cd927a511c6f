// Whole frame calls through plugMain, as a host makes them, for every row of the plug-ins'
// speed targets: each plug-in through codes 3, 14 and 16 at 24 and 32 bits, QovMLAA1 on
// four kinds of frame (aliased scene, photo-like, noise, real photographs), the matte
// plug-ins on the photo-like frame (QovMISetMatte1 with a second input, noise, as its mask
// through code 16), at 1920x1080, and at 3840x2160 in one row per plug-in and QovMLAA1's
// photographs at both depths. The photographs are found at run time (bench/photographs.h;
// scripts/bench-frames.sh unpacks them); without them their rows fail and say so.
//
// Every row runs three times: on an idle machine ("idle"), and "under load" while a child
// process spins on one core for the whole stretch, once with the plug-ins' default threads
// ("load_default") and once with QOV_THREADS=1 ("load_1thread"). The two load runs of a row
// follow each other, so that they see the same machine.
//
// Each row times a memcpy of its own frame size in a loop just before and just after its
// frame calls and reports the ratio of the median call to the fastest copy (x_memcpy), so
// that a figure does not depend on the machine's memory speed. The copy is the unit of
// measurement: other programs can only slow it down, so its fastest time is the machine's
// own, while the median call is what a host sees per frame. x_memcpy_cpu is the same ratio
// in process CPU time, which leaves out the waits for a core when other programs share the
// machine. x_memcpy_mem is the median call over the median copy of a frame that is not in
// the processor's caches (the copies rotate over buffers several times the size of the
// last-level cache): what a copy costs when the frame comes from memory, as a host's
// freshly decoded frame does. The summary at the end sets each row's ratios side by side
// with the quotient load_default / load_1thread.
//
// Own flags, given before or among Google Benchmark's:
//   --quick  only the 32-bit code 3 and 16 rows at 1920x1080, and the 3840x2160 rows
//   --full   every row at 3840x2160 as well
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bench/busy_core.h"
#include "bench/frame_kinds.h"
#include "host/frame_set.h"
#include "host/plugin_instance.h"
#include "host/plugin_library.h"

namespace {

using qov::bench::FrameKind;
using Clock = std::chrono::steady_clock;

constexpr const char* kThreadsVariable = "QOV_THREADS";
constexpr const char* kRatioCounter = "x_memcpy";
constexpr const char* kCpuRatioCounter = "x_memcpy_cpu";
constexpr const char* kMemoryRatioCounter = "x_memcpy_mem";

enum class Load { idle, defaultThreads, oneThread };

const char* loadName(Load load) {
  switch (load) {
    case Load::idle:
      return "idle";
    case Load::defaultThreads:
      return "load_default";
    case Load::oneThread:
      break;
  }
  return "load_1thread";
}

struct Size {
  uint32_t width, height;
};
constexpr Size kHd = {1920, 1080};
constexpr Size kUhd = {3840, 2160};

struct Row {
  const char* plugin;
  FrameKind kind;
  uint32_t code;  // FF_PROCESS_FRAME, FF_PROCESS_FRAME_COPY or FF_PROCESS_FRAME_MULTI
  uint32_t bits;  // 24 or 32
  Size size;
  Load load;
};

// The row without its load: the summary's key.
std::string rowKey(const Row& row) {
  return std::string(row.plugin) + "/" + qov::bench::frameKindName(row.kind) + "/code" + std::to_string(row.code) +
         "/" + std::to_string(row.bits) + "bit/" + std::to_string(row.size.width) + "x" +
         std::to_string(row.size.height);
}

bool twoInputs(const Row& row) {
  return row.code == qov::FF_PROCESS_FRAME_MULTI && std::strcmp(row.plugin, "QovMISetMatte1") == 0;
}

// ---------------------------------------------------------------------------------------
// What a row needs around it: the machine's load, the thread setting, libraries and frames.

qov::bench::BusyCore busyCore;  // a static: stopped at exit, and by the system on a crash

// QOV_THREADS as this process was started with it: the "default threads" of the rows.
struct ThreadSetting {
  bool set = false;
  std::string value;
};
ThreadSetting startingThreads;

// The plug-ins read the variable when their first instance is created, so it is set here,
// before every row creates its instance (and after the previous row destroyed its own).
void applyThreadSetting(Load load) {
  if (load == Load::oneThread)
    setenv(kThreadsVariable, "1", 1);
  else if (startingThreads.set)
    setenv(kThreadsVariable, startingThreads.value.c_str(), 1);
  else
    unsetenv(kThreadsVariable);
}

const qov::host::PluginLibrary& library(const std::string& plugin) {
  static std::map<std::string, std::unique_ptr<qov::host::PluginLibrary>> loaded;
  std::unique_ptr<qov::host::PluginLibrary>& entry = loaded[plugin];
  if (!entry) entry = std::make_unique<qov::host::PluginLibrary>(std::string(QOV_PLUGIN_DIR) + "/" + plugin + ".so");
  return *entry;
}

const std::vector<uint8_t>& frame(FrameKind kind, Size size, uint32_t bytesPerPixel) {
  static std::map<std::tuple<FrameKind, uint32_t, uint32_t, uint32_t>, std::vector<uint8_t>> made;
  std::vector<uint8_t>& entry = made[{kind, size.width, size.height, bytesPerPixel}];
  if (entry.empty()) entry = qov::bench::makeFrame(kind, size.width, size.height, bytesPerPixel);
  return entry;
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double processCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Wall-clock and process CPU times of repeated runs of one thing. On a machine shared with
// other programs, a long call's wall clock includes the time it waited for a core and a
// short copy's mostly does not; the CPU time leaves the waiting out (and, once worker
// threads help, adds up the work of all of them).
struct Samples {
  std::vector<double> wall, cpu;

  template <typename Work>
  double time(Work work) {
    const double cpuBefore = processCpuSeconds();
    const Clock::time_point before = Clock::now();
    work();
    benchmark::ClobberMemory();
    const double elapsed = seconds(Clock::now() - before);
    cpu.push_back(processCpuSeconds() - cpuBefore);
    wall.push_back(elapsed);
    return elapsed;
  }
};

// Copies in a loop, as a plain copy loop keeps its buffers: one untimed copy first, then at
// least kLeastCopies timed ones, until kMostCopies or kCopyBudget is reached.
constexpr int kLeastCopies = 5;
constexpr int kMostCopies = 15;
constexpr double kCopyBudget = 0.03;  // seconds

void timeCopies(const uint8_t* source, uint8_t* target, std::size_t bytes, Samples& samples) {
  std::memcpy(target, source, bytes);
  benchmark::ClobberMemory();
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kMostCopies; ++i) {
    if (i >= kLeastCopies && seconds(Clock::now() - start) > kCopyBudget) break;
    samples.time([&] {
      std::memcpy(target, source, bytes);
      benchmark::DoNotOptimize(target);
    });
  }
}

// The median copy of a frame that comes from memory: the copies rotate over pairs of
// buffers that together hold several times the last-level cache, so that no copy finds its
// source or target in it.
double medianCopyFromMemory(std::size_t bytes) {
  long cache = sysconf(_SC_LEVEL3_CACHE_SIZE);
  if (cache <= 0) cache = 64L << 20;
  const std::size_t pairs = std::max<std::size_t>(2, (4 * static_cast<std::size_t>(cache)) / (2 * bytes) + 1);
  std::vector<std::vector<uint8_t>> sources(pairs, std::vector<uint8_t>(bytes, 1)), targets(pairs, std::vector<uint8_t>(bytes, 0));
  std::vector<double> times;
  for (std::size_t round = 0; round < 3; ++round) {
    for (std::size_t i = 0; i < pairs; ++i) {
      const Clock::time_point before = Clock::now();
      std::memcpy(targets[i].data(), sources[i].data(), bytes);
      benchmark::ClobberMemory();
      times.push_back(seconds(Clock::now() - before));
    }
  }
  return median(times);
}

const double& copyFromMemory(std::size_t bytes) {
  static std::map<std::size_t, double> measured;
  auto found = measured.find(bytes);
  if (found == measured.end()) found = measured.emplace(bytes, medianCopyFromMemory(bytes)).first;
  return found->second;
}

// ---------------------------------------------------------------------------------------
// One row.

constexpr int kWarmUpCalls = 2;  // untimed: the instance's buffers see their first pages

void runRow(benchmark::State& state, const Row& row) {
  try {
    if (row.load == Load::idle)
      busyCore.stop();
    else
      busyCore.start();
  } catch (const std::exception& error) {
    state.SkipWithError(error.what());
    return;
  }
  applyThreadSetting(row.load);

  const uint32_t bytesPerPixel = row.bits / 8;
  const std::size_t bytes = std::size_t{row.size.width} * row.size.height * bytesPerPixel;
  const std::vector<uint8_t>* made = nullptr;
  try {
    made = &frame(row.kind, row.size, bytesPerPixel);
  } catch (const std::exception& error) {
    state.SkipWithError(error.what());
    return;
  }
  const std::vector<uint8_t>& original = *made;
  std::vector<uint8_t> input = original;  // code 3 works on it in place
  std::vector<uint8_t> output(bytes);
  std::vector<uint8_t> copyTarget(bytes);

  std::unique_ptr<qov::host::PluginInstance> instance;
  try {
    instance = std::make_unique<qov::host::PluginInstance>(library(row.plugin), row.size.width, row.size.height,
                                                           row.bits == 32 ? qov::FF_DEPTH_32 : qov::FF_DEPTH_24);
  } catch (const std::exception& error) {
    state.SkipWithError(error.what());
    return;
  }
  std::vector<const uint8_t*> setInputs = {input.data()};
  if (twoInputs(row)) setInputs.push_back(frame(FrameKind::noise, row.size, bytesPerPixel).data());
  qov::host::FrameSet frameSet(row.size.width, row.size.height, bytesPerPixel, setInputs, output.data());
  const std::vector<void*> copyInputs = {input.data()};

  // A host hands over a new frame every time: code 3 gets the original bytes again
  // (untimed); codes 14 and 16 leave their input as it was.
  const auto prepare = [&] {
    if (row.code == qov::FF_PROCESS_FRAME) std::memcpy(input.data(), original.data(), bytes);
  };
  const auto call = [&] {
    switch (row.code) {
      case qov::FF_PROCESS_FRAME_COPY:
        return instance->processFrameCopy(copyInputs, output.data());
      case qov::FF_PROCESS_FRAME_MULTI:
        return instance->processFrameMulti(frameSet.get());
      default:
        return instance->processFrame(input.data());
    }
  };

  Samples copies;
  timeCopies(original.data(), copyTarget.data(), bytes, copies);
  for (int i = 0; i < kWarmUpCalls; ++i) {
    prepare();
    if (qov::host::failed(call())) {
      state.SkipWithError("the plug-in refused the frame");
      return;
    }
  }
  Samples calls;
  for (auto _ : state) {
    prepare();
    FFMixed result{};
    const double elapsed = calls.time([&] { result = call(); });
    if (qov::host::failed(result)) {
      state.SkipWithError("the plug-in refused the frame");
      break;
    }
    state.SetIterationTime(elapsed);
  }
  if (state.error_occurred() || calls.wall.empty()) return;
  timeCopies(original.data(), copyTarget.data(), bytes, copies);

  const double callTime = median(calls.wall);
  const double copyTime = *std::min_element(copies.wall.begin(), copies.wall.end());
  state.counters[kRatioCounter] = callTime / copyTime;
  state.counters[kCpuRatioCounter] = median(calls.cpu) / *std::min_element(copies.cpu.begin(), copies.cpu.end());
  state.counters["call_ms"] = callTime * 1e3;
  state.counters["memcpy_ms"] = copyTime * 1e3;
  state.counters[kMemoryRatioCounter] = callTime / copyFromMemory(bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// ---------------------------------------------------------------------------------------
// The rows.

enum class Matrix { quick, standard, full };

constexpr benchmark::IterationCount kHdCalls = 40;
constexpr benchmark::IterationCount kUhdCalls = 15;

void registerRows(Matrix matrix) {
  struct Plugin {
    const char* name;
    std::vector<FrameKind> kinds;
    std::vector<std::pair<FrameKind, uint32_t>> uhdRows;  // kind and depth of code 3 rows at 3840x2160
  };
  const Plugin plugins[] = {
      {"QovMLAA1",
       {FrameKind::scene, FrameKind::photo, FrameKind::noise, FrameKind::photographs},
       {{FrameKind::scene, 32}, {FrameKind::photographs, 32}, {FrameKind::photographs, 24}}},
      {"QovSetMatte1", {FrameKind::photo}, {{FrameKind::photo, 32}}},
      {"QovMISetMatte1", {FrameKind::photo}, {{FrameKind::photo, 32}}},
  };
  const uint32_t codes[] = {qov::FF_PROCESS_FRAME, qov::FF_PROCESS_FRAME_COPY, qov::FF_PROCESS_FRAME_MULTI};
  const uint32_t depths[] = {32, 24};

  std::vector<Row> rows;  // without their load
  for (const Plugin& plugin : plugins) {
    for (FrameKind kind : plugin.kinds)
      for (uint32_t code : codes)
        for (uint32_t bits : depths) {
          const bool inQuick = bits == 32 && code != qov::FF_PROCESS_FRAME_COPY;
          if (matrix == Matrix::quick && !inQuick) continue;
          rows.push_back({plugin.name, kind, code, bits, kHd, Load::idle});
          if (matrix == Matrix::full) rows.push_back({plugin.name, kind, code, bits, kUhd, Load::idle});
        }
    if (matrix != Matrix::full)
      for (const auto& [kind, bits] : plugin.uhdRows)
        rows.push_back({plugin.name, kind, qov::FF_PROCESS_FRAME, bits, kUhd, Load::idle});
  }

  // A fixed number of calls per row: the median of a few dozen frames is steady, and a row
  // whose call does almost nothing (the mattes leave 24-bit frame sets alone) would otherwise
  // be repeated millions of times until its calls add up to Google Benchmark's minimum time.
  const auto add = [](Row row, Load load) {
    row.load = load;
    const std::string name = std::string(loadName(load)) + "/" + rowKey(row);
    benchmark::RegisterBenchmark(name.c_str(), [row](benchmark::State& state) { runRow(state, row); })
        ->UseManualTime()
        ->Iterations(row.size.width > kHd.width ? kUhdCalls : kHdCalls)
        ->Unit(benchmark::kMillisecond);
  };
  for (const Row& row : rows) add(row, Load::idle);
  for (const Row& row : rows) {
    add(row, Load::defaultThreads);
    add(row, Load::oneThread);
  }
}

// ---------------------------------------------------------------------------------------
// The summary: every row's ratios side by side.

class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  using ConsoleReporter::ConsoleReporter;

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) {
        failed_ = true;
        continue;
      }
      const auto ratio = run.counters.find(kRatioCounter);
      const auto cpuRatio = run.counters.find(kCpuRatioCounter);
      const auto memoryRatio = run.counters.find(kMemoryRatioCounter);
      if (run.run_type != Run::RT_Iteration || ratio == run.counters.end() || cpuRatio == run.counters.end() ||
          memoryRatio == run.counters.end())
        continue;
      const std::string& name = run.run_name.function_name;
      const std::size_t slash = name.find('/');
      const std::string key = name.substr(slash + 1);
      const std::string load = name.substr(0, slash);
      if (ratios_.find(key) == ratios_.end()) keys_.push_back(key);
      ratios_[key][load].push_back(ratio->second.value);
      cpuRatios_[key][load].push_back(cpuRatio->second.value);
      memoryRatios_[key][load].push_back(memoryRatio->second.value);
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    if (keys_.empty()) return;
    std::ostream& out = GetOutputStream();
    out << "\nMedian call / fastest memcpy of the same frame: wall-clock times, and process CPU times where"
           " said;\n\"from memory\": over the median copy of a frame that is in no cache (median over a row's runs;"
           " lowest-highest when repeated)\n"
        << line({"row", "idle", "idle, CPU", "idle, from memory", "load, default", "load, 1 thread",
                 "default / 1 thread"});
    const std::string idle = loadName(Load::idle);
    const std::string defaultLoad = loadName(Load::defaultThreads);
    const std::string oneThread = loadName(Load::oneThread);
    for (const std::string& key : keys_) {
      std::map<std::string, std::vector<double>>& wall = ratios_[key];
      std::string row = key;
      std::replace(row.begin(), row.end(), '/', ' ');
      out << line({row, cell(wall[idle]), cell(cpuRatios_[key][idle]), cell(memoryRatios_[key][idle]),
                   cell(wall[defaultLoad]), cell(wall[oneThread]), quotient(wall[defaultLoad], wall[oneThread])});
    }
    out.flush();
  }

  bool failed() const { return failed_; }

 private:
  static std::string line(const std::vector<std::string>& cells) {
    char text[320];
    std::snprintf(text, sizeof text, "%-44s %-17s %-17s %-17s %-17s %-17s %s\n", cells[0].c_str(),
                  cells[1].c_str(), cells[2].c_str(), cells[3].c_str(), cells[4].c_str(), cells[5].c_str(),
                  cells[6].c_str());
    return text;
  }

  // Three significant digits, without exponents.
  static std::string figure(double value) {
    char text[32];
    std::snprintf(text, sizeof text, value >= 100 ? "%.0f" : value >= 10 ? "%.1f" : "%.2f", value);
    return text;
  }

  static std::string cell(const std::vector<double>& values) {
    if (values.empty()) return "-";
    if (values.size() == 1) return figure(values[0]);
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    return figure(median(values)) + " (" + figure(*lowest) + "-" + figure(*highest) + ")";
  }

  static std::string quotient(const std::vector<double>& defaultThreads, const std::vector<double>& oneThread) {
    if (defaultThreads.empty() || oneThread.empty()) return "-";
    return figure(median(defaultThreads) / median(oneThread));
  }

  std::vector<std::string> keys_;  // in the order the rows ran
  std::map<std::string, std::map<std::string, std::vector<double>>> ratios_, cpuRatios_, memoryRatios_;
  bool failed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  Matrix matrix = Matrix::standard;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0)
      matrix = Matrix::quick;
    else if (std::strcmp(argv[i], "--full") == 0)
      matrix = Matrix::full;
    else
      argv[kept++] = argv[i];
  }
  argc = kept;
  if (const char* threads = std::getenv(kThreadsVariable)) startingThreads = {true, threads};

  registerRows(matrix);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  SummaryReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                 : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  busyCore.stop();
  benchmark::Shutdown();
  return reporter.failed() ? 1 : 0;
}
