#pragma once
// The desktop dialog presenter: message boxes as real modal dialogs, for a run
// that has no console to write to.

#include "platform/platform.h"

namespace kerfo::platform {

// True when the user would never see console output. On POSIX: none of
// standard input, output and error is a terminal and a display is set (DISPLAY
// or WAYLAND_DISPLAY not empty), as when the program is started from a file
// manager or launcher. On Windows: neither standard output nor standard error
// is a pipe, a file or a device (NUL) that a script redirected it to.
bool WantsDesktopDialog();

// Shows the box and waits until it is dismissed: zenity on POSIX, MessageBoxA
// on Windows. Returns true when the box was shown and dismissed; false when it
// could not be shown, so that the caller shows the box on the console instead.
bool ShowDesktopDialog(BoxKind kind, const char* title, const char* text);

}  // namespace kerfo::platform
