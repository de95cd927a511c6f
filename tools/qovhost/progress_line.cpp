// Progress reporting, throttled so that it never costs noticeable time.
#include "tools/qovhost/progress_line.h"

#include <cstdio>

namespace qov::qovhost {
namespace {

constexpr std::chrono::milliseconds kInterval(500);

}  // namespace

ProgressLine::ProgressLine(bool enabled) : enabled_(enabled) {}

void ProgressLine::frameDone() {
  ++frames_;
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now - lastPrint_ < kInterval) return;
  lastPrint_ = now;
  print("");
}

void ProgressLine::finish() {
  if (enabled_) print("\n");
}

void ProgressLine::print(const char* end) {
  const double elapsed = secondsSince(start_);
  const double rate = elapsed > 0 ? static_cast<double>(frames_) / elapsed : 0.0;
  std::fprintf(stderr, "\rqovhost: %llu frames, %.1f frames/s%s", static_cast<unsigned long long>(frames_), rate,
               end);
  std::fflush(stderr);
}

}  // namespace qov::qovhost
