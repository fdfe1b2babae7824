// The diagnostic log. Every line is one open, append and close, so nothing
// logged stays buffered in the program and several runs may share the file.

#include "support/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/platform.h"
#include "support/paths.h"

namespace kerfo {
namespace {

constexpr std::size_t kLineLimit = 512;
constexpr int kBytesPerDumpLine = 16;

std::string ownedLogPath;
const char* logPath = nullptr;
char lastLogDate[40];

void WriteLine(const char* text) {
    if (logPath != nullptr) {
        platform::AppendLogLine(logPath, text);
    }
}

// The message with every control character written as an escape (\t, \n, \r
// or \xNN), so that one message is one line of the log whatever the command
// line held, and no argument can forge a line of its own. The result is cut at
// limit characters, never inside an escape.
std::string EscapeControls(const char* message, std::size_t limit) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const char* c = message; *c != '\0'; ++c) {
        const unsigned char byte = static_cast<unsigned char>(*c);
        std::string escape;
        if (byte == '\t') {
            escape = "\\t";
        } else if (byte == '\n') {
            escape = "\\n";
        } else if (byte == '\r') {
            escape = "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            escape = {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0x0F]};
        } else {
            escape = std::string(1, *c);
        }
        if (text.size() + escape.size() > limit) {
            break;
        }
        text += escape;
    }
    return text;
}

}  // namespace

const char* SetLogPath(const char* fileName) {
    ownedLogPath = JoinPath(platform::TempFolder(), fileName);
    logPath = ownedLogPath.c_str();
    lastLogDate[0] = '\0';
    return logPath;
}

const char* SetLogFullPath(const char* path) {
    logPath = path;
    lastLogDate[0] = '\0';
    return logPath;
}

const char* GetLogPath() {
    return logPath;
}

void LogLine(const char* format, ...) {
    if (logPath == nullptr) {
        return;
    }
    char text[kLineLimit + 1];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    WriteLine(text);
}

void LogMessage(const char* format, ...) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    platform::LocalTime(now, local);
    char date[40];
    char time[9];
    if (std::strftime(date, 38, "%a %d %b %Y", &local) == 0) {
        date[0] = '\0';
    }
    if (std::strftime(time, sizeof time, "%H:%M:%S", &local) == 0) {
        time[0] = '\0';
    }

    char message[kLineLimit + 1];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);

    if (std::strcmp(date, lastLogDate) != 0) {
        std::strcpy(lastLogDate, date);
        LogLine("*\n* %s\n*", date);
    }
    // The time and a space come first, so the escaped message gets what is
    // left of the line.
    LogLine("%s %s", time, EscapeControls(message, kLineLimit - std::strlen(time) - 1).c_str());
}

void LogCommand(const char* program, int count, const char* const* arguments) {
    std::string line = program;
    for (int i = 0; i < count; ++i) {
        line += ' ';
        line += arguments[i];
    }
    LogMessage("%s", line.c_str());
}

void LogHexDump(const char* heading, int length, const void* data) {
    static const char kDigits[] = "0123456789ABCDEF";
    LogMessage("%s", heading);
    if (length <= 0) {
        return;
    }
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (long long offset = 0; offset < length; offset += kBytesPerDumpLine) {
        const int inLine = static_cast<int>(
            length - offset < kBytesPerDumpLine ? length - offset : kBytesPerDumpLine);
        char line[3 * kBytesPerDumpLine + kBytesPerDumpLine + 1];
        char* out = line;
        for (int i = 0; i < kBytesPerDumpLine; ++i) {
            if (i < inLine) {
                *out++ = kDigits[bytes[offset + i] >> 4];
                *out++ = kDigits[bytes[offset + i] & 0x0F];
            } else {
                *out++ = ' ';
                *out++ = ' ';
            }
            *out++ = ' ';
        }
        for (int i = 0; i < inLine; ++i) {
            const unsigned char c = bytes[offset + i] & 0x7F;
            *out++ = c < 32 || c > 126 ? '.' : static_cast<char>(c);
        }
        *out = '\0';
        LogMessage("%s", line);
    }
}

}  // namespace kerfo
