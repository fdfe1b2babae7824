// What the desktop tests share.

#include "desktop_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kerfo::test {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

int ExitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void Redirect(const char* path, int fd, int flags) {
    const int opened = open(path, flags, 0644);
    if (opened < 0 || dup2(opened, fd) < 0) {
        _exit(126);
    }
    close(opened);
}

void StopAndReap(pid_t pid) {
    kill(pid, SIGTERM);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

std::optional<std::string> FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) {
            end = folders.size();
        }
        const std::string folder = folders.substr(start, end - start);
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<std::string> FirstMissing(const std::vector<std::string>& programs) {
    for (const std::string& program : programs) {
        if (!FindOnPath(program)) {
            return program;
        }
    }
    return std::nullopt;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const RunOptions& options, const std::string& outPath,
                                     const std::string& errPath) {
    std::vector<std::string> arguments = argv;
    std::vector<std::string> variables = ChildEnvironment(options);
    std::vector<char*> argvPointers = Pointers(arguments);
    std::vector<char*> envPointers = Pointers(variables);
    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        Redirect("/dev/null", 0, O_RDONLY);
        Redirect(outPath.c_str(), 1, O_WRONLY | O_CREAT | O_TRUNC);
        Redirect(errPath.c_str(), 2, O_WRONLY | O_CREAT | O_TRUNC);
        execve(argvPointers[0], argvPointers.data(), envPointers.data());
        _exit(127);
    }
}

BackgroundProcess::~BackgroundProcess() {
    if (!exitCode_) {
        StopAndReap(pid_);
    }
}

std::optional<int> BackgroundProcess::WaitFor(std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!exitCode_) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            exitCode_ = ExitCodeOf(status);
        } else if (Clock::now() >= deadline) {
            break;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    return exitCode_;
}

VirtualScreen::VirtualScreen() {
    const std::optional<std::string> xvfb = FindOnPath("Xvfb");
    int ready[2];
    if (!xvfb || pipe2(ready, O_CLOEXEC) != 0) {
        return;
    }
    // With -displayfd the server takes the first free display number and
    // writes it to that descriptor once it accepts connections.
    constexpr int kDisplayFd = 3;
    std::vector<std::string> arguments = {*xvfb,       "-displayfd", std::to_string(kDisplayFd),
                                          "-screen",   "0",          "1024x768x24",
                                          "-nolisten", "tcp"};
    std::vector<char*> argv = Pointers(arguments);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(ready[1], kDisplayFd);
        fcntl(kDisplayFd, F_SETFD, 0);
        Redirect("/dev/null", 0, O_RDONLY);
        Redirect("/dev/null", 1, O_WRONLY);
        Redirect("/dev/null", 2, O_WRONLY);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(ready[1]);
    std::string number;
    pollfd wait = {ready[0], POLLIN, 0};
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
    while (pid_ > 0 && Clock::now() < deadline && number.find('\n') == std::string::npos) {
        if (poll(&wait, 1, 200) <= 0) {
            continue;
        }
        char buffer[32];
        const ssize_t count = read(ready[0], buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        number.append(buffer, static_cast<std::size_t>(count));
    }
    close(ready[0]);
    if (number.find('\n') != std::string::npos) {
        display_ = ":" + number.substr(0, number.find('\n'));
    }
}

VirtualScreen::~VirtualScreen() {
    if (pid_ > 0) {
        StopAndReap(pid_);
    }
}

}  // namespace kerfo::test
