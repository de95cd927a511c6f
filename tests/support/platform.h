// What the host-contract tests need from the platform: seeing the messages a plug-in shows,
// and listing what a loaded library exports. One implementation per platform
// (platform_posix.cpp, platform_windows.cpp); the tests themselves are the same everywhere.
#pragma once

#include <string>
#include <vector>

#include "host/plugin_library.h"

namespace qov::test {

// Collects the messages that plug-ins show while it is alive, as lines "TITLE: TEXT\n".
//
// Elsewhere the plug-ins write that line to standard error, which is captured. On Windows
// they call MessageBoxA, which interceptMessages has redirected to a recorder; a box that
// is not OK-only or that has an owner window is recorded with a remark before the newline,
// so that a comparison with the expected line fails.
class MessageCapture {
 public:
  MessageCapture();   // starts collecting
  ~MessageCapture();  // stops
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;
  // Stops collecting and returns what was shown.
  std::string finish();

 private:
  struct State;
  State* state_;
};

// Makes the library's messages reach MessageCapture instead of the user: on Windows the
// library's import of MessageBoxA is pointed at a recorder (throws when the library does
// not import it); elsewhere nothing is needed. Called once per loaded library.
void interceptMessages(const host::PluginLibrary& library);

// Names of the symbols the loaded library exports.
std::vector<std::string> exportedNames(const host::PluginLibrary& library);

}  // namespace qov::test
