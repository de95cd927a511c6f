// Many instances under load: 24 instances (8 of each plug-in, mixed sizes and depths) on 8
// threads, 200 frames each through codes 3, 14 and 16 with parameters changing between
// frames. Every output must equal, byte for byte, the output of the same frames processed
// serially on one instance, and the process's heap must not grow between frame 100 and
// frame 200. Also instance churn: 10,000 instantiate/deInstantiate cycles with frames in
// between and no growth, and the working images an instance takes when it is made.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "host/frame_set.h"
#include "host/plugin_instance.h"
#include "tests/reliability/heap_usage.h"
#include "tests/support/plugin_table.h"

namespace qov::test {
namespace {

using host::PluginInstance;

constexpr int kThreads = 8;
constexpr int kInstancesPerPlugin = 8;
constexpr int kFrames = 200;
constexpr int kHalfway = kFrames / 2;
constexpr int kChurnCycles = 10000;
constexpr int kChurnWarmup = 1000;
// Growth allowed between the two measurements. Steady-state frames allocate nothing; the
// allowance covers runtime bookkeeping (the C++ runtime, the sanitizers) that is not the
// plug-ins' own.
constexpr std::size_t kHeapAllowance = 64 * 1024;

const char* const kPlugins[] = {"QovMLAA1", "QovSetMatte1", "QovMISetMatte1"};

struct Config {
  const char* plugin;
  uint32_t width;
  uint32_t height;
  uint32_t depth;
};

// 8 formats per plug-in: odd and even sides, a single row and a single column, both depths.
std::vector<Config> stressConfigs() {
  static constexpr uint32_t kSides[kInstancesPerPlugin][2] = {{13, 9},  {32, 24}, {47, 31}, {64, 48},
                                                             {5, 3},   {80, 60}, {21, 1},  {1, 17}};
  std::vector<Config> configs;
  for (const char* plugin : kPlugins)
    for (int i = 0; i < kInstancesPerPlugin; ++i)
      configs.push_back({plugin, kSides[i][0], kSides[i][1], i % 2 == 0 ? FF_DEPTH_32 : FF_DEPTH_24});
  return configs;
}

uint32_t mix(uint32_t a, uint32_t b) {
  uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u + (a << 6) + (a >> 2));
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return h;
}

// The parameter value frame `frame` of instance `instance` sets: in range mostly, with
// out-of-range values, NaN and the switch threshold among them, as faders and hosts send.
float parameterValue(int instance, int frame, uint32_t index) {
  const uint32_t h = mix(mix(static_cast<uint32_t>(instance), static_cast<uint32_t>(frame)), index);
  switch (h % 8) {
    case 0: return 1.5f;
    case 1: return -0.25f;
    case 2: return std::numeric_limits<float>::quiet_NaN();
    case 3: return 0.5f;
    default: return static_cast<float>(h % 1001) / 1000.0f;
  }
}

// Pixels of frame `frame` (noise, or blocks with long edges for the antialiasing).
void fillFrame(std::vector<uint8_t>& bytes, uint32_t width, uint32_t seed) {
  uint32_t state = seed | 1u;
  if (seed % 2 == 0) {
    for (uint8_t& byte : bytes) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      byte = static_cast<uint8_t>(state);
    }
    return;
  }
  const std::size_t row = std::size_t{width} * 4;
  const std::size_t block = 2 + seed % 7;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = (((i % row) / 4 / block + i / row / (block + 1)) & 1) ? static_cast<uint8_t>(seed >> 8)
                                                                     : static_cast<uint8_t>(i & 0x3F);
}

// One instance with the buffers it needs, allocated once, so that frames allocate nothing
// on the test's side either.
struct Stream {
  Config config;
  int number;  // the instance's place among all 24, for the frame contents
  PluginInstance instance;
  std::vector<uint8_t> input, secondInput, output;

  Stream(const Config& c, int n)
      : config(c), number(n), instance(library(c.plugin), c.width, c.height, c.depth) {
    input.resize(instance.frameBytes());
    output.resize(instance.frameBytes());
    // A counted second input is a full frame of 4-byte pixels.
    secondInput.resize(std::size_t{c.width} * c.height * 4);
  }

  // Processes frame `frame` and leaves its result in `output`. Returns false on failure.
  bool process(int frame) {
    const uint32_t seed = mix(static_cast<uint32_t>(number), static_cast<uint32_t>(frame));
    for (uint32_t i = 0; i < library(config.plugin).numParameters(); ++i)
      instance.setParameter(i, parameterValue(number, frame, i));
    fillFrame(input, config.width, seed);
    fillFrame(output, config.width, seed + 1);
    switch (frame % 3) {
      case 0:
        std::memcpy(output.data(), input.data(), input.size());
        return !host::failed(instance.processFrame(output.data()));
      case 1: {
        void* inputs[1] = {input.data()};
        ProcessFrameCopyRecord record{1, inputs, output.data()};
        return !host::failed(
            library(config.plugin).callPointer(FF_PROCESS_FRAME_COPY, &record, instance.id()));
      }
      default: {
        fillFrame(secondInput, config.width, seed + 2);
        // Every other time the output is written over the first input.
        const bool inPlace = frame % 2 == 0;
        host::FrameSet frameSet(config.width, config.height, instance.bytesPerPixel(),
                                {input.data(), secondInput.data()}, inPlace ? input.data() : output.data());
        const bool ok = !host::failed(instance.processFrameMulti(frameSet.get()));
        if (inPlace) std::memcpy(output.data(), input.data(), input.size());
        return ok;
      }
    }
  }
};

// Lets the main thread measure while every worker waits between its halves.
class Halfway {
 public:
  explicit Halfway(int workers) : waiting_(workers) {}
  void arriveAndWait() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (--waiting_ == 0) allArrived_.notify_one();
    released_.wait(lock, [this] { return go_; });
  }
  void waitForAll() {
    std::unique_lock<std::mutex> lock(mutex_);
    allArrived_.wait(lock, [this] { return waiting_ == 0; });
  }
  void release() {
    std::lock_guard<std::mutex> lock(mutex_);
    go_ = true;
    released_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable allArrived_, released_;
  int waiting_;
  bool go_ = false;
};

TEST(Stress, ConcurrentInstancesMatchSerialRunsAndKeepMemoryFlat) {
  const std::vector<Config> configs = stressConfigs();
  const int count = static_cast<int>(configs.size());

  // The serial reference: each configuration's frames on one instance, on this thread.
  std::vector<std::vector<uint8_t>> expected(configs.size());
  for (int n = 0; n < count; ++n) {
    Stream stream(configs[n], n);
    expected[n].resize(stream.output.size() * kFrames);
    for (int frame = 0; frame < kFrames; ++frame) {
      ASSERT_TRUE(stream.process(frame)) << configs[n].plugin << " frame " << frame;
      std::memcpy(&expected[n][stream.output.size() * frame], stream.output.data(), stream.output.size());
    }
  }

  std::vector<std::unique_ptr<Stream>> streams;
  for (int n = 0; n < count; ++n) streams.push_back(std::make_unique<Stream>(configs[n], n));
  std::atomic<int> failures{0}, mismatches{0};
  Halfway halfway(kThreads);
  auto work = [&](int thread) {
    for (int frame = 0; frame < kFrames; ++frame) {
      if (frame == kHalfway) halfway.arriveAndWait();
      // Each thread takes its instances in turn: one of each plug-in.
      for (int n = thread; n < count; n += kThreads) {
        Stream& stream = *streams[n];
        if (!stream.process(frame)) ++failures;
        if (std::memcmp(&expected[n][stream.output.size() * frame], stream.output.data(), stream.output.size()) != 0)
          ++mismatches;
      }
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(work, t);
  halfway.waitForAll();
  const std::size_t heapAtHalfway = heapBytesInUse();
  halfway.release();
  for (std::thread& thread : threads) thread.join();
  const std::size_t heapAtEnd = heapBytesInUse();

  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(mismatches.load(), 0) << "frames that differ from the serial run";
  EXPECT_LE(heapAtEnd, heapAtHalfway + kHeapAllowance)
      << "heap grew by " << (heapAtEnd - heapAtHalfway) << " bytes over the last " << kFrames - kHalfway << " frames";
  RecordProperty("heap_growth_last_100_frames", static_cast<int>(heapAtEnd - std::min(heapAtEnd, heapAtHalfway)));
}

TEST(Stress, InstanceChurnDoesNotGrow) {
  // Cycles through the three plug-ins, sizes and depths; every cycle processes a frame,
  // every tenth hands over a host frame set first, so that deInstantiate also meets an
  // instance whose frame set points at the host's records.
  constexpr uint32_t kSides[][2] = {{8, 6}, {1, 1}, {0, 4}, {17, 3}};
  constexpr int kNumSides = sizeof(kSides) / sizeof(kSides[0]);
  std::vector<uint8_t> frame(17 * 6 * 4, 0x5A), hostPixels(17 * 6 * 4, 0xA5);
  std::size_t heapAfterWarmup = 0;
  int failures = 0;
  for (int cycle = 0; cycle < kChurnCycles; ++cycle) {
    if (cycle == kChurnWarmup) heapAfterWarmup = heapBytesInUse();
    const host::PluginLibrary& lib = library(kPlugins[cycle % 3]);
    const uint32_t* side = kSides[(cycle / 3) % kNumSides];
    const uint32_t depth = (cycle / 12) % 2 ? FF_DEPTH_24 : FF_DEPTH_32;
    VideoInfo info{side[0], side[1], depth, 0};
    const FFMixed id = lib.callPointer(FF_INSTANTIATE, &info);
    if (host::failed(id)) {
      ++failures;
      continue;
    }
    if (cycle % 10 == 0) {
      host::FrameSet frameSet(side[0], side[1], depth == FF_DEPTH_32 ? 4u : 3u, {hostPixels.data()},
                              hostPixels.data());
      if (host::failed(lib.callPointer(FF_PROCESS_FRAME_MULTI, frameSet.get(), id.pointerValue))) ++failures;
    }
    if (cycle % 5 != 4 && host::failed(lib.callPointer(FF_PROCESS_FRAME, frame.data(), id.pointerValue))) ++failures;
    if (lib.call(FF_DEINSTANTIATE, 0u, id.pointerValue).uintValue != FF_SUCCESS) ++failures;
  }
  const std::size_t heapAtEnd = heapBytesInUse();
  EXPECT_EQ(failures, 0);
  EXPECT_LE(heapAtEnd, heapAfterWarmup + kHeapAllowance)
      << "heap grew by " << (heapAtEnd - heapAfterWarmup) << " bytes over " << kChurnCycles - kChurnWarmup
      << " cycles";
}

TEST(Stress, WorkingImagesAreTakenAtInstantiate) {
  // QovMLAA1 takes its working memory (edge words of four bytes per pixel, and working
  // copies of bands of rows) when the instance is made, so that frames allocate nothing;
  // the matte plug-ins keep nothing per pixel.
  constexpr uint32_t kWidth = 640, kHeight = 480;
  constexpr std::size_t kWorkingImageBytes = std::size_t{kWidth} * kHeight * 4;
  for (const char* plugin : kPlugins) {
    SCOPED_TRACE(plugin);
    const host::PluginLibrary& lib = library(plugin);
    std::vector<uint8_t> frame = randomBytes(std::size_t{kWidth} * kHeight * 3, 5);
    const std::size_t before = heapBytesInUse();
    {
      PluginInstance instance(lib, kWidth, kHeight, FF_DEPTH_24);
      const std::size_t instantiated = heapBytesInUse();
      if (std::string(plugin) == "QovMLAA1")
        EXPECT_GE(instantiated - before, kWorkingImageBytes);
      else
        EXPECT_LT(instantiated - before, kWorkingImageBytes / 4);
      for (int i = 0; i < 3; ++i) ASSERT_EQ(instance.processFrame(frame.data()).uintValue, 0u);
      EXPECT_LE(heapBytesInUse(), instantiated + kHeapAllowance) << "frames allocate nothing";
    }
    EXPECT_LE(heapBytesInUse(), before + kHeapAllowance) << "released with the instance";
  }
}

}  // namespace
}  // namespace qov::test
