// Writing a file through a temporary file and a rename.

#include "platform/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace kerfo::platform {
namespace {

// The temporary file being written, for the signal handler to remove. The
// program writes one file at a time.
std::atomic<const char*> pendingTemporary{nullptr};

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Of the target's own name, so much goes into the temporary file's name; with
// the dot and the suffix it stays below the usual limit of 255 bytes.
constexpr std::size_t kMaxBaseInTemporaryName = 200;

extern "C" void RemovePendingAndDie(int signalNumber) {
    if (const char* path = pendingTemporary.load()) {
        unlink(path);
    }
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void InstallCleanupHandlers() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    for (const int signalNumber : kCleanupSignals) {
        struct sigaction previous {};
        if (sigaction(signalNumber, nullptr, &previous) != 0 || previous.sa_handler != SIG_DFL) {
            continue;  // a signal the caller ignores or handles stays theirs
        }
        struct sigaction action {};
        action.sa_handler = RemovePendingAndDie;
        sigemptyset(&action.sa_mask);
        sigaction(signalNumber, &action, nullptr);
    }
}

// The file that a write to path really replaces: a symbolic link is followed,
// so that the link stays and the file it names gets the new contents.
std::string ResolveTarget(const std::string& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        if (char* resolved = realpath(path.c_str(), nullptr)) {
            std::string result = resolved;
            std::free(resolved);
            return result;
        }
    }
    return path;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t CurrentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

}  // namespace

ReplacementFile::ReplacementFile(std::string target) : target_(ResolveTarget(target)) {}

ReplacementFile::~ReplacementFile() {
    Discard();
}

void ReplacementFile::SetErrorFromErrno(const char* what) {
    error_ = std::string(what) + ": " + std::strerror(errno);
}

bool ReplacementFile::Open() {
    Discard();
    InstallCleanupHandlers();
    // A hidden name beside the target, so the rename stays within one file
    // system and a folder listing does not show the file half written.
    // The name is cut short enough to stay within the file system's limit.
    const std::string base = BaseNameOf(target_).substr(0, kMaxBaseInTemporaryName);
    std::string pattern = FolderOf(target_) + "/." + base + ".kerfo-XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        SetErrorFromErrno("can't create a temporary file beside it");
        return false;
    }
    temporary_ = std::move(pattern);
    pendingTemporary.store(temporary_.c_str());

    // The new file gets the permissions and owner of the file it replaces, or
    // those of any newly created file.
    struct stat existing {};
    if (stat(target_.c_str(), &existing) == 0) {
        fchmod(fd, existing.st_mode & 07777);
        if (fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            // Only the superuser may give a file away; ours stays ours.
        }
    } else {
        fchmod(fd, 0666 & ~CurrentUmask());
    }

    stream_ = fdopen(fd, "wb");
    if (stream_ == nullptr) {
        SetErrorFromErrno("can't write the temporary file");
        close(fd);
        Discard();
        return false;
    }
    return true;
}

bool ReplacementFile::Commit() {
    if (stream_ == nullptr) {
        error_ = "nothing was written";
        return false;
    }
    const bool writeFailed = std::fflush(stream_) != 0 || std::ferror(stream_) != 0;
    const int savedErrno = errno;
    const bool closeFailed = std::fclose(stream_) != 0;
    stream_ = nullptr;
    if (writeFailed || closeFailed) {
        errno = writeFailed ? savedErrno : errno;
        SetErrorFromErrno("not every byte could be written");
        Discard();
        return false;
    }
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        SetErrorFromErrno("can't replace it");
        Discard();
        return false;
    }
    pendingTemporary.store(nullptr);
    temporary_.clear();
    return true;
}

void ReplacementFile::Discard() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temporary_.empty()) {
        pendingTemporary.store(nullptr);
        unlink(temporary_.c_str());
        temporary_.clear();
    }
}

}  // namespace kerfo::platform
