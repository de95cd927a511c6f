// The platform layer of the tests on POSIX systems: messages arrive on standard error, and
// exports are read from the library file's dynamic symbol table with nm.
#include <cstdio>

#include "tests/support/platform.h"
#include "tests/support/stderr_capture.h"

namespace qov::test {

struct MessageCapture::State {
  StderrCapture capture;
};

MessageCapture::MessageCapture() : state_(new State) {}

MessageCapture::~MessageCapture() { delete state_; }

std::string MessageCapture::finish() { return state_->capture.finish(); }

void interceptMessages(const host::PluginLibrary& /*library*/) {}

std::vector<std::string> exportedNames(const host::PluginLibrary& library) {
  const std::string command = "nm -D --defined-only '" + library.path() + "'";
  std::vector<std::string> symbols;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {"(nm could not be started)"};
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    symbols.push_back(text.substr(text.rfind(' ') + 1));
  }
  if (pclose(pipe) != 0) symbols.push_back("(nm failed)");
  return symbols;
}

}  // namespace qov::test
