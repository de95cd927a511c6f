// Warnings go straight to standard error; errors travel as CommandError to main().
#include "tools/qovhost/command_error.h"

#include <cstdio>

namespace qov::qovhost {

void warn(const std::string& text) { std::fprintf(stderr, "qovhost: warning: %s\n", text.c_str()); }

}  // namespace qov::qovhost
