// The parameter store of a frei0r instance, its frame call, and the frame sizes the
// plug-ins accept.
#include "frei0r/instance.h"

#include <climits>

#include "framework/frame_size.h"
#include "effects/parallel/chunking.h"
#include "effects/parallel/worker_pool.h"
#include "framework/worker_threads.h"

namespace qov::frei0r {
namespace {

// frei0r maps [0, 0.5) to false and [0.5, 1] to true.
inline constexpr double kBoolTrueFrom = 0.5;
// What the effects read for a switch: both lie clearly on their side of the effects' own
// switch rule.
inline constexpr float kSwitchOn = 1.0f;
inline constexpr float kSwitchOff = 0.0f;
inline constexpr uint32_t kBytesPerPixel = 4;

bool isSwitch(int index) { return kPluginDescription.parameters[index].kind == parameters::Kind::kSwitch; }

}  // namespace

// A switch keeps its default as the effect reads it (0.9 is on).
Instance::Instance(int width, int height) : width_(width), height_(height) {
  for (int i = 0; i < kPluginDescription.numParameters; ++i) {
    const float value = kPluginDescription.parameters[i].defaultValue;
    values_[i] = isSwitch(i) ? (parameters::switchOn(value) ? kSwitchOn : kSwitchOff) : value;
  }
}

void Instance::setParameter(int index, double value) {
  if (isSwitch(index)) {
    values_[index] = value >= kBoolTrueFrom ? kSwitchOn : kSwitchOff;
    return;
  }
  // Clamped as the FreeFrame plug-ins clamp theirs (NaN kept), before the conversion, which
  // keeps every double in float range.
  values_[index] = static_cast<float>(parameters::clampToUnit(value));
}

double Instance::parameter(int index) const { return values_[index]; }

void Instance::updateFrame(const uint8_t* first, const uint8_t* second, uint8_t* output) {
  const parallel::FrameScope frame(pool_, parallel::frameChunks(std::size_t(width_) * std::size_t(height_)));
  update(first, second, output);
}

void Instance::useWorkerThreads() {
  if (countedByWorkers_ || !parallel::framesCanSplit(std::size_t(width_) * std::size_t(height_))) return;
  countedByWorkers_ = true;
  pool_ = acquireWorkerThreads();
}

bool acceptableFrameSize(unsigned width, unsigned height) {
  if (width == 0 || height == 0) return false;
  return frameBytesFit(width, height, kBytesPerPixel, uint64_t{INT_MAX});
}

}  // namespace qov::frei0r
