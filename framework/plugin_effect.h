// The effect behind one instance of a plug-in: created with the instance, handed each
// frame once the framework's entry steps have passed, and released with the instance.
// What an effect needs per instance (working images, say) lives in the effect object;
// the instance record keeps only the host-interface state.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/parallel/chunking.h"
#include "effects/parallel/worker_pool.h"
#include "effects/parameters/parameter_schema.h"
#include "framework/boundary.h"

namespace qov {

// What a frame call returns on failure (FreeFrame's 0xFFFFFFFF at plugMain).
inline constexpr int kFailure = -1;

// The most parameters a plug-in may have (the parameter values an instance stores).
inline constexpr uint32_t kMaxParameters = parameters::kMaxParameters;

// One frame as the effect sees it. The frame set holds at least one input and one output
// with pixel memory in slot 0, both declaring the instance's size (or none) and the same
// channel count.
struct FrameCall {
  const Qov_Multi& frameSet;
  uint32_t width;
  uint32_t height;
  const float* parameters;     // clamped to [0, 1] (NaN kept), in the plug-in's table order
  parallel::WorkerPool* pool;  // the library's worker threads, or null: the calling thread alone

  // Whether a slot's width and height are the instance's, or both 0 (hosts that leave them
  // unset); any other size promises a buffer of a different size.
  bool declaresFrameSize(const ImageSlot& slot) const {
    return (slot.width == 0 && slot.height == 0) || (slot.width == width && slot.height == height);
  }

  // The frame's loops are about to run: the workers are woken now, while the effect
  // prepares, and stay up between its passes (parallel::FrameScope). An effect opens this
  // once it knows it has work, so that a frame it leaves as it is wakes no thread.
  parallel::FrameScope wakeWorkers() const {
    return parallel::FrameScope(pool, parallel::frameChunks(std::size_t{width} * height));
  }
};

class PluginEffect {
 public:
  virtual ~PluginEffect() = default;

  // The plug-in's own work of processFrameMulti. Returns 0 on success or -1 after showing
  // a message; an effect refuses before it writes anything, so that a refused frame is left
  // as the host gave it.
  virtual int processFrameMulti(const FrameCall& call) = 0;
};

}  // namespace qov
