// An element's share of the library's worker threads: the element counts as a user while it
// processes frames large enough to be split among threads, like an instance of the other
// editions. Trivial, so that it lives in an element's instance (which GObject zero-fills).
#pragma once

#include <cstddef>

#include "effects/parallel/worker_pool.h"

namespace qov::gst {

class ElementThreads {
 public:
  // Counts the element once frames of `pixels` can be split; called when the frame size is
  // negotiated, on the streaming thread.
  void useFor(std::size_t pixels);
  // Stops counting the element (when it stops streaming, or is finalized).
  void release();
  // The pool to run a frame on, or null: the streaming thread alone.
  parallel::WorkerPool* pool() const { return pool_; }

 private:
  parallel::WorkerPool* pool_;
  bool counted_;
};

}  // namespace qov::gst
