#pragma once
// The fatal path: an operation that can't go on ends the run through Fatal,
// which throws; the entry catches the error once, after every destructor on
// the way has run (temporary files removed, files closed), shows it in a
// warning box and ends the run with exit code 1.

#include <cstdarg>
#include <stdexcept>
#include <string>

#include "error/printf_format.h"

namespace kerfo {

// Longest formatted text of Fatal and ShowFormattedMessage; a longer one is cut
// to its first 496 characters followed by " ...".
constexpr int kMaxMessageLength = 500;

// Thrown by Fatal and FatalText, with the text of the warning box.
class FatalError : public std::runtime_error {
  public:
    explicit FatalError(const std::string& text) : std::runtime_error(text) {}
};

// Thrown by FatalUsage: the entry shows the usage text in an information box
// instead of a warning, and ends the run with exit code 1.
class UsageError : public FatalError {
  public:
    UsageError() : FatalError("") {}
};

// Ends the run with the text in a warning box and exit code 1.
[[noreturn]] void FatalText(const char* text);

// Formats by the message rule, then FatalText.
[[noreturn]] void Fatal(const char* format, ...) KERFO_PRINTF_FORMAT(1, 2);

// Ends the run with the usage text and exit code 1, as a malformed command
// line does.
[[noreturn]] void FatalUsage();

// The message rule: printf formatting cut at kMaxMessageLength characters.
std::string FormatMessageText(const char* format, va_list args);

}  // namespace kerfo
