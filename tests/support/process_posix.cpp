// Running a program and changing the environment, with POSIX means: fork and
// execve, pipes read with poll, resource limits and another user's ids.

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "test_support.h"

namespace kerfo::test {

namespace {

void ReadBoth(int outFd, int errFd, int inFd, const std::string& input, std::string& out,
              std::string& err) {
    std::size_t written = 0;
    if (input.empty()) {
        close(inFd);
        inFd = -1;
    }
    char buffer[65536];
    while (outFd >= 0 || errFd >= 0) {
        pollfd fds[3];
        int n = 0;
        if (outFd >= 0)
            fds[n++] = {outFd, POLLIN, 0};
        if (errFd >= 0)
            fds[n++] = {errFd, POLLIN, 0};
        if (inFd >= 0)
            fds[n++] = {inFd, POLLOUT, 0};
        if (poll(fds, static_cast<nfds_t>(n), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < n; ++i) {
            if (fds[i].revents == 0)
                continue;
            if (fds[i].fd == inFd) {
                const ssize_t count = write(inFd, input.data() + written, input.size() - written);
                if (count > 0)
                    written += static_cast<std::size_t>(count);
                if (count < 0 || written == input.size()) {
                    close(inFd);
                    inFd = -1;
                }
                continue;
            }
            const ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
            if (count > 0) {
                (fds[i].fd == outFd ? out : err).append(buffer, static_cast<std::size_t>(count));
            } else {
                close(fds[i].fd);
                (fds[i].fd == outFd ? outFd : errFd) = -1;
            }
        }
    }
    if (inFd >= 0)
        close(inFd);
}

}  // namespace

std::string KerfoBinary() {
    return KERFO_BINARY;
}

RunResult Run(const std::string& program, const std::vector<std::string>& arguments,
              const RunOptions& options) {
    int outPipe[2], errPipe[2], inPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0 ||
        pipe2(inPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> environment = ChildEnvironment(options);
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> argvText;
    argvText.push_back(program);
    argvText.insert(argvText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& entry : argvText)
        argv.push_back(entry.data());
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        dup2(inPipe[0], 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        if (!options.workingFolder.empty() && chdir(options.workingFolder.c_str()) != 0) {
            _exit(126);
        }
        if (options.fileSizeLimit) {
            const rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (options.user && (setgroups(0, nullptr) != 0 || setgid(*options.user) != 0 ||
                             setuid(*options.user) != 0)) {
            _exit(126);
        }
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    RunResult result;
    ReadBoth(outPipe[0], errPipe[0], inPipe[1], options.input, result.out, result.err);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

void SetEnv(const std::string& name, const std::string& value) {
    setenv(name.c_str(), value.c_str(), 1);
}

void UnsetEnv(const std::string& name) {
    unsetenv(name.c_str());
}

}  // namespace kerfo::test
