// A child process that spins on one core for as long as it runs: the "busy machine" of the
// benchmark's rows under load, where another program (or the host's own work) competes for
// the cores a plug-in's threads would like to use.
#pragma once

#include <sys/types.h>

namespace qov::bench {

class BusyCore {
 public:
  BusyCore() = default;
  ~BusyCore() { stop(); }
  BusyCore(const BusyCore&) = delete;
  BusyCore& operator=(const BusyCore&) = delete;

  // Forks the spinning child unless it is running already. On Linux the child is killed by
  // the system as soon as this process ends, however it ends, so no spinner outlives a
  // crashed or interrupted run. Throws std::runtime_error when fork fails.
  void start();
  // Kills the child and waits for it; nothing to do when none runs.
  void stop();
  bool running() const { return child_ > 0; }

 private:
  pid_t child_ = -1;
};

}  // namespace qov::bench
