// What happens when a signal asks qovhost to stop (Ctrl+C, kill, a closed terminal): the
// unfinished output file is removed, and then the process ends by that same signal, as it
// would have without qovhost's help, so that shells and scripts see why it ended.
#pragma once

#include <mutex>
#include <string>

namespace qov::qovhost {

// Hands the stop signals to a thread of their own. Call first in main(), before any other
// thread starts (plug-ins start worker threads), so that every thread leaves them to it.
void handleStopSignals();

// While one of these lives, a stop signal waits: for steps that must happen together, such
// as creating a temporary file and naming it for removal, or renaming it into place and
// forgetting it.
std::unique_lock<std::mutex> holdStopSignals();

// The file a stop signal removes (one at a time; an empty path names none). Call while
// holding the stop signals.
void removeWhenStopped(const std::string& path);

}  // namespace qov::qovhost
