// Instance lifetime, the parameter store and the slots of the frame set.
#include "framework/instance.h"

#include <climits>
#include <new>

#include "effects/memory/aligned_memory.h"
#include "effects/parallel/chunking.h"
#include "framework/frame_size.h"
#include "framework/instance_registry.h"
#include "framework/plugin_definition.h"
#include "framework/plugin_effect.h"
#include "framework/worker_threads.h"

namespace qov {
namespace {

// The effects index frames with int, so every size must fit int32 as well as size_t.
constexpr uint64_t kFrameBytesLimit = uint64_t{INT_MAX} < uint64_t{SIZE_MAX} ? uint64_t{INT_MAX} : uint64_t{SIZE_MAX};

}  // namespace

uint32_t PlugObj::numParameters() const { return kPluginDefinition.numParameters; }

void PlugObj::clampParameters() {
  for (uint32_t i = 0; i < numParameters(); ++i) {
    float& value = fParams[i].value;
    value = parameters::clampToUnit(value);
  }
}

void PlugObj::restoreOwnFrameSet() {
  fMulti = &ownMulti;
  for (uint32_t i = 0; i < kMaxSlots; ++i) {
    ownMulti.inputs[i] = &ownSlots[i];
    ownMulti.outputs[i] = &ownSlots[kMaxSlots + i];
  }
  if (ownMulti.numInputs > kMaxSlots) ownMulti.numInputs = 0;
  if (ownMulti.numOutputs > kMaxSlots) ownMulti.numOutputs = 0;
}

// The instance's slots never own pixel memory (the frame calls lend them the host's
// frames for one call), so emptying one releases nothing.
void emptySlot(ImageSlot& slot) {
  slot.format = kFormatEmpty;
  slot.data = nullptr;
  slot.data2 = nullptr;
  slot.width = 0;
  slot.height = 0;
  slot.reserved1 = 0;
  slot.reserved2 = 0;
  slot.channels = 0;
}

PlugObj* instantiate(const VideoInfo& videoInfo) {
  if (videoInfo.bitDepth != FF_DEPTH_24 && videoInfo.bitDepth != FF_DEPTH_32) return nullptr;

  PlugObj* obj = new (std::nothrow) PlugObj;
  if (obj == nullptr) return nullptr;
  obj->fVideoInfo = videoInfo;
  obj->fMultiReady = false;

  // The widest pixel bounds every narrower one, the instance's frames included.
  if (!frameBytesFit(videoInfo.frameWidth, videoInfo.frameHeight, kWidestPixelBytes, kFrameBytesLimit)) {
    delete obj;
    return nullptr;
  }
  obj->frameBytes_ = static_cast<std::size_t>(videoInfo.frameWidth) * videoInfo.frameHeight * obj->bytesPerPixel();
  obj->pixelCount_ = static_cast<std::size_t>(videoInfo.frameWidth) * videoInfo.frameHeight;

  obj->fEffect = kPluginDefinition.createEffect(videoInfo);
  if (obj->fEffect == nullptr) {
    delete obj;
    return nullptr;
  }

  for (uint32_t i = 0; i < kPluginDefinition.numParameters; ++i)
    obj->fParams[i].value = kPluginDefinition.parameters[i].defaultValue;

  obj->ownMulti.numInputs = 0;
  obj->ownMulti.numOutputs = 0;
  for (ImageSlot& slot : obj->ownSlots) {
    slot = ImageSlot{};
    slot.format = kFormatEmpty;
  }
  obj->restoreOwnFrameSet();
  if (!registerInstance(obj)) {
    delete obj->fEffect;
    delete obj;
    return nullptr;
  }
  obj->fMultiReady = true;
  // Frames too small to be split never use the library's worker threads.
  if (parallel::framesCanSplit(obj->pixelCount_)) {
    obj->fCountedByWorkers = true;
    obj->fPool = acquireWorkerThreads();
  }
  return obj;
}

void deInstantiate(PlugObj* obj) {
  delete obj->fEffect;
  obj->fEffect = nullptr;
  if (obj->fMultiReady && obj->fMulti != nullptr) {
    // A frame set handed over through code 16 belongs to the host: release only our own.
    obj->restoreOwnFrameSet();
    for (ImageSlot& slot : obj->ownSlots) emptySlot(slot);
    obj->fMulti = nullptr;
  }
  obj->fMultiReady = false;
  for (uint8_t*& copy : obj->fInputCopies) {
    alignedFree(copy);
    copy = nullptr;
  }
  const bool counted = obj->fCountedByWorkers;
  delete obj;
  if (counted) releaseWorkerThreads();
}

}  // namespace qov
