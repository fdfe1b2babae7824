// The parts of the platform layer that every system shares: the console
// presenter, the choice of presenter, and the command line built from
// arguments.

#include <cstring>
#include <string_view>

#include "platform/dialog.h"
#include "platform/platform.h"

namespace kerfo::platform {
namespace {

bool NeedsQuotes(std::string_view argument) {
    return argument.empty() || argument.front() == '"' ||
           argument.find_first_of(" \t\n\r") != std::string_view::npos;
}

}  // namespace

void ShowConsoleBox(BoxKind kind, const char* title, const char* text) {
    std::FILE* stream = kind == BoxKind::FatalWarning ? stderr : stdout;
    std::fflush(stdout);
    if (kind == BoxKind::FatalWarning) {
        std::fprintf(stream, "%s - warning\n", title);
    } else {
        std::fprintf(stream, "%s\n", title);
    }
    const std::size_t length = std::strlen(text);
    std::fwrite(text, 1, length, stream);
    if (length == 0 || text[length - 1] != '\n') {
        std::fputc('\n', stream);
    }
    std::fflush(stream);
}

int ShowBox(BoxKind kind, const char* title, const char* text) {
    if (!WantsDesktopDialog() || !ShowDesktopDialog(kind, title, text)) {
        ShowConsoleBox(kind, title, text);
    }
    return 1;  // the OK button
}

std::string BuildCommandLine(int argc, const char* const* argv) {
    std::string line;
    for (int i = 0; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (i > 0) {
            line += ' ';
        }
        if (!NeedsQuotes(argument)) {
            line += argument;
            continue;
        }
        line += '"';
        for (const char c : argument) {
            if (c == '"') {
                line += '"';
            }
            line += c;
        }
        line += '"';
    }
    return line;
}

}  // namespace kerfo::platform
