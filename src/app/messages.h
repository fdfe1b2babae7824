#pragma once
// Message boxes. Everything the program tells its user goes through here, in
// a box titled "Kerfo Ver 1.12"; the fatal path (error/fatal.h) ends in one.

#include "error/fatal.h"
#include "error/printf_format.h"

namespace kerfo {

// Formats "%s Ver %s" from ProgramName and VersionText into the process-wide
// title buffer and returns it.
const char* MessageTitle();

// An information box with an OK button. Returns the box's result, which callers ignore.
int ShowMessage(const char* text);

// Formats by the message rule and shows an information box.
int ShowFormattedMessage(const char* format, ...) KERFO_PRINTF_FORMAT(1, 2);

// Shows the warning box of a fatal error; the entry calls it once the error has
// reached it.
void ShowFatalBox(const char* text);

}  // namespace kerfo
