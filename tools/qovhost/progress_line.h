// A one-line progress report on standard error, rewritten in place: frames so far and
// frames per second.
#pragma once

#include <cstdint>

#include "tools/qovhost/timing.h"

namespace qov::qovhost {

class ProgressLine {
 public:
  explicit ProgressLine(bool enabled);
  void frameDone();
  // Prints the final count and ends the line.
  void finish();

 private:
  void print(const char* end);

  bool enabled_;
  uint64_t frames_ = 0;
  Clock::time_point start_ = Clock::now();
  Clock::time_point lastPrint_ = start_;
};

}  // namespace qov::qovhost
