// The CPUs this process may use: the affinity mask, then the CPU-time limits (cgroups on
// Linux, a job object's hard cap on Windows). Plain system calls and fixed buffers: nothing
// here allocates through the C++ runtime or throws.
#include "framework/cpu_count.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#elif defined(__linux__)
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>
#endif

namespace qov {
namespace {

constexpr int kDecimal = 10;

// The tighter of two limits, 0 meaning none.
unsigned tighter(unsigned a, unsigned b) {
  if (a == 0) return b;
  if (b == 0) return a;
  return a < b ? a : b;
}

#if defined(__linux__)

constexpr std::size_t kPathBytes = 4096;
constexpr std::size_t kLimitFileBytes = 128;    // cpu.max, cpu.cfs_quota_us, cpu.cfs_period_us
constexpr std::size_t kCgroupListBytes = 8192;  // /proc/self/cgroup
// sched_getaffinity wants a mask at least as large as the kernel's: start at glibc's usual
// size and double up to machines far larger than any there is.
constexpr int kFirstMaskCpus = 1024;
constexpr int kLargestMaskCpus = 1 << 20;
// Where systemd and container runtimes mount the unified (v2) hierarchy and v1's cpu
// controller.
constexpr const char* kUnifiedMount = "/sys/fs/cgroup";
constexpr const char* kCpuControllerMount = "/sys/fs/cgroup/cpu";

// The file's text, NUL-terminated, or false when it cannot be read.
bool readFile(const char* path, char* text, std::size_t size) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t length = 0;
  while (length + 1 < size) {
    const ssize_t got = ::read(fd, text + length, size - 1 - length);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    length += static_cast<std::size_t>(got);
  }
  ::close(fd);
  text[length] = '\0';
  return length > 0;
}

unsigned affinityCpuCount() {
  for (int cpus = kFirstMaskCpus; cpus <= kLargestMaskCpus; cpus *= 2) {
    cpu_set_t* set = CPU_ALLOC(cpus);
    if (set == nullptr) return 0;
    const std::size_t size = CPU_ALLOC_SIZE(cpus);
    const int result = sched_getaffinity(0, size, set);
    const bool maskTooSmall = result != 0 && errno == EINVAL;
    const int count = result == 0 ? CPU_COUNT_S(size, set) : 0;
    CPU_FREE(set);
    if (!maskTooSmall) return count > 0 ? static_cast<unsigned>(count) : 0;
  }
  return 0;
}

bool readNumber(const char* path, long long& number) {
  char text[kLimitFileBytes];
  if (!readFile(path, text, sizeof text)) return false;
  char* end = nullptr;
  errno = 0;
  number = std::strtoll(text, &end, kDecimal);
  return end != text && errno == 0;
}

// The limit set in one cgroup directory, 0 for none.
unsigned limitIn(const char* directory, bool unified) {
  char path[kPathBytes];
  if (unified) {
    char text[kLimitFileBytes];
    const int length = std::snprintf(path, sizeof path, "%s/cpu.max", directory);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof path) return 0;
    return readFile(path, text, sizeof text) ? cpusForCgroupCpuMax(text) : 0;
  }
  long long quota = 0;
  long long period = 0;
  int length = std::snprintf(path, sizeof path, "%s/cpu.cfs_quota_us", directory);
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof path || !readNumber(path, quota)) return 0;
  length = std::snprintf(path, sizeof path, "%s/cpu.cfs_period_us", directory);
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof path || !readNumber(path, period)) return 0;
  return cpusForQuota(quota, period);
}

// A limit on any cgroup from the process's own up to the mount point binds it, so the
// walk goes all the way up. The process's path names the cgroup as the whole system sees
// it, while a container may have only its own cgroup mounted, at the mount point: the walk
// up meets that too.
unsigned limitAlongPath(const char* mount, const char* cgroupPath, bool unified) {
  char directory[kPathBytes];
  const int written = std::snprintf(directory, sizeof directory, "%s%s", mount, cgroupPath);
  if (written < 0 || static_cast<std::size_t>(written) >= sizeof directory) return 0;
  const std::size_t mountLength = std::strlen(mount);
  unsigned limit = 0;
  for (;;) {
    std::size_t length = std::strlen(directory);
    while (length > mountLength && directory[length - 1] == '/') directory[--length] = '\0';
    limit = tighter(limit, limitIn(directory, unified));
    if (length <= mountLength) break;
    char* slash = std::strrchr(directory, '/');
    if (slash == nullptr || slash < directory + mountLength) break;
    *slash = '\0';
  }
  return limit;
}

// Whether a comma-separated controller list of /proc/self/cgroup names `controller`.
bool listsController(const char* list, const char* controller) {
  const std::size_t length = std::strlen(controller);
  for (const char* name = list; name != nullptr; name = std::strchr(name, ',')) {
    if (*name == ',') ++name;
    if (std::strncmp(name, controller, length) == 0 && (name[length] == ',' || name[length] == '\0')) return true;
  }
  return false;
}

unsigned cgroupCpuLimit() {
  char list[kCgroupListBytes];
  if (!readFile("/proc/self/cgroup", list, sizeof list)) return 0;
  unsigned limit = 0;
  char* line = list;
  while (*line != '\0') {
    char* end = std::strchr(line, '\n');
    if (end != nullptr) *end = '\0';
    // "hierarchy:controllers:path"; the unified hierarchy has no controller list.
    char* first = std::strchr(line, ':');
    char* second = first != nullptr ? std::strchr(first + 1, ':') : nullptr;
    if (second != nullptr) {
      *second = '\0';
      const char* controllers = first + 1;
      const char* path = second + 1;
      if (*controllers == '\0')
        limit = tighter(limit, limitAlongPath(kUnifiedMount, path, true));
      else if (listsController(controllers, "cpu"))
        limit = tighter(limit, limitAlongPath(kCpuControllerMount, path, false));
    }
    if (end == nullptr) break;
    line = end + 1;
  }
  return limit;
}

#elif defined(_WIN32)

// Not in every SDK's headers: the rate is then two 16-bit limits, not one CpuRate.
constexpr DWORD kJobCpuRateMinMax = 0x10;
// A job's CpuRate counts hundredths of a percent of all the machine's processors.
constexpr long long kJobCpuRateWhole = 10000;

unsigned affinityCpuCount() {
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask)) return 0;
  // Both masks are 0 when the process has threads in several processor groups.
  if (processMask == 0) return GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  unsigned count = 0;
  for (; processMask != 0; processMask &= processMask - 1) ++count;
  return count;
}

unsigned jobCpuLimit() {
  JOBOBJECT_CPU_RATE_CONTROL_INFORMATION rate{};
  if (!QueryInformationJobObject(nullptr, JobObjectCpuRateControlInformation, &rate, sizeof rate, nullptr))
    return 0;
  const DWORD flags = rate.ControlFlags;
  if (!(flags & JOB_OBJECT_CPU_RATE_CONTROL_ENABLE) || !(flags & JOB_OBJECT_CPU_RATE_CONTROL_HARD_CAP) ||
      (flags & (JOB_OBJECT_CPU_RATE_CONTROL_WEIGHT_BASED | kJobCpuRateMinMax)))
    return 0;
  const long long processors = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return cpusForQuota(static_cast<long long>(rate.CpuRate) * processors, kJobCpuRateWhole);
}

#endif

}  // namespace

unsigned cpusForQuota(long long quota, long long period) {
  if (quota <= 0 || period <= 0) return 0;
  const long long cpus = quota / period + (quota % period != 0 ? 1 : 0);
  return cpus > UINT_MAX ? UINT_MAX : static_cast<unsigned>(cpus);
}

unsigned cpusForCgroupCpuMax(const char* text) {
  char* end = nullptr;
  errno = 0;
  const long long quota = std::strtoll(text, &end, kDecimal);
  if (end == text || errno != 0) return 0;  // "max", or no number
  const char* periodText = end;
  const long long period = std::strtoll(periodText, &end, kDecimal);
  if (end == periodText || errno != 0) return 0;
  return cpusForQuota(quota, period);
}

unsigned usableCpuCount() {
  unsigned cpus = 0;
  unsigned limit = 0;
#if defined(__linux__)
  cpus = affinityCpuCount();
  limit = cgroupCpuLimit();
#elif defined(_WIN32)
  cpus = affinityCpuCount();
  limit = jobCpuLimit();
#endif
  if (cpus == 0) cpus = std::thread::hardware_concurrency();
  cpus = tighter(cpus, limit);
  return cpus == 0 ? 1 : cpus;
}

}  // namespace qov
