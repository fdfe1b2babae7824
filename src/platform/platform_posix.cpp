// The POSIX side of the platform layer.

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/dialog.h"
#include "platform/platform.h"

extern char** environ;

namespace kerfo::platform {
namespace {

std::string commandLine;

bool NeedsQuotes(std::string_view argument) {
    return argument.empty() || argument.front() == '"' ||
           argument.find_first_of(" \t\n\r") != std::string_view::npos;
}

const char* NonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
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

void SetProcessArguments(int argc, const char* const* argv) {
    commandLine = BuildCommandLine(argc, argv);
}

const char* CommandLineText() {
    return commandLine.c_str();
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

int ModuleFileName(char* buffer, int size) {
    if (size <= 0) {
        return 0;
    }
    const ssize_t length = readlink("/proc/self/exe", buffer, static_cast<std::size_t>(size));
    if (length <= 0) {
        buffer[0] = '\0';
        return 0;
    }
    if (length >= size) {
        buffer[size - 1] = '\0';
        return size;
    }
    buffer[length] = '\0';
    return static_cast<int>(length);
}

void OpenAddress(const char* address) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return;
    }
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return;
    }
    // The browser gets its own session and no share of our streams, so it
    // outlives this short run and says nothing into the caller's terminal.
    for (int fd = 0; fd <= 2; ++fd) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY,
                                         0);
    }
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    char program[] = "xdg-open";
    std::string target = address;
    char* const arguments[] = {program, target.data(), nullptr};
    pid_t child = 0;
    posix_spawnp(&child, program, &actions, &attributes, arguments, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
}

int MakeDir(const char* path) {
    return mkdir(path, 0777);
}

std::string TempFolder() {
    if (const char* temp = std::getenv("TEMP")) {
        return temp;
    }
    if (const char* tmpdir = NonEmptyEnv("TMPDIR")) {
        return tmpdir;
    }
    return "/tmp";
}

std::optional<std::string> AppDataFolder() {
    // The Windows names count when they are set at all, as on Windows; the XDG
    // ones only when they are not empty, as the XDG rules say.
    for (const char* name : {"AppData", "APPDATA"}) {
        if (const char* value = std::getenv(name)) {
            return std::string(value);
        }
    }
    if (const char* dataHome = NonEmptyEnv("XDG_DATA_HOME")) {
        return std::string(dataHome);
    }
    if (const char* home = NonEmptyEnv("HOME")) {
        return std::string(home) + "/.local/share";
    }
    return std::nullopt;
}

}  // namespace kerfo::platform
