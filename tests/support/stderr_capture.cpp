// Standard error redirected into a temporary file for the duration of a call.
#include "tests/support/stderr_capture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace qov::test {

StderrCapture::StderrCapture() {
  std::fflush(stderr);
  char path[] = "/tmp/qov-stderr-XXXXXX";
  captureFd_ = mkstemp(path);
  if (captureFd_ < 0) std::abort();
  unlink(path);
  savedFd_ = dup(STDERR_FILENO);
  dup2(captureFd_, STDERR_FILENO);
}

StderrCapture::~StderrCapture() { finish(); }

std::string StderrCapture::finish() {
  if (finished_) return std::string();
  finished_ = true;
  std::fflush(stderr);
  dup2(savedFd_, STDERR_FILENO);
  close(savedFd_);
  std::string text;
  lseek(captureFd_, 0, SEEK_SET);
  char buffer[4096];
  ssize_t got;
  while ((got = read(captureFd_, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(got));
  close(captureFd_);
  return text;
}

}  // namespace qov::test
