// Start-up: the steps that run before the dispatch, in order.

#include <cstdlib>
#include <new>

#include "app/args.h"
#include "app/dispatch.h"
#include "app/messages.h"
#include "app/startup.h"
#include "app/version.h"
#include "platform/platform.h"
#include "support/log.h"
#include "support/paths.h"
#include "util/strings.h"

namespace kerfo {

int DebugLevel = 0;
std::string ProgramDir;
std::string PerUserFolder;

namespace {

void PointLogAtProgramFile() {
    char* logName = Concat2(ProgramName, ".log");
    SetLogPath(logName);
    std::free(logName);
}

int StartAndDispatch() {
    BuildVersionText();
    CommandLine commandLine(platform::CommandLineText(), kMaxArgs);
    ArgList& list = commandLine.List();
    ProgramDir = ComputeProgramDir();
    PerUserFolder = ComputePerUserFolder(MakerName, ProgramName);
    PointLogAtProgramFile();
    DebugLevel = std::atoi(TakeOptionValue(list, "-dbg=", "0"));
    // An argument beyond the list's limit would be dropped unseen, and a cut
    // that lost its last name would replace its input: such a command line is
    // malformed, and refused before anything is written, the log included.
    if (commandLine.Overflowed()) {
        ShowUsage();
        return 1;
    }
    if (DebugLevel > 0) {
        LogMessage("Cmdline: %s", platform::CommandLineText());
    }
    return Dispatch(list);
}

}  // namespace

int WinMain() {
    try {
        return StartAndDispatch();
    } catch (const FatalError& error) {
        ShowFatalBox(error.what());
    } catch (const std::bad_alloc&) {
        ShowFatalBox("out of memory");
    }
    return 1;
}

}  // namespace kerfo
