// The library's worker threads, the reference the library holds to itself meanwhile, and
// what becomes of both in the child of a fork.
#include "framework/worker_threads.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <new>

#include "framework/cpu_count.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <pthread.h>
#endif

namespace qov {
namespace {

// More would only add threads that wait for memory.
constexpr unsigned long kMaxThreads = 64;
constexpr int kDecimal = 10;

// Plain globals with trivial destructors: nothing runs when the library is unloaded or
// the process exits, also when instances (and their threads) were never destroyed.
std::mutex gMutex;
unsigned long gUsers = 0;                   // guarded by gMutex
parallel::WorkerPool* gPool = nullptr;      // guarded by gMutex
void* gLibraryReference = nullptr;          // guarded by gMutex

// A reference to the library (or program) that contains this code, or null.
void* referenceOwnLibrary() {
#if defined(_WIN32)
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCSTR>(reinterpret_cast<void*>(&acquireWorkerThreads)), &module))
    return nullptr;
  return reinterpret_cast<void*>(module);
#else
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&acquireWorkerThreads), &info) == 0 || info.dli_fname == nullptr)
    return nullptr;
  // Already loaded, so this only counts one more reference. A program (the code linked
  // into an executable) is not found by its name and needs no reference.
  return dlopen(info.dli_fname, RTLD_NOLOAD | RTLD_LAZY);
#endif
}

void dropOwnLibrary(void* reference) {
  if (reference == nullptr) return;
#if defined(_WIN32)
  FreeLibrary(reinterpret_cast<HMODULE>(reference));
#else
  dlclose(reference);
#endif
}

#if !defined(_WIN32)
// The forking thread holds gMutex across the fork, so the child's copy is in a known state
// (no other thread of the parent can be halfway through starting or joining the workers).
void beforeFork() { gMutex.lock(); }
void inParentAfterFork() { gMutex.unlock(); }
void inChildAfterFork() {
  // The child's only thread is the copy of the one that locked it.
  gMutex.unlock();
  if (gPool == nullptr) return;
  // Instances the child inherited keep this pool, which now runs their loops on the calling
  // thread; the child's next new instance starts workers of its own.
  gPool->abandonAfterFork();
  gPool = nullptr;
}

// Once per loaded copy of the library, before its first workers start: the C library drops
// the handlers again when the library is unloaded.
bool gForkHandlersRegistered = false;  // guarded by gMutex
void registerForkHandlers() {
  if (gForkHandlersRegistered) return;
  gForkHandlersRegistered = pthread_atfork(beforeFork, inParentAfterFork, inChildAfterFork) == 0;
}
#else
void registerForkHandlers() {}
#endif

}  // namespace

unsigned workerThreadsWanted() {
  unsigned long threads = usableCpuCount();
  if (const char* text = std::getenv("QOV_THREADS")) {
    char* end = nullptr;
    errno = 0;
    const unsigned long cap = std::strtoul(text, &end, kDecimal);
    // Anything but a positive number is ignored.
    if (end != text && *end == '\0' && errno == 0 && cap > 0 && text[0] != '-' && cap < threads) threads = cap;
  }
  return static_cast<unsigned>(threads < kMaxThreads ? threads : kMaxThreads);
}

parallel::WorkerPool* acquireWorkerThreads() {
  std::lock_guard<std::mutex> lock(gMutex);
  ++gUsers;
  if (gPool != nullptr) return gPool;
  const unsigned threads = workerThreadsWanted();
  if (threads <= 1) return nullptr;
  // Before the first worker can run, so that no thread of this library is ever without it.
  if (gLibraryReference == nullptr) gLibraryReference = referenceOwnLibrary();
  registerForkHandlers();
  gPool = new (std::nothrow) parallel::WorkerPool(threads, /*stepAside=*/true);
  if (gPool != nullptr && gPool->threads() <= 1) {
    delete gPool;  // no thread could be started
    gPool = nullptr;
  }
  return gPool;
}

void releaseWorkerThreads() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (gUsers == 0 || --gUsers != 0) return;
  delete gPool;  // joins the workers
  gPool = nullptr;
  // The workers are gone: the library may be unmapped as soon as the host lets it go. (The
  // host still holds its own reference: it is calling into the library.)
  dropOwnLibrary(gLibraryReference);
  gLibraryReference = nullptr;
}

}  // namespace qov
