// Soak run (not a test, not a Google Benchmark): one instance per plug-in processes a long
// series of 1920x1080 frames through plugMain, as a host would over an evening, and the
// time of every single frame is kept. Percentiles and the maximum show stalls that an
// average hides; a memcpy of the same frame, timed beside every frame, is the baseline that
// makes the figures comparable across machines. Heap and resident memory before and after
// show growth.
//
//   soak_plugins [--frames N] [--plugin NAME] [--depth 24|32] [--call 3|14|16]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <malloc.h>

#include "bench/mlaa_scenes.h"
#include "host/frame_set.h"
#include "host/plugin_instance.h"
#include "host/plugin_library.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultFrames = 10000;
constexpr uint32_t kWidth = qov::bench::kWidth;
constexpr uint32_t kHeight = qov::bench::kHeight;
const char* const kPlugins[] = {"QovMLAA1", "QovSetMatte1", "QovMISetMatte1"};

struct Options {
  int frames = kDefaultFrames;
  std::string plugin;  // empty: all three
  uint32_t depth = qov::FF_DEPTH_32;
  uint32_t call = qov::FF_PROCESS_FRAME;
};

[[noreturn]] void usage(const char* program) {
  std::fprintf(stderr, "usage: %s [--frames N] [--plugin NAME] [--depth 24|32] [--call 3|14|16]\n", program);
  std::exit(2);
}

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) usage(argv[0]);
    const std::string value = argv[++i];
    if (arg == "--frames") options.frames = std::atoi(value.c_str());
    else if (arg == "--plugin") options.plugin = value;
    else if (arg == "--depth") options.depth = value == "24" ? qov::FF_DEPTH_24 : qov::FF_DEPTH_32;
    else if (arg == "--call") options.call = static_cast<uint32_t>(std::atoi(value.c_str()));
    else usage(argv[0]);
  }
  if (options.frames < 1 || (options.call != qov::FF_PROCESS_FRAME && options.call != qov::FF_PROCESS_FRAME_COPY &&
                             options.call != qov::FF_PROCESS_FRAME_MULTI))
    usage(argv[0]);
  return options;
}

double milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

// The value below which `fraction` of the sorted times lie.
double percentile(const std::vector<double>& sorted, double fraction) {
  const std::size_t index = std::min(sorted.size() - 1, static_cast<std::size_t>(fraction * sorted.size()));
  return sorted[index];
}

std::size_t residentKiB() {
  unsigned long size = 0, resident = 0;
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return 0;
  if (std::fscanf(statm, "%lu %lu", &size, &resident) != 2) resident = 0;
  std::fclose(statm);
  return resident * 4;
}

std::size_t heapKiB() {
  const struct mallinfo2 info = mallinfo2();
  return (info.uordblks + info.hblkhd) / 1024;
}

// Frames of the aliased scene, at the instance's bytes per pixel, in a few shifted copies so
// that consecutive frames differ as video does.
std::vector<std::vector<uint8_t>> sceneFrames(uint32_t bytesPerPixel) {
  constexpr int kVariants = 4;
  const std::vector<uint8_t> scene = qov::bench::makeScene();
  std::vector<std::vector<uint8_t>> frames;
  for (int v = 0; v < kVariants; ++v) {
    std::vector<uint8_t> frame(std::size_t{kWidth} * kHeight * bytesPerPixel);
    for (std::size_t i = 0; i < std::size_t{kWidth} * kHeight; ++i)
      std::memcpy(&frame[i * bytesPerPixel], &scene[((i + v * 3) % (std::size_t{kWidth} * kHeight)) * 4],
                  bytesPerPixel);
    frames.push_back(std::move(frame));
  }
  return frames;
}

void soak(const std::string& plugin, const Options& options) {
  qov::host::PluginLibrary library(std::string(QOV_PLUGIN_DIR) + "/" + plugin + ".so");
  qov::host::PluginInstance instance(library, kWidth, kHeight, options.depth);
  const std::size_t bytes = instance.frameBytes();
  const auto frames = sceneFrames(instance.bytesPerPixel());
  std::vector<uint8_t> frame(bytes), output(bytes), baseline(bytes);

  qov::host::FrameSet frameSet(kWidth, kHeight, instance.bytesPerPixel(), {nullptr}, output.data());

  std::vector<double> frameTimes, copyTimes;
  frameTimes.reserve(options.frames);
  copyTimes.reserve(options.frames);
  std::size_t heapAfterFirst = 0, residentAfterFirst = 0;
  int failures = 0;
  for (int n = 0; n < options.frames; ++n) {
    const std::vector<uint8_t>& source = frames[n % frames.size()];
    Clock::time_point start = Clock::now();
    std::memcpy(baseline.data(), source.data(), bytes);
    copyTimes.push_back(milliseconds(Clock::now() - start));
    std::memcpy(frame.data(), source.data(), bytes);

    // A parameter moves every frame, as a fader would.
    instance.setParameter(0, static_cast<float>(n % 101) / 100.0f);
    start = Clock::now();
    FFMixed result;
    if (options.call == qov::FF_PROCESS_FRAME) {
      result = instance.processFrame(frame.data());
    } else if (options.call == qov::FF_PROCESS_FRAME_COPY) {
      result = instance.processFrameCopy({frame.data()}, output.data());
    } else {
      frameSet.input(0).data = frame.data();
      result = instance.processFrameMulti(frameSet.get());
    }
    frameTimes.push_back(milliseconds(Clock::now() - start));
    if (qov::host::failed(result)) ++failures;
    if (n == 0) {
      heapAfterFirst = heapKiB();
      residentAfterFirst = residentKiB();
    }
  }
  const double total = [&] {
    double sum = 0;
    for (double t : frameTimes) sum += t;
    return sum;
  }();
  std::sort(frameTimes.begin(), frameTimes.end());
  std::sort(copyTimes.begin(), copyTimes.end());
  const double copy50 = percentile(copyTimes, 0.5);
  std::printf("%-15s %6d %8.3f %8.3f %8.3f %8.3f %8.3f %8.3f %7.1f %9zd %9zd %s\n", plugin.c_str(), options.frames,
              total / options.frames, percentile(frameTimes, 0.5), percentile(frameTimes, 0.99),
              percentile(frameTimes, 0.999), frameTimes.back(), copy50, percentile(frameTimes, 0.5) / copy50,
              static_cast<std::ptrdiff_t>(heapKiB()) - static_cast<std::ptrdiff_t>(heapAfterFirst),
              static_cast<std::ptrdiff_t>(residentKiB()) - static_cast<std::ptrdiff_t>(residentAfterFirst),
              failures == 0 ? "" : "FAILED FRAMES");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse(argc, argv);
  std::printf("1920x1080, %d-bit, function code %u; times in ms; ratio = p50 / memcpy p50; "
              "memory growth after the first frame in KiB\n",
              options.depth == qov::FF_DEPTH_32 ? 32 : 24, options.call);
  std::printf("%-15s %6s %8s %8s %8s %8s %8s %8s %7s %9s %9s\n", "plug-in", "frames", "mean", "p50", "p99", "p99.9",
              "max", "memcpy", "ratio", "heap", "rss");
  for (const char* plugin : kPlugins)
    if (options.plugin.empty() || options.plugin == plugin) soak(plugin, options);
  return 0;
}
