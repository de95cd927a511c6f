// Instance lifetime, the parameter store and the slots of the frame set.
#include "framework/instance.h"

#include <climits>
#include <cstring>
#include <new>

#include "framework/aligned_memory.h"
#include "framework/frame_size.h"
#include "framework/plugin_definition.h"
#include "effects/parallel/chunking.h"
#include "framework/worker_threads.h"

namespace qov {
namespace {

inline constexpr uint32_t kWorkBytesPerPixel = 4;

// width * height * bytesPerPixel, or 0 with `ok` false when it does not fit. The effects
// index frames with int, so every size must fit int32 as well as size_t.
std::size_t checkedFrameBytes(uint32_t width, uint32_t height, uint32_t bytesPerPixel, bool& ok) {
  constexpr uint64_t kLimit = uint64_t{INT_MAX} < uint64_t{SIZE_MAX} ? uint64_t{INT_MAX} : uint64_t{SIZE_MAX};
  ok = frameBytesFit(width, height, bytesPerPixel, kLimit);
  return ok ? static_cast<std::size_t>(width) * height * bytesPerPixel : 0;
}

void releaseWorkFrames(PlugObj& obj) {
  alignedFree(obj.fWorkFrame);
  obj.fWorkFrame = nullptr;
  alignedFree(obj.fScratchFrame);
  obj.fScratchFrame = nullptr;
}

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

  bool fits = false;
  obj->frameBytes_ = checkedFrameBytes(videoInfo.frameWidth, videoInfo.frameHeight, obj->bytesPerPixel(), fits);
  bool workFits = false;
  const std::size_t workBytes =
      checkedFrameBytes(videoInfo.frameWidth, videoInfo.frameHeight, kWorkBytesPerPixel, workFits);
  if (!fits || !workFits) {
    delete obj;
    return nullptr;
  }
  obj->pixelCount_ = static_cast<std::size_t>(videoInfo.frameWidth) * videoInfo.frameHeight;

  if (kPluginDefinition.needsWorkFrames) {
    obj->fWorkFrame = alignedAlloc(workBytes);
    obj->fScratchFrame = alignedAlloc(workBytes);
    if (obj->fWorkFrame == nullptr || obj->fScratchFrame == nullptr) {
      releaseWorkFrames(*obj);
      delete obj;
      return nullptr;
    }
    std::memset(obj->fWorkFrame, 0, workBytes);
    std::memset(obj->fScratchFrame, 0, workBytes);
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
  obj->fMultiReady = true;
  // Frames too small to be split never use the library's worker threads.
  if (parallel::framesCanSplit(obj->pixelCount_)) {
    obj->fCountedByWorkers = true;
    obj->fPool = acquireWorkerThreads();
  }
  return obj;
}

void deInstantiate(PlugObj* obj) {
  alignedFree(obj->fWorkFrame);
  obj->fWorkFrame = nullptr;
  if (obj->fMultiReady && obj->fMulti != nullptr) {
    // A frame set handed over through code 16 belongs to the host: release only our own.
    obj->restoreOwnFrameSet();
    for (ImageSlot& slot : obj->ownSlots) emptySlot(slot);
    obj->fMulti = nullptr;
  }
  obj->fMultiReady = false;
  alignedFree(obj->fScratchFrame);
  obj->fScratchFrame = nullptr;
  alignedFree(obj->fInputCopy);
  obj->fInputCopy = nullptr;
  const bool counted = obj->fCountedByWorkers;
  delete obj;
  if (counted) releaseWorkerThreads();
}

}  // namespace qov
