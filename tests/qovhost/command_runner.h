// Runs a program with arguments and optional standard input, and collects its exit
// status, standard output and standard error, as a shell pipeline would.
#pragma once

#include <string>
#include <vector>

namespace qov::test {

struct CommandResult {
  int exitCode = -1;  // -1 when the program did not exit normally
  std::string out;
  std::string err;
};

CommandResult runCommand(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input = std::string());

}  // namespace qov::test
