// The one platform-specific function of the frame path.
#include "framework/message.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/uio.h>
#include <unistd.h>

#include <cstring>
#endif

namespace qov {

#if defined(_WIN32)

void showMessage(const char* text, const char* title) { MessageBoxA(nullptr, text, title, MB_OK); }

#else

void showMessage(const char* text, const char* title) {
  // One write, so that lines from instances on different threads never interleave, and
  // no memory taken for it: a message must get out (and nothing be thrown) also when none
  // is left.
  static constexpr char kSeparator[] = ": ";
  static constexpr char kNewline[] = "\n";
  iovec parts[] = {{const_cast<char*>(title), std::strlen(title)},
                   {const_cast<char*>(kSeparator), sizeof kSeparator - 1},
                   {const_cast<char*>(text), std::strlen(text)},
                   {const_cast<char*>(kNewline), sizeof kNewline - 1}};
  ssize_t written = ::writev(STDERR_FILENO, parts, sizeof parts / sizeof parts[0]);
  (void)written;  // nothing sensible to do when standard error is closed
}

#endif

}  // namespace qov
