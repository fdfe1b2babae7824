#pragma once
// The choice between usage, help, version and the two jobs.

#include "app/args.h"

namespace kerfo {

// The usage text, each line ended by a line feed.
const char* UsageText();

// Shows the usage text in an information box.
void ShowUsage();

// The options beyond the usage text, a line each, for --help.
const char* MoreOptionsText();

// Shows the usage text and the options beyond it in an information box.
void ShowHelpText();

// Shows the version message in an information box.
void ShowVersion();

// Opens the online help page of this program and version without waiting.
void OpenHelpPage();

// Reads the arguments and runs what they ask for. Returns the exit code: 0 after
// a job, the usage text on request, the help page or the version message; 1
// after a malformed command line (with the usage text shown).
int Dispatch(ArgList& list);

// The process entry: splits the command line, computes the folders, points the
// log at its file, takes "-dbg=" out and logs the command line when asked, then
// dispatches. A fatal error ends here with the warning box and 1.
int WinMain();

}  // namespace kerfo
