// The fatal path and the message rule.

#include "error/fatal.h"

#include <cstdio>

namespace kerfo {

std::string FormatMessageText(const char* format, va_list args) {
    char buffer[kMaxMessageLength + 1];
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(buffer, kMaxMessageLength, format, copy);
    va_end(copy);
    if (length <= 0 || length >= kMaxMessageLength) {
        // A text too long for the box keeps its first 496 characters and says
        // that it goes on. An empty text stays empty: the terminator at
        // position 0 hides the marker. A formatting error gives the marker alone
        // behind whatever vsnprintf left.
        if (length < 0) {
            buffer[0] = '\0';
        }
        buffer[kMaxMessageLength - 4] = ' ';
        buffer[kMaxMessageLength - 3] = '.';
        buffer[kMaxMessageLength - 2] = '.';
        buffer[kMaxMessageLength - 1] = '.';
        buffer[kMaxMessageLength] = '\0';
    }
    return std::string(buffer);
}

void FatalText(const char* text) {
    throw FatalError(text);
}

void Fatal(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatMessageText(format, args);
    va_end(args);
    throw FatalError(text);
}

void FatalUsage() {
    throw UsageError();
}

}  // namespace kerfo
