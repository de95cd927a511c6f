// The one kind of failure a subcommand reports: a sentence a person can act on. main()
// prints it as "qovhost: error: TEXT" and exits with kExitFailure.
#pragma once

#include <stdexcept>
#include <string>

namespace qov::qovhost {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
// A command line that does not parse (CLI11 prints its own message).
inline constexpr int kExitUsage = 2;

class CommandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Non-fatal notes on standard error ("qovhost: warning: TEXT").
void warn(const std::string& text);

}  // namespace qov::qovhost
