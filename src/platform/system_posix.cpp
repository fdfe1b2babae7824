// The POSIX side of folder listing, program starting and the process id.

#include <dirent.h>
#include <fnmatch.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/system.h"

extern char** environ;

namespace kerfo::platform {
namespace {

struct CloseFolder {
    void operator()(DIR* folder) const { closedir(folder); }
};
using Folder = std::unique_ptr<DIR, CloseFolder>;

bool Matches(const std::string& pattern, const char* name) {
    return pattern == "*.*" || fnmatch(pattern.c_str(), name, 0) == 0;
}

bool IsFolder(const std::string& folder, const dirent& entry) {
    if (entry.d_type == DT_DIR) {
        return true;
    }
    if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK) {
        return false;
    }
    // The file system did not say, or the entry is a link: ask for what it
    // finally names. A broken link counts as a file.
    struct stat status;
    const std::string path =
        folder == "/" ? "/" + std::string(entry.d_name) : folder + "/" + entry.d_name;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

std::vector<FolderEntry> FindFolderEntries(const std::string& searchPath) {
    std::string folder = ".";
    std::string pattern = searchPath;
    const std::size_t slash = searchPath.rfind('/');
    if (slash != std::string::npos) {
        folder = slash == 0 ? "/" : searchPath.substr(0, slash);
        pattern = searchPath.substr(slash + 1);
    }

    std::vector<FolderEntry> entries;
    const Folder handle(opendir(folder.c_str()));
    if (!handle) {
        return entries;
    }
    while (const dirent* entry = readdir(handle.get())) {
        if (Matches(pattern, entry->d_name)) {
            entries.push_back({entry->d_name, IsFolder(folder, *entry)});
        }
    }
    return entries;
}

int RunProgramAndWait(const char* program, const char* /*parameters*/,
                      const std::vector<const char*>& arguments, int /*showCommand*/) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const char* argument : arguments) {
        argv.push_back(const_cast<char*>(argument));  // posix_spawn does not change them
    }
    argv.push_back(nullptr);

    pid_t child = 0;
    if (posix_spawnp(&child, program, nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

unsigned long ProcessId() {
    return static_cast<unsigned long>(getpid());
}

}  // namespace kerfo::platform
