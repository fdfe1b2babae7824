// Message boxes.

#include "app/messages.h"

#include <cstdio>

#include "app/version.h"
#include "platform/platform.h"

namespace kerfo {
namespace {

char titleBuffer[64];

}  // namespace

const char* MessageTitle() {
    std::snprintf(titleBuffer, sizeof titleBuffer, "%s Ver %s", ProgramName, VersionText());
    return titleBuffer;
}

int ShowMessage(const char* text) {
    return platform::ShowBox(platform::BoxKind::Information, MessageTitle(), text);
}

int ShowFormattedMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatMessageText(format, args);
    va_end(args);
    return ShowMessage(text.c_str());
}

void ShowFatalBox(const char* text) {
    platform::ShowBox(platform::BoxKind::FatalWarning, MessageTitle(), text);
}

}  // namespace kerfo
