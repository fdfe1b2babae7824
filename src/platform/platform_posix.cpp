// The POSIX side of the platform layer.

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/platform.h"

extern char** environ;

namespace kerfo::platform {
namespace {

std::string commandLine;

// How long the help page's opener is given to say that it failed.
constexpr int kOpenerPatienceMs = 3000;
constexpr int kOpenerPollMs = 20;

const char* NonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

// The first number in a text file, or none.
std::optional<std::uint64_t> NumberInFile(const std::string& path) {
    std::ifstream file(path);
    std::uint64_t value = 0;
    if (file >> value) {
        return value;
    }
    return std::nullopt;
}

void KeepLeast(std::optional<std::uint64_t>& least, std::uint64_t value) {
    least = least ? std::min(*least, value) : value;
}

// The memory the system could give without swapping, from /proc/meminfo.
std::optional<std::uint64_t> SystemAvailable() {
    std::ifstream meminfo("/proc/meminfo");
    std::string name;
    std::uint64_t kilobytes = 0;
    std::string unit;
    while (meminfo >> name >> kilobytes >> unit) {
        if (name == "MemAvailable:") {
            return kilobytes * 1024;
        }
    }
    return std::nullopt;
}

// What the control groups this process is in (cgroup v2) still allow, the
// tightest of its own group and every group above it.
std::optional<std::uint64_t> ControlGroupAvailable() {
    std::ifstream groups("/proc/self/cgroup");
    std::optional<std::uint64_t> least;
    for (std::string line; std::getline(groups, line);) {
        if (line.rfind("0::", 0) != 0) {
            continue;
        }
        std::string group = line.substr(3);
        for (;;) {
            const std::string folder = "/sys/fs/cgroup" + (group == "/" ? "" : group);
            const std::optional<std::uint64_t> limit = NumberInFile(folder + "/memory.max");
            const std::optional<std::uint64_t> used = NumberInFile(folder + "/memory.current");
            if (limit && used) {
                KeepLeast(least, *limit > *used ? *limit - *used : 0);
            }
            const std::size_t slash = group.rfind('/');
            if (group == "/" || slash == std::string::npos) {
                break;
            }
            group = slash == 0 ? "/" : group.substr(0, slash);
        }
    }
    return least;
}

// What the process's address-space limit (ulimit -v) still allows.
std::optional<std::uint64_t> AddressSpaceAvailable() {
    struct rlimit limit {};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return std::nullopt;
    }
    std::uint64_t pages = 0;
    std::ifstream statm("/proc/self/statm");
    statm >> pages;
    const std::uint64_t used = pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    return limit.rlim_cur > used ? limit.rlim_cur - used : 0;
}

}  // namespace

InputFile OpenInputFile(const char* path) {
    InputFile input;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return input;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        close(fd);
        return input;
    }
    if (!S_ISREG(status.st_mode)) {
        close(fd);
        input.status = InputFile::Status::NotARegularFile;
        return input;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    input.stream = fdopen(fd, "rb");
    if (input.stream == nullptr) {
        close(fd);
        return input;
    }
    input.status = InputFile::Status::Opened;
    input.size = static_cast<std::uint64_t>(status.st_size);
    return input;
}

std::optional<std::uint64_t> AvailableMemory() {
    std::optional<std::uint64_t> least;
    for (const std::optional<std::uint64_t>& value :
         {SystemAvailable(), ControlGroupAvailable(), AddressSpaceAvailable()}) {
        if (value) {
            KeepLeast(least, *value);
        }
    }
    return least;
}

void SetProcessArguments(int argc, const char* const* argv) {
    commandLine = BuildCommandLine(argc, argv);
}

const char* CommandLineText() {
    return commandLine.c_str();
}

std::optional<std::string> TypedCommandLine() {
    return std::nullopt;
}

bool SameAsTyped(std::string_view passed, std::string_view typed) {
    return passed == typed;
}

std::FILE* OpenFile(const char* path, const char* mode) {
    return std::fopen(path, mode);
}

unsigned UsableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        return std::max(1, CPU_COUNT(&set));
    }
    return std::max(1u, std::thread::hardware_concurrency());
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

bool OpenAddress(const char* address) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return false;
    }
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return false;
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
    const int spawned = posix_spawnp(&child, program, &actions, &attributes, arguments, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return false;
    }
    // xdg-open hands the address on and ends, or fails at once when there is
    // no browser to hand it to. One that is still busy after a few seconds is
    // taken to have found one (it may wait for the browser it started).
    for (int waited = 0; waited < kOpenerPatienceMs; waited += kOpenerPollMs) {
        int status = 0;
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        if (done < 0 && errno != EINTR) {
            return true;
        }
        usleep(kOpenerPollMs * 1000);
    }
    return true;
}

void AppendLogLine(const char* path, const char* text) {
    // The log lives in a shared temporary folder, where anybody may have
    // planted a link or a file of their own under its name: the file is not
    // opened through a link, not at all when it is no regular file (a FIFO
    // would block the open), and written only when it is the user's own.
    const int fd =
        open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    struct stat status {};
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == geteuid()) {
        std::string line = text;
        line += '\n';
        // One write, so that runs sharing the log never interleave within a line.
        if (write(fd, line.data(), line.size()) < 0) {
            // A line that can't be written is dropped.
        }
    }
    close(fd);
}

bool LocalTime(std::time_t moment, std::tm& local) {
    return localtime_r(&moment, &local) != nullptr;
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
