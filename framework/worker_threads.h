// The library's worker threads, shared by the instances whose frames are large enough to
// be split (parallel::framesCanSplit): started when the first of them is created while
// none exist, joined when the last one is destroyed.
//
// The number of threads taking part in a loop (the calling thread included) is the
// machine's count of hardware threads, capped by the environment variable QOV_THREADS
// (a positive number) as it reads when the threads are started. With 1, no thread is
// started and every loop runs on the calling thread.
//
// While the workers exist the library holds a reference to itself, so that a host that
// unloads it without destroying its instances does not unmap the code those blocked
// threads would return into; the reference is dropped once the workers are joined.
#pragma once

#include "effects/parallel/worker_pool.h"

namespace qov {

// Counts one more user (an instance) and returns the pool, or null when loops run on the
// calling thread. Never fails: without threads, the effects simply run serially.
parallel::WorkerPool* acquireWorkerThreads();

// Counts one user less; the last one joins the workers. Not to be called from a worker.
void releaseWorkerThreads();

// Threads a loop would take part with, if the pool were started now.
unsigned workerThreadsWanted();

}  // namespace qov
