// Counting an element as a user of the worker threads.
#include "gst/element_threads.h"

#include "effects/parallel/chunking.h"
#include "framework/worker_threads.h"

namespace qov::gst {

void ElementThreads::useFor(std::size_t pixels) {
  if (counted_ || !parallel::framesCanSplit(pixels)) return;
  counted_ = true;
  pool_ = acquireWorkerThreads();
}

void ElementThreads::release() {
  if (!counted_) return;
  counted_ = false;
  pool_ = nullptr;
  releaseWorkerThreads();
}

}  // namespace qov::gst
