// Instance lifetime, the parameter store and the slots of the frame set.
#include "framework/instance.h"

#include <climits>
#include <cstring>
#include <new>

#include "framework/aligned_memory.h"
#include "framework/plugin_definition.h"
#include "effects/parallel/chunking.h"
#include "framework/worker_threads.h"

namespace qov {
namespace {

inline constexpr uint32_t kWorkBytesPerPixel = 4;

// width * height * bytesPerPixel, or 0 with `ok` false when it does not fit. The effects
// index frames with int, so every size must fit int32 as well as size_t.
std::size_t checkedFrameBytes(uint32_t width, uint32_t height, uint32_t bytesPerPixel, bool& ok) {
  const uint64_t bytes = uint64_t{width} * uint64_t{height} * uint64_t{bytesPerPixel};
  ok = bytes <= uint64_t{INT_MAX} && bytes <= uint64_t{SIZE_MAX};
  return ok ? static_cast<std::size_t>(bytes) : 0;
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
    // Written so that NaN and -0.0 pass unchanged.
    if (value > 1.0f) value = 1.0f;
    else if (value < 0.0f) value = 0.0f;
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

void emptySlot(ImageSlot& slot) {
  slot.format = kFormatEmpty;
  if (slot.data != nullptr) {
    if (slot.data2 != slot.data) alignedFree(slot.data2);
    alignedFree(slot.data);
  } else {
    alignedFree(slot.data2);
  }
  slot.data = nullptr;
  slot.data2 = nullptr;
  slot.width = 0;
  slot.height = 0;
  slot.reserved1 = 0;
  slot.reserved2 = 0;
  slot.channels = 0;
}

bool fillSlot(ImageSlot& slot, const PlugObj& obj, const void* source) {
  const VideoInfo& info = obj.fVideoInfo;
  const uint32_t channels = obj.bytesPerPixel();
  const bool reusable = slot.data != nullptr && slot.width == info.frameWidth &&
                        slot.height == info.frameHeight && slot.channels == channels;
  if (!reusable) {
    emptySlot(slot);
    slot.data = alignedAlloc(obj.frameBytes());
    if (slot.data == nullptr) return false;
  }
  slot.channels = channels;
  slot.format = (channels == 3 || channels == 4) ? kFormatInterleaved8 : kFormatEmpty;
  slot.width = info.frameWidth;
  slot.height = info.frameHeight;
  std::memcpy(slot.data, source, obj.frameBytes());
  if (slot.data2 != nullptr && slot.data2 != slot.data) alignedFree(slot.data2);
  slot.data2 = nullptr;
  slot.reserved1 = 0;
  slot.reserved2 = 0;
  return true;
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
  const bool counted = obj->fCountedByWorkers;
  delete obj;
  if (counted) releaseWorkerThreads();
}

}  // namespace qov
