// Captures what the code under test writes to standard error (the plug-ins' messages).
#pragma once

#include <string>

namespace qov::test {

class StderrCapture {
 public:
  StderrCapture();   // starts capturing
  ~StderrCapture();  // restores standard error
  // Stops capturing and returns what was written.
  std::string finish();

 private:
  int savedFd_ = -1;
  int captureFd_ = -1;
  bool finished_ = false;
};

}  // namespace qov::test
