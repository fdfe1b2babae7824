#pragma once
// Message boxes and the fatal path. Everything the program tells its user goes
// through here, in a box titled "Kerfo Ver 1.12".

#include <cstdarg>
#include <stdexcept>
#include <string>

#include "util/printf_format.h"


namespace kerfo {

// Longest formatted text of Fatal and ShowFormattedMessage; a longer one is cut
// to its first 496 characters followed by " ...".
constexpr int kMaxMessageLength = 500;

// Thrown by Fatal and FatalText. The entry catches it once, after every
// destructor on the way has run (temporary files removed, files closed), shows
// the warning box and ends the run with exit code 1.
class FatalError : public std::runtime_error {
  public:
    explicit FatalError(const std::string& text) : std::runtime_error(text) {}
};

// Formats "%s Ver %s" from ProgramName and VersionText into the process-wide
// title buffer and returns it.
const char* MessageTitle();

// An information box with an OK button. Returns the box's result, which callers ignore.
int ShowMessage(const char* text);

// Formats by the message rule and shows an information box.
int ShowFormattedMessage(const char* format, ...) KERFO_PRINTF_FORMAT(1, 2);

// Ends the run with the text in a warning box and exit code 1.
[[noreturn]] void FatalText(const char* text);

// Formats by the message rule, then FatalText.
[[noreturn]] void Fatal(const char* format, ...) KERFO_PRINTF_FORMAT(1, 2);

// The message rule: printf formatting cut at kMaxMessageLength characters.
std::string FormatMessageText(const char* format, va_list args);

// Shows the warning box of a fatal error; the entry calls it once the error has
// reached it.
void ShowFatalBox(const char* text);

}  // namespace kerfo
