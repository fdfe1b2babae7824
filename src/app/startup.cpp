// Start-up: the steps that run before the dispatch, in order.

#include <algorithm>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>

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

// Refuses, before anything is read or written, a command line that reached
// the program changed: a Windows whose code page is not UTF-8 passes a
// look-alike for a character its code page lacks, which may name another
// file ("Lódz.jpg" for "Łódź.jpg"), or a question mark. The program's own path
// may differ: nothing is read from it.
void RefuseChangedArguments(const ArgList& list) {
    const std::optional<std::string> typed = platform::TypedCommandLine();
    if (!typed) {
        return;
    }
    CommandLine typedLine(typed->c_str(), kMaxArgs);
    const ArgList& typedList = typedLine.List();
    for (int i = 1; i < std::max(list.count, typedList.count); ++i) {
        if (i < list.count && i < typedList.count &&
            platform::SameAsTyped(list.entries[i], typedList.entries[i])) {
            continue;
        }
        Fatal(
            "%s%s has characters that this Windows can't pass to %s: it passes them as shown "
            "here. Windows 10 version 1903 or later passes every name; on this Windows, rename "
            "the file or folder.",
            i < list.count ? "" : "The command line", i < list.count ? list.entries[i] : "",
            ProgramName);
    }
}

int StartAndDispatch() {
    BuildVersionText();
    CommandLine commandLine(platform::CommandLineText(), kMaxArgs);
    ArgList& list = commandLine.List();
    RefuseChangedArguments(list);
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
    } catch (const UsageError&) {
        ShowUsage();
    } catch (const FatalError& error) {
        ShowFatalBox(error.what());
    } catch (const std::bad_alloc&) {
        ShowFatalBox("out of memory");
    }
    return 1;
}

}  // namespace kerfo
