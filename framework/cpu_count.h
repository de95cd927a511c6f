// How many CPUs this process may run on: the CPUs of its affinity mask (what `taskset`, a
// container's cpuset or Windows' SetProcessAffinityMask leave it), fewer where a limit on
// CPU time (a Linux cgroup's quota, a Windows job object's hard cap) allows less than those
// CPUs' worth, and at least 1. The machine's own count of hardware threads ignores both.
#pragma once

namespace qov {

// Read when called (at most once per start of the worker threads): it looks at system
// files or calls, never at the environment.
unsigned usableCpuCount();

// The CPUs' worth of time a CPU-time quota allows per period, rounded up (1.5 CPUs' worth
// is 2 CPUs, each busy three quarters of the time); 0 for no limit (a quota of 0 or less,
// or a period of 0 or less).
unsigned cpusForQuota(long long quota, long long period);

// The limit in a cgroup v2 `cpu.max` file ("max 100000", "150000 100000"): as
// cpusForQuota, 0 for none or for text that does not parse.
unsigned cpusForCgroupCpuMax(const char* text);

}  // namespace qov
