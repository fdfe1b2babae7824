#pragma once
// What the desktop tests share: finding tools, a program left running in the
// background, and a virtual X screen of the test's own.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

namespace kerfo::test {

// The full path of a program found on PATH; none when it is not there.
std::optional<std::string> FindOnPath(const std::string& name);

// The first of the programs that is missing from PATH; none when all are there.
std::optional<std::string> FirstMissing(const std::vector<std::string>& programs);

// A program started with standard input on /dev/null and standard output and
// error into files, so that none of its streams is a terminal, in the
// environment that options give (as Run does). It is killed when the object
// goes and it is still running.
class BackgroundProcess {
  public:
    BackgroundProcess(const std::vector<std::string>& argv, const RunOptions& options,
                      const std::string& outPath, const std::string& errPath);
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    // Waits at most timeout for the program to end. Returns its exit code (128
    // + signal when it died), none while it is still running.
    std::optional<int> WaitFor(std::chrono::milliseconds timeout);

  private:
    pid_t pid_ = -1;
    std::optional<int> exitCode_;
};

// An Xvfb server on a display number that was free, stopped when the object goes.
class VirtualScreen {
  public:
    VirtualScreen();
    ~VirtualScreen();
    VirtualScreen(const VirtualScreen&) = delete;
    VirtualScreen& operator=(const VirtualScreen&) = delete;

    // The DISPLAY value, such as ":1"; empty when the server did not start.
    const std::string& Display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace kerfo::test
