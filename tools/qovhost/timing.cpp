// Order statistics of frame times.
#include "tools/qovhost/timing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace qov::qovhost {
namespace {

constexpr double kLowPercentile = 5.0;
constexpr double kHighPercentile = 95.0;
constexpr double kMillisecond = 1e-3;
constexpr double kPerMillisecond = 1e3;
constexpr double kPerMicrosecond = 1e6;

// The smallest value with at least `percent` of all values at or below it.
double nearestRank(const std::vector<double>& sorted, double percent) {
  const double rank = std::ceil(percent / 100.0 * static_cast<double>(sorted.size()));
  const std::size_t index = rank < 1.0 ? 0 : static_cast<std::size_t>(rank) - 1;
  return sorted[std::min(index, sorted.size() - 1)];
}

}  // namespace

TimingSummary summarize(std::vector<double> seconds) {
  std::sort(seconds.begin(), seconds.end());
  TimingSummary summary;
  summary.frames = seconds.size();
  const std::size_t middle = seconds.size() / 2;
  summary.median = seconds.size() % 2 == 1 ? seconds[middle] : (seconds[middle - 1] + seconds[middle]) / 2;
  summary.percentile5 = nearestRank(seconds, kLowPercentile);
  summary.percentile95 = nearestRank(seconds, kHighPercentile);
  summary.total = std::accumulate(seconds.begin(), seconds.end(), 0.0);
  return summary;
}

std::string formatDuration(double seconds) {
  char text[32];
  if (seconds < kMillisecond)
    std::snprintf(text, sizeof text, "%.1f us", seconds * kPerMicrosecond);
  else
    std::snprintf(text, sizeof text, "%.2f ms", seconds * kPerMillisecond);
  return text;
}

}  // namespace qov::qovhost
