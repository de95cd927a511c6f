// The library's worker threads, shared by the instances whose frames are large enough to
// be split (parallel::framesCanSplit): started when such an instance is created while
// there are none (the first one, or the next one after a start that failed), joined when
// the last one is destroyed.
//
// The number of threads taking part in a loop (the calling thread included) is the
// number of CPUs the process may use (usableCpuCount), capped by the environment variable
// QOV_THREADS (a positive number) as it reads when the threads are started. With 1, no
// thread is started and every loop runs on the calling thread.
//
// While the workers exist the library holds a reference to itself, so that a host that
// unloads it without destroying its instances does not unmap the code those blocked
// threads would return into; the reference is dropped once the last user is gone.
//
// fork: the child of a process whose workers run has none of them. In the child, the
// instances it inherited run their loops on the calling thread; the first instance the
// child creates starts workers of its own. The parent's workers are not touched.
#pragma once

#include "effects/parallel/worker_pool.h"

namespace qov {

// Counts one more user (an instance) and returns the pool, or null when loops run on the
// calling thread. Never fails and never throws: without threads, the effects simply run
// serially.
parallel::WorkerPool* acquireWorkerThreads();

// Counts one user less; the last one joins the workers. Not to be called from a worker.
void releaseWorkerThreads();

// Threads a loop would take part with, if the pool were started now.
unsigned workerThreadsWanted();

}  // namespace qov
