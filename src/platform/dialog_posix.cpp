// The desktop dialog presenter on POSIX: zenity shows the box.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog.h"

extern char** environ;

namespace kerfo::platform {
namespace {

// zenity's exit status when the OK button dismissed the box.
constexpr int kZenityOk = 0;
// zenity's exit status when the box was closed another way (Escape, the
// window's close button). GTK exits with the same status when it cannot open
// the display, and then says so on standard error.
constexpr int kZenityClosed = 1;
constexpr const char* kNoDisplayWords = "cannot open display";

// Lines up to this many bytes are shown unwrapped, as written; a text with a
// longer line (a long path, say) lets zenity wrap it to a readable width.
constexpr std::size_t kUnwrappedLineLength = 160;

// How much of zenity's standard error is read to find out why it failed.
constexpr std::size_t kChatterLimit = 64 * 1024;

const char* kIconBelowProgram = "/../share/icons/hicolor/48x48/apps/kerfo.png";

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

std::size_t LongestLine(const char* text) {
    std::size_t longest = 0;
    std::size_t current = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        current = *c == '\n' ? 0 : current + 1;
        if (current > longest) {
            longest = current;
        }
    }
    return longest;
}

// The program's own icon for the dialog's window, when it is installed beside
// the program (bin/ and share/ under one prefix).
std::optional<std::string> InstalledIcon() {
    char program[4096];
    const int length = ModuleFileName(program, sizeof program);
    if (length <= 0 || length >= static_cast<int>(sizeof program)) {
        return std::nullopt;
    }
    std::string icon(program, static_cast<std::size_t>(length));
    const std::size_t slash = icon.rfind('/');
    if (slash == std::string::npos) {
        return std::nullopt;
    }
    icon.resize(slash);
    icon += kIconBelowProgram;
    if (access(icon.c_str(), R_OK) != 0) {
        return std::nullopt;
    }
    return icon;
}

// Every argument is handed to zenity as it is, with no shell in between, so no
// text needs quoting. "--text=" keeps a text that begins with a dash a value.
std::vector<std::string> DialogArguments(BoxKind kind, const char* title, const char* text) {
    std::vector<std::string> arguments = {
        "zenity",
        kind == BoxKind::FatalWarning ? "--warning" : "--info",
        "--no-markup",
        std::string("--title=") + title,
        std::string("--text=") + text,
    };
    if (LongestLine(text) <= kUnwrappedLineLength) {
        arguments.push_back("--no-wrap");
    }
    if (const std::optional<std::string> icon = InstalledIcon()) {
        arguments.push_back("--window-icon=" + *icon);
    }
    return arguments;
}

// Runs zenity with standard input and output on /dev/null and standard error
// into errorFd, and waits for it. Returns its exit status; none when it could
// not be started or did not exit normally.
std::optional<int> RunZenity(std::vector<std::string>& arguments, int errorFd) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return std::nullopt;
    }
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return std::nullopt;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return std::nullopt;
        }
    }
    if (!WIFEXITED(status)) {
        return std::nullopt;
    }
    return WEXITSTATUS(status);
}

std::string ReadFromStart(std::FILE* file, std::size_t limit) {
    std::string contents(limit, '\0');
    std::rewind(file);
    contents.resize(std::fread(contents.data(), 1, limit, file));
    return contents;
}

}  // namespace

bool WantsDesktopDialog() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (isatty(fd) == 1) {
            return false;
        }
    }
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

bool ShowDesktopDialog(BoxKind kind, const char* title, const char* text) {
    // zenity's standard error goes to a file of our own: GTK's warnings stay
    // out of the streams the caller reads, and the file tells why it failed.
    const File chatter(std::tmpfile());
    if (!chatter) {
        return false;
    }
    const int chatterFd = fileno(chatter.get());
    fcntl(chatterFd, F_SETFD, FD_CLOEXEC);
    std::vector<std::string> arguments = DialogArguments(kind, title, text);
    const std::optional<int> status = RunZenity(arguments, chatterFd);
    if (!status) {
        return false;
    }
    if (*status == kZenityOk) {
        return true;
    }
    if (*status == kZenityClosed) {
        // Closed by the user, unless the box never appeared. Any other status
        // (an error, a timeout) leaves it unsure that the user saw the text.
        const std::string said = ReadFromStart(chatter.get(), kChatterLimit);
        return said.find(kNoDisplayWords) == std::string::npos;
    }
    return false;
}

}  // namespace kerfo::platform
