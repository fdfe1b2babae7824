// The safe writes that every system shares: finishing, committing and
// discarding replacement files, and the replacement of a set of targets.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "platform/platform.h"
#include "platform/safe_file.h"
#include "platform/safe_file_backend.h"

namespace kerfo::platform {

namespace detail {

std::vector<std::string>& PendingTemporaries() {
    static std::vector<std::string> pending;
    return pending;
}

void ForgetPending(const std::string& path) {
    std::vector<std::string>& pending = PendingTemporaries();
    const auto found = std::find(pending.begin(), pending.end(), path);
    if (found != pending.end()) {
        pending.erase(found);
    }
}

std::string FolderOf(const std::string& path) {
    const std::size_t drive = DrivePrefixLength(path);
    const std::size_t slash = path.find_last_of(kPathSeparators);
    if (slash == std::string::npos || slash < drive) {
        return path.substr(0, drive) + ".";
    }
    return slash == drive ? path.substr(0, drive + 1) : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of(kPathSeparators);
    return path.substr(
        std::max(DrivePrefixLength(path), slash == std::string::npos ? 0 : slash + 1));
}

}  // namespace detail

ReplacementFile::ReplacementFile(std::string target) : target_(detail::ResolveTarget(target)) {}

ReplacementFile::~ReplacementFile() {
    Discard();
}

void ReplacementFile::SetErrorFromErrno(const char* what) {
    error_ = std::string(what) + ": " + std::strerror(errno);
}

bool ReplacementFile::Finish() {
    if (stream_ == nullptr) {
        error_ = "nothing was written";
        return false;
    }
    const bool failed = std::fflush(stream_) != 0 || std::ferror(stream_) != 0;
    const int savedErrno = errno;
    if (!failed) {
        detail::StartWriteBack(stream_);
    }
    const bool closeFailed = std::fclose(stream_) != 0;
    stream_ = nullptr;
    if (failed || closeFailed) {
        errno = failed ? savedErrno : errno;
        SetErrorFromErrno("not every byte could be written");
        Discard();
        return false;
    }
    finished_ = true;
    return true;
}

bool ReplacementFile::Rename() {
    if (!finished_) {
        error_ = "nothing was written";
        return false;
    }
    if (!detail::MoveOver(temporary_, target_, error_)) {
        return false;
    }
    detail::ForgetPending(temporary_);
    temporary_.clear();
    finished_ = false;
    return true;
}

bool ReplacementFile::Commit() {
    if (!Finish()) {
        return false;
    }
    const std::vector<ReplacementFile*> files = {this};
    return ReplaceTargets(files).replaced == 1;
}

void ReplacementFile::Discard() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temporary_.empty()) {
        const detail::CleanupHold hold;
        detail::RemoveFile(temporary_);
        detail::ForgetPending(temporary_);
        temporary_.clear();
    }
    finished_ = false;
}

ReplaceResult ReplaceTargets(const std::vector<ReplacementFile*>& files) {
    ReplaceResult result;
    for (result.failed = 0; result.failed < files.size(); ++result.failed) {
        if (!files[result.failed]->finished_) {
            files[result.failed]->error_ = "nothing was written";
            return result;
        }
        if (!files[result.failed]->Sync()) {
            return result;
        }
    }
    {
        // Two names that looked like two files may turn out to be one only
        // now: one that a rename has just made (a short 8.3 name on Windows,
        // a name in another case on a file system that ignores case). A piece
        // never replaces one that this set has put in place.
        std::vector<std::string> placed;
        const detail::CleanupHold hold;
        while (result.replaced < files.size()) {
            ReplacementFile& file = *files[result.replaced];
            const std::string there = files.size() > 1 ? detail::IdentityOf(file.Target()) : "";
            const auto earlier = std::find(placed.begin(), placed.end(), there);
            if (!there.empty() && earlier != placed.end()) {
                file.error_ = "it is the same file as " +
                              files[static_cast<std::size_t>(earlier - placed.begin())]->Target() +
                              ", which holds another piece";
                break;
            }
            if (!file.Rename()) {
                break;
            }
            placed.push_back(files.size() > 1 ? detail::IdentityOf(file.Target()) : "");
            ++result.replaced;
        }
    }
    result.failed = result.replaced;
    std::set<std::string> folders;
    for (std::size_t i = 0; i < result.replaced; ++i) {
        folders.insert(detail::FolderOf(files[i]->Target()));
    }
    for (const std::string& folder : folders) {
        detail::SyncFolder(folder);
    }
    return result;
}

}  // namespace kerfo::platform
