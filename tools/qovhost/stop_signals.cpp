// The stop-signal thread. The signals are blocked in every thread (the mask is inherited
// by threads started later, the plug-ins' workers among them) and taken one at a time by
// sigwait on a thread that does nothing else, so the removal runs as ordinary code under
// the same mutex that the writer holds while it creates or renames its file: no signal can
// fall between creating a file and naming it for removal. To end by the signal itself,
// that thread restores its default action, unblocks it for itself and raises it.
#include "tools/qovhost/stop_signals.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <thread>

namespace qov::qovhost {
namespace {

constexpr int kStopSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
constexpr int kSignalStatusBase = 128;

// Never destroyed: a signal may arrive while the process exits, after static objects
// have gone, and the stop thread still takes the mutex and reads the name then.
std::mutex& stopMutex() {
  static std::mutex* const mutex = new std::mutex;
  return *mutex;
}

std::string& pendingFile() {
  static std::string* const path = new std::string;
  return *path;
}

// A signal ignored when qovhost starts (nohup, a background job of a script) stays
// ignored: blocked, it would be kept pending and handed to sigwait instead.
sigset_t stopSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kStopSignals) {
    struct sigaction action;
    if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN) sigaddset(&set, signal);
  }
  return set;
}

[[noreturn]] void waitForStop(sigset_t set) {
  int signal = 0;
  while (sigwait(&set, &signal) != 0) {
  }
  // Held to the end: the writer must not rename its file into place after the removal.
  stopMutex().lock();
  if (!pendingFile().empty()) ::unlink(pendingFile().c_str());
  std::signal(signal, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  std::raise(signal);
  // Not reached: the default action of every stop signal ends the process. The shell's
  // status for a program ended by a signal, should it be.
  ::_exit(kSignalStatusBase + signal);
}

}  // namespace

void handleStopSignals() {
  const sigset_t set = stopSignalSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread(waitForStop, set).detach();
}

std::unique_lock<std::mutex> holdStopSignals() { return std::unique_lock<std::mutex>(stopMutex()); }

void removeWhenStopped(const std::string& path) { pendingFile() = path; }

}  // namespace qov::qovhost
