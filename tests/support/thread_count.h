// The number of threads the test process has right now: /proc/self/task on Linux, a
// Toolhelp32 snapshot on Windows. Used to check that worker threads are started and joined
// when they should be; and the number of CPUs the process's affinity mask allows, which
// bounds how many a library starts.
#pragma once

#include <chrono>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#include <tlhelp32.h>
#else
#include <dirent.h>
#include <sched.h>
#endif

namespace qov::test {

inline int processThreadCount() {
  int count = 0;
#if defined(_WIN32)
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry;
  entry.dwSize = sizeof entry;
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == self) ++count;
  CloseHandle(snapshot);
#else
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return -1;
  while (const dirent* entry = readdir(tasks))
    if (entry->d_name[0] != '.') ++count;
  closedir(tasks);
#endif
  return count;
}

// CPUs in the process's affinity mask (1 when it cannot be read). The libraries also heed
// a cgroup's or job object's CPU-time limit, which the tests' machines do not set.
inline int affinityCpus() {
#if defined(_WIN32)
  DWORD_PTR process = 0, system = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0) return 1;
  int count = 0;
  for (; process != 0; process &= process - 1) ++count;
  return count;
#else
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return CPU_COUNT(&set);
#endif
}

// Worker threads a library starts for QOV_THREADS=2: one where the process may use two CPUs.
inline int workersForTwoThreads() { return affinityCpus() >= 2 ? 1 : 0; }

// The thread count once it has come down to `expected`, or as it stands after two seconds:
// a thread that has been joined may still be listed for a moment while the system removes
// it. A thread that is never joined stays, and the count then differs.
inline int processThreadCountAfterJoin(int expected) {
  constexpr int kLooks = 400;
  constexpr auto kPause = std::chrono::milliseconds(5);
  int count = processThreadCount();
  for (int look = 0; look < kLooks && count != expected; ++look) {
    std::this_thread::sleep_for(kPause);
    count = processThreadCount();
  }
  return count;
}

}  // namespace qov::test
