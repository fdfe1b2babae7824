#pragma once
// What the shared part of the safe writes needs of each system's backend, and
// what the backends share.

#include <cstdio>
#include <string>
#include <vector>

namespace kerfo::platform::detail {

// Holds off the cleanup of an interrupted run while it lives (POSIX: blocks the
// cleanup signals; Windows: takes the lock the console handler waits for), so
// that the list of temporary files is never seen half changed and a set of
// renames is never split. One that arrives meanwhile takes effect when the
// outermost hold goes.
class CleanupHold {
  public:
    CleanupHold();
    ~CleanupHold();
    CleanupHold(const CleanupHold&) = delete;
    CleanupHold& operator=(const CleanupHold&) = delete;
};

// The temporary files that exist now, for the cleanup to remove; changed only
// under a CleanupHold.
std::vector<std::string>& PendingTemporaries();
void ForgetPending(const std::string& path);

// The backend's own steps.
std::string ResolveTarget(const std::string& path);
// Which file path names, links followed, as InspectTarget tells it for a file
// that exists; empty when there is none.
std::string IdentityOf(const std::string& path);
void RemoveFile(const std::string& path);
void StartWriteBack(std::FILE* stream);
void SyncFolder(const std::string& folder);
// Renames from over to, replacing it; false with error telling why.
bool MoveOver(const std::string& from, const std::string& to, std::string& error);

// The folder of a path ("." when it has none, the root for a file in it) and
// its last component, by the platform's separators.
std::string FolderOf(const std::string& path);
std::string BaseNameOf(const std::string& path);

}  // namespace kerfo::platform::detail
