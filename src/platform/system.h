#pragma once
// The platform's folder listing, program starting and process id, for the
// general library.

#include <string>
#include <vector>

namespace kerfo::platform {

struct FolderEntry {
    std::string name;
    bool isFolder = false;
};

// The entries of a folder whose names match a wildcard pattern, given together
// as one search path: the folder, a '/' and the pattern (a search path without a
// '/' searches the current folder). The pattern is matched by shell rules
// (fnmatch); "*.*" matches every name, as on Windows, dotless ones included, and
// a leading dot needs no special match, so hidden entries are found too. The
// entries come in the order the system returns them, "." and ".." among them
// when the pattern matches them. A folder that cannot be read gives no entries.
// An entry is a folder when it is one or a link to one.
std::vector<FolderEntry> FindFolderEntries(const std::string& searchPath);

// Starts program, searched on PATH, with arguments as its argument vector
// (arguments[0] is the name the program sees), waits for it and returns its exit
// status; -1 when it cannot be started or does not exit normally. The program
// shares our standard streams and environment.
int RunProgramAndWait(const char* program, const std::vector<const char*>& arguments);

// The id of the running process.
unsigned long ProcessId();

}  // namespace kerfo::platform
