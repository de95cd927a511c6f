// A frei0r plug-in instance: the frame size, the parameter store and the effect behind
// f0r_update and f0r_update2. One instance serves one stream; instances share nothing
// writable, so different instances may run on different threads at the same time. One
// instance may also be updated from several threads at once (MLT's slice threads), each
// call with frames of its own: each gets what it would alone. Parameters are set between
// frames, not while one runs.
#pragma once

#include <cstdint>

#include "frei0r/plugin_description.h"

namespace qov::parallel {
class WorkerPool;
}

namespace qov::frei0r {

class Instance {
 public:
  virtual ~Instance() = default;
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  // Stores a host value the way the FreeFrame plug-ins see theirs at a frame call: a double
  // is clamped to [0, 1] (NaN is kept, and the effects read it as off / zero) and kept as a
  // float; a switch is stored as 1.0f or 0.0f, on from 0.5 up as frei0r defines booleans.
  void setParameter(int index, double value);
  // The stored value as the host reads it back.
  double parameter(int index) const;

  // One frame: `second` is the second input of a two-input plug-in (filters get null).
  // Frames are width x height pixels of four bytes, blue first; `output` may be `first`.
  // Safe to call from several threads at once with different frames.
  virtual void update(const uint8_t* first, const uint8_t* second, uint8_t* output) = 0;
  // update as a host's call runs it: with the worker threads woken at its start and awake
  // between its passes.
  void updateFrame(const uint8_t* first, const uint8_t* second, uint8_t* output);

  int width() const { return width_; }
  int height() const { return height_; }
  // Counts the instance as a user of the library's worker threads when its frames are large
  // enough to be split (f0r_construct); f0r_destruct releases them if so.
  void useWorkerThreads();
  bool countedByWorkerThreads() const { return countedByWorkers_; }

 protected:
  Instance(int width, int height);
  parallel::WorkerPool* pool() const { return pool_; }
  // All stored values in parameter index order, for the effect's settings.
  const float* values() const { return values_; }

 private:
  int width_;
  int height_;
  parallel::WorkerPool* pool_ = nullptr;  // null: the calling thread alone
  bool countedByWorkers_ = false;
  float values_[kMaxParameters] = {};
};

// True when a frame of width x height four-byte pixels can be served: both at least 1 and
// the frame's bytes fit an int, as the effects index frames with int.
bool acceptableFrameSize(unsigned width, unsigned height);

}  // namespace qov::frei0r
