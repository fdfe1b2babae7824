// Writing files through temporary files and renames, on POSIX.

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/safe_file.h"
#include "platform/safe_file_backend.h"

namespace kerfo::platform {

using detail::BaseNameOf;
using detail::FolderOf;
using detail::ResolveTarget;

namespace {

// Every signal whose default ends the run and that can be caught: besides
// Ctrl-C, kill, hang-up and quit, a CPU-time limit (ulimit -t sends SIGXCPU), an
// alarm and the user signals.
constexpr int kCleanupSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,
                                   SIGXCPU, SIGALRM, SIGUSR1, SIGUSR2};

// Of the target's own name, so much goes into the temporary file's name; with
// the dot and the suffix it stays below the usual limit of 255 bytes.
constexpr std::size_t kMaxBaseInTemporaryName = 200;

sigset_t CleanupSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signalNumber : kCleanupSignals) {
        sigaddset(&set, signalNumber);
    }
    return set;
}

// Taken by the outermost CleanupHold of any thread, and by the handler: a
// lock that a signal handler may wait for, since it never sleeps. A thread
// blocks the cleanup signals before it takes the lock, so the handler never
// waits for the thread it interrupted.
std::atomic_flag pendingLock = ATOMIC_FLAG_INIT;

void LockPending() {
    while (pendingLock.test_and_set(std::memory_order_acquire)) {
    }
}

extern "C" void RemovePendingAndDie(int signalNumber) {
    LockPending();  // held until the process ends
    for (const std::string& path : detail::PendingTemporaries()) {
        unlink(path.c_str());
    }
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void InstallEachCleanupHandler() {
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
    // A file-size limit (ulimit -f) would kill the run without a word and
    // leave the temporary file; ignored, it makes the write fail with EFBIG,
    // reported like a full disk.
    struct sigaction previous {};
    if (sigaction(SIGXFSZ, nullptr, &previous) == 0 && previous.sa_handler == SIG_DFL) {
        std::signal(SIGXFSZ, SIG_IGN);
    }
}

// Once, whichever thread comes first.
void InstallCleanupHandlers() {
    static const bool installed = [] {
        InstallEachCleanupHandler();
        return true;
    }();
    static_cast<void>(installed);
}

mode_t CurrentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// True when path is a symbolic link that someone else planted in a folder that
// everybody may write to and that keeps each file to its owner (sticky, as
// /tmp is): a link owned by neither the user nor the folder's owner.
bool IsStrangersLinkInSharedFolder(const std::string& path) {
    struct stat link {};
    struct stat folder {};
    return lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) &&
           stat(FolderOf(path).c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) != 0 &&
           (folder.st_mode & S_IWOTH) != 0 && link.st_uid != geteuid() &&
           link.st_uid != folder.st_uid;
}

std::string IdentityOfStatus(const struct stat& status) {
    return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
}

// Why the existing file at target, with that status, can't be replaced, or 0.
int ReplaceError(const std::string& target, const struct stat& status) {
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        return errno;  // read-only to us, immutable, or on a read-only file system
    }
    const int fd = open(target.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        int flags = 0;
        const bool fixed = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                           (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
        close(fd);
        if (fixed) {
            return EPERM;
        }
    }
    struct stat folder {};
    if (geteuid() != 0 && status.st_uid != geteuid() &&
        stat(FolderOf(target).c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) != 0 &&
        folder.st_uid != geteuid()) {
        return EPERM;
    }
    return 0;
}

}  // namespace

namespace detail {

// A thread's nested holds block the signals and take the lock once, and let
// them go when the outermost ends.
namespace {
thread_local int holdDepth = 0;
thread_local sigset_t maskBeforeHold;
}  // namespace

CleanupHold::CleanupHold() {
    if (holdDepth++ == 0) {
        const sigset_t set = CleanupSignalSet();
        pthread_sigmask(SIG_BLOCK, &set, &maskBeforeHold);
        LockPending();
    }
}

CleanupHold::~CleanupHold() {
    if (--holdDepth == 0) {
        pendingLock.clear(std::memory_order_release);
        pthread_sigmask(SIG_SETMASK, &maskBeforeHold, nullptr);
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

std::string IdentityOf(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? IdentityOfStatus(status) : std::string();
}

void RemoveFile(const std::string& path) {
    unlink(path.c_str());
}

void StartWriteBack([[maybe_unused]] std::FILE* stream) {
#ifdef SYNC_FILE_RANGE_WRITE
    // The disk can take the bytes while the next piece is made.
    sync_file_range(fileno(stream), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

// Flushes a folder's entries to disk. A file system that can't do it for
// folders has nothing to flush.
void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

bool MoveOver(const std::string& from, const std::string& to, std::string& error) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        error = std::string("can't replace it: ") + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace detail

bool ReplacementFile::Open() {
    Discard();
    InstallCleanupHandlers();
    // A hidden name beside the target, so the rename stays within one file
    // system and a folder listing does not show the file half written.
    // The name is cut short enough to stay within the file system's limit.
    const std::string base = BaseNameOf(target_).substr(0, kMaxBaseInTemporaryName);
    std::string pattern = FolderOf(target_) + "/." + base + ".kerfo-XXXXXX";
    int fd = -1;
    {
        // The file and its entry in the list come into being together, so no
        // signal finds a file it doesn't know of.
        const detail::CleanupHold hold;
        std::vector<std::string>& pending = detail::PendingTemporaries();
        if (pending.size() == pending.capacity()) {
            pending.reserve(2 * pending.size() + 16);
        }
        fd = mkostemp(pattern.data(), O_CLOEXEC);
        if (fd >= 0) {
            pending.push_back(pattern);
        }
    }
    if (fd < 0) {
        SetErrorFromErrno("can't create a temporary file beside it");
        return false;
    }
    temporary_ = std::move(pattern);
    finished_ = false;

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

bool ReplacementFile::Sync() {
    // Flushing a file through any descriptor of it brings all its bytes to
    // the disk. Done for all files of a job together, it costs the file
    // system's journal one commit rather than one a file.
    const int fd = open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fsync(fd) != 0) {
        SetErrorFromErrno("not every byte could be written");
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    close(fd);
    return true;
}

std::thread StartWorkerThread(std::function<void()> work) {
    // The thread takes the mask it is started with.
    const sigset_t set = CleanupSignalSet();
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &set, &before);
    std::thread thread(std::move(work));
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return thread;
}

TargetInfo InspectTarget(const std::string& path) {
    TargetInfo info;
    if (IsStrangersLinkInSharedFolder(path)) {
        // The kernel (fs.protected_symlinks) refuses to open through such a
        // link; it may lead to any file of the user's.
        info.identity = "?" + path;
        info.replaceError = EACCES;
        return info;
    }
    const std::string target = ResolveTarget(path);
    struct stat status {};
    if (stat(target.c_str(), &status) == 0) {
        info.identity = IdentityOfStatus(status);
        info.isFolder = S_ISDIR(status.st_mode);
        if (!info.isFolder) {
            info.replaceError = ReplaceError(target, status);
        }
        return info;
    }
    // A file yet to be made is named by its folder, which may be reached
    // through links or spelt in many ways, and its own name.
    char* folder = realpath(FolderOf(target).c_str(), nullptr);
    if (folder == nullptr) {
        info.identity = "?" + target;
        return info;
    }
    info.identity = std::string("/") + folder + "/" + BaseNameOf(target);
    std::free(folder);
    return info;
}

}  // namespace kerfo::platform
