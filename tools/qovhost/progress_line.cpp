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
  // The first frame shows at once that frames flow; then twice a second.
  if (frames_ > 1 && now - lastPrint_ < kInterval) return;
  lastPrint_ = now;
  print("");
}

void ProgressLine::finish() {
  if (enabled_) print("\n");
}

void ProgressLine::print(const char* end) {
  const double elapsed = secondsSince(start_);
  const double rate = elapsed > 0 ? static_cast<double>(frames_) / elapsed : 0.0;
  std::fprintf(stderr, "\rqovhost: %llu %s, %.1f frames/s%s", static_cast<unsigned long long>(frames_),
               frames_ == 1 ? "frame" : "frames", rate, end);
  std::fflush(stderr);
}

}  // namespace qov::qovhost
