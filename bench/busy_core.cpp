// The spinning child process.
#include "bench/busy_core.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace qov::bench {

void BusyCore::start() {
  if (running()) return;
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error(std::string("fork failed: ") + std::strerror(errno));
  if (child == 0) {
    // Only async-signal-safe calls from here: the parent may have had other threads.
#if defined(__linux__)
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    // The parent may have ended before the line above took effect.
    if (getppid() != parent) _exit(0);
    volatile uint64_t rounds = 0;
    for (;;) rounds = rounds + 1;
  }
  child_ = child;
}

void BusyCore::stop() {
  if (!running()) return;
  kill(child_, SIGKILL);
  while (waitpid(child_, nullptr, 0) < 0 && errno == EINTR) {
  }
  child_ = -1;
}

}  // namespace qov::bench
