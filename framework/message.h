// Error messages of the frame path. On Windows a modal box with an OK button that
// blocks until the user dismisses it; elsewhere one line "TITLE: TEXT" on standard error.
#pragma once

namespace qov {

void showMessage(const char* text, const char* title);

}  // namespace qov
