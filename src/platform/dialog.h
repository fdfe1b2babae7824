#pragma once
// The desktop dialog presenter: message boxes as real modal dialogs, for a run
// that has no terminal to write to.

#include "platform/platform.h"

namespace kerfo::platform {

// True when none of standard input, output and error is a terminal and a
// display is set (DISPLAY or WAYLAND_DISPLAY not empty): the user started the
// program from a file manager or launcher and would never see console output.
bool WantsDesktopDialog();

// Shows the box with zenity and waits until it is dismissed. Returns true when
// the box was shown and dismissed; false when zenity is missing, could not
// start, could not open the display or failed in any other way, so that the
// caller shows the box on the console instead.
bool ShowDesktopDialog(BoxKind kind, const char* title, const char* text);

}  // namespace kerfo::platform
