// The CPU-time limits by which the worker threads are counted: a quota allows its CPUs'
// worth of time, rounded up; "max", or the -1 by which cgroup v1 sets none, is no limit.
#include <gtest/gtest.h>

#include "framework/cpu_count.h"

namespace qov {
namespace {

TEST(CpuCount, QuotasRoundUpToWholeCpusAndNoLimitIsZero) {
  EXPECT_EQ(cpusForCgroupCpuMax("max 100000\n"), 0u);
  EXPECT_EQ(cpusForCgroupCpuMax("200000 100000\n"), 2u);
  EXPECT_EQ(cpusForCgroupCpuMax("150000 100000\n"), 2u);
  EXPECT_EQ(cpusForCgroupCpuMax("5000 100000\n"), 1u);
  EXPECT_EQ(cpusForCgroupCpuMax(""), 0u);
  EXPECT_EQ(cpusForCgroupCpuMax("200000"), 0u);
  EXPECT_EQ(cpusForQuota(-1, 100000), 0u);
  EXPECT_EQ(cpusForQuota(400000, 100000), 4u);
  EXPECT_EQ(cpusForQuota(100000, 0), 0u);
  EXPECT_GE(usableCpuCount(), 1u);
}

}  // namespace
}  // namespace qov
