// The instance record: one per video stream, created by instantiate and released by
// deInstantiate. Its address is the instance identifier the host passes back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/boundary.h"
#include "framework/plugin_effect.h"

namespace qov::parallel {
class WorkerPool;
}

namespace qov {

// The widest pixel an effect may read or keep at the instance's size, even at 24 bits (a
// second input of four bytes per pixel, an effect's working images, copies of the inputs):
// instantiate refuses a size at which it does not fit, so that no effect checks it again.
inline constexpr uint32_t kWidestPixelBytes = 4;

struct ParamState {
  float value;
  char displayText[kNameSize];
};

struct PlugObj {
  bool fMultiReady = false;
  Qov_Multi* fMulti = nullptr;
  ParamState fParams[kMaxParameters] = {};
  VideoInfo fVideoInfo = {};
  // The plug-in's effect for this instance, with whatever it keeps from frame to frame.
  PluginEffect* fEffect = nullptr;
  // Copies of the inputs, made only when the effect cannot read a host's input as given
  // (see BufferSharing): the input of codes 3 and 14, or inputs 0 and 1 of a frame set whose
  // output shares their memory; each allocated at the first such frame, for the widest
  // pixel.
  static constexpr uint32_t kCopiedInputs = 2;
  uint8_t* fInputCopies[kCopiedInputs] = {};
  // The library's worker threads, shared with every other instance (null: the calling
  // thread alone). The effects only read the pool; nothing in it belongs to an instance.
  parallel::WorkerPool* fPool = nullptr;
  bool fCountedByWorkers = false;  // one of the users the worker threads are kept for

  // Frame calls (function codes 3, 14 and 16). Each returns 0 or -1.
  int processFrame(void* pFrameData);
  int processFrameCopy(const ProcessFrameCopyRecord& record);
  int processFrameMulti(Qov_Multi* pFrameData);

  uint32_t numParameters() const;
  // Bytes per pixel of the instance's frames: 4 at 32 bits, 3 at 24 bits.
  uint32_t bytesPerPixel() const { return fVideoInfo.bitDepth == 2 ? 4u : 3u; }
  // Size of one host frame in bytes; fits both size_t and int32_t (checked at instantiate).
  std::size_t frameBytes() const { return frameBytes_; }
  std::size_t pixelCount() const { return pixelCount_; }

  // The instance's own frame-set record and its 32 slot records. Codes 3 and 14 point
  // slot 0 of each list at the host's frames for the length of the call, so the slots
  // never own pixel memory. A frame set that a host passes through code 16 is copied into
  // `fMulti` (counts and slot pointers); the instance points `fMulti` back at its own
  // slots before it uses or releases any.
  Qov_Multi ownMulti = {};
  ImageSlot ownSlots[2 * kMaxSlots] = {};
  std::size_t frameBytes_ = 0;
  std::size_t pixelCount_ = 0;

  void restoreOwnFrameSet();
  void clampParameters();
  // Runs the effect from `input` into `output` (host frames of the instance's format)
  // through the instance's own frame set.
  int processHostFrames(const uint8_t* input, uint8_t* output);
  // `bytes` of `input` copied into fInputCopies[index], or null when no memory could be had.
  uint8_t* inputCopy(uint32_t index, const uint8_t* input, std::size_t bytes);
  // The frame set the effect is to read: the call's own, or, when the effect cannot read an
  // input as given (its memory shared with output 0), `separated` with that input pointed
  // at a copy in `copiedSlots`; null when there is no memory for a copy.
  const Qov_Multi* inputsApartFromOutput(const FrameCall& call, Qov_Multi& separated,
                                         ImageSlot (&copiedSlots)[kCopiedInputs]);
};

// Creates an instance for the given frame format and registers it as alive, or returns
// null: unsupported depth, a frame whose size in bytes does not fit, memory that cannot be
// had, or too many instances alive.
PlugObj* instantiate(const VideoInfo& videoInfo);
// Releases an instance that has been unregistered.
void deInstantiate(PlugObj* obj);

// Empties a slot of the instance's own frame set (instantiate, deInstantiate).
void emptySlot(ImageSlot& slot);

}  // namespace qov
