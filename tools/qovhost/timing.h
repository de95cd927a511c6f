// Per-frame times and their summary: median, 5th and 95th percentile.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace qov::qovhost {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct TimingSummary {
  std::size_t frames = 0;
  double median = 0;        // seconds per frame
  double percentile5 = 0;   // nearest-rank percentiles
  double percentile95 = 0;
  double total = 0;         // seconds for all frames
};

// `seconds` holds one time per frame and must not be empty.
TimingSummary summarize(std::vector<double> seconds);

// "12.34 ms", or "56.7 us" below a millisecond.
std::string formatDuration(double seconds);

}  // namespace qov::qovhost
