#pragma once
// Process-wide values that start-up sets once.

#include <string>

namespace kerfo {

// The value of "-dbg="; 0 when it is absent.
extern int DebugLevel;

// The folder of the running program.
extern std::string ProgramDir;

// The per-user data folder (created by nobody at start-up).
extern std::string PerUserFolder;

}  // namespace kerfo
