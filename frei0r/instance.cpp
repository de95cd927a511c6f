// The parameter store of a frei0r instance and the frame sizes the plug-ins accept.
#include "frei0r/instance.h"

#include "frei0r/frei0r_api.h"

#include <climits>

#include "framework/frame_size.h"
#include "effects/parallel/chunking.h"
#include "framework/worker_threads.h"

namespace qov::frei0r {
namespace {

inline constexpr double kMinValue = 0.0;
inline constexpr double kMaxValue = 1.0;
// frei0r maps [0, 0.5) to false and [0.5, 1] to true.
inline constexpr double kBoolTrueFrom = 0.5;
// What the effects read for a switch: both lie clearly on their side of the effects' own
// "above one half" rule.
inline constexpr float kSwitchOn = 1.0f;
inline constexpr float kSwitchOff = 0.0f;
inline constexpr uint32_t kBytesPerPixel = 4;

}  // namespace

Instance::Instance(int width, int height) : width_(width), height_(height) {
  for (int i = 0; i < kPluginDescription.numParameters; ++i)
    values_[i] = kPluginDescription.parameters[i].defaultValue;
}

void Instance::setParameter(int index, double value) {
  if (kPluginDescription.parameters[index].type == F0R_PARAM_BOOL) {
    values_[index] = value >= kBoolTrueFrom ? kSwitchOn : kSwitchOff;
    return;
  }
  // Written so that NaN passes unchanged, as it does in the FreeFrame plug-ins' clamping.
  // Clamping before the conversion keeps every double in float range.
  if (value > kMaxValue) value = kMaxValue;
  else if (value < kMinValue) value = kMinValue;
  values_[index] = static_cast<float>(value);
}

double Instance::parameter(int index) const { return values_[index]; }

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
