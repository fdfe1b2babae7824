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

// Starts program and waits for it, returning its exit status; -1 when it
// cannot be started or does not exit normally. The program shares our standard
// streams and environment. parameters is the text of its arguments as given;
// arguments is that text split by the program's tokenizer, with arguments[0]
// the name the program sees. On POSIX the program is searched on PATH and
// started with the arguments; on Windows the shell starts it (ShellExecuteExA)
// with the parameters text as it is and the show command.
int RunProgramAndWait(const char* program, const char* parameters,
                      const std::vector<const char*>& arguments, int showCommand);

// The id of the running process.
unsigned long ProcessId();

}  // namespace kerfo::platform
