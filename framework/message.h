// Error messages of the frame path. On Windows a modal box with an OK button that
// blocks until the user dismisses it; elsewhere one line "TITLE: TEXT" on standard error.
#pragma once

namespace qov {

// Title of every message raised while a frame set is processed, and the message for a
// frame set without usable images.
inline constexpr const char* kFrameSetTitle = "Qov_Multi";
inline constexpr const char* kNoValidInputText = "Error: No valid input data present";

void showMessage(const char* text, const char* title);

}  // namespace qov
