// Message boxes and the fatal path.

#include "app/messages.h"

#include <cstdio>

#include "app/version.h"
#include "platform/platform.h"

namespace kerfo {
namespace {

char titleBuffer[64];

std::string FormatMessage(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    std::string text = FormatMessageText(format, copy);
    va_end(copy);
    return text;
}

}  // namespace

const char* MessageTitle() {
    std::snprintf(titleBuffer, sizeof titleBuffer, "%s Ver %s", ProgramName, VersionText());
    return titleBuffer;
}

std::string FormatMessageText(const char* format, va_list args) {
    char buffer[kMaxMessageLength + 1];
    const int length = std::vsnprintf(buffer, kMaxMessageLength, format, args);
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

int ShowMessage(const char* text) {
    return platform::ShowBox(platform::BoxKind::Information, MessageTitle(), text);
}

int ShowFormattedMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatMessage(format, args);
    va_end(args);
    return ShowMessage(text.c_str());
}

void FatalText(const char* text) {
    throw FatalError(text);
}

void Fatal(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatMessage(format, args);
    va_end(args);
    throw FatalError(text);
}

void ShowFatalBox(const char* text) {
    platform::ShowBox(platform::BoxKind::FatalWarning, MessageTitle(), text);
}

}  // namespace kerfo
