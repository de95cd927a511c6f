// The one platform-specific function of the frame path.
#include "framework/message.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>

#include <cstring>
#include <string>
#endif

namespace qov {

#if defined(_WIN32)

void showMessage(const char* text, const char* title) { MessageBoxA(nullptr, text, title, MB_OK); }

#else

void showMessage(const char* text, const char* title) {
  // One write, so that lines from instances on different threads never interleave.
  std::string line;
  line.reserve(std::strlen(title) + std::strlen(text) + 3);
  line.append(title).append(": ").append(text).push_back('\n');
  ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
  (void)written;  // nothing sensible to do when standard error is closed
}

#endif

}  // namespace qov
