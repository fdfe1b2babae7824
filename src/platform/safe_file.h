#pragma once
// Writing files so that what was there before survives any failure.

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kerfo::platform {

// The new contents of one file go into a temporary file in the target's folder,
// which is flushed to disk and then renamed over the target. Until then the
// target is untouched; the temporary file is removed when the object goes away
// unreplaced, and also when the process is interrupted, terminated, hung up or
// quit. A file-size limit makes a write fail like a full disk.
class ReplacementFile {
  public:
    // A symbolic link as target is followed: the link stays and the file it
    // names gets the new contents.
    explicit ReplacementFile(std::string target);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // The file that will be replaced, links followed.
    const std::string& Target() const { return target_; }

    // Creates the temporary file. Returns false, with Error() telling why, when
    // it cannot be created.
    bool Open();

    // The stream to write the new contents to; valid from Open to Finish.
    std::FILE* Stream() const { return stream_; }

    // Writes out the new contents and closes the temporary file; they start on
    // their way to the disk, and ReplaceTargets waits until they are there.
    // Returns false, with Error() telling why, when any byte failed to reach
    // the file; the temporary file is then removed.
    bool Finish();

    // Finish, then the rename over the target (see ReplaceTargets). Returns
    // false, with Error() telling why, when either failed; the target is then
    // unchanged.
    bool Commit();

    // Why the last operation failed.
    const std::string& Error() const { return error_; }

  private:
    friend struct ReplaceResult ReplaceTargets(const std::vector<ReplacementFile*>& files);
    bool Sync();
    bool Rename();
    void Discard();
    void SetErrorFromErrno(const char* what);

    std::string target_;
    std::string temporary_;
    std::FILE* stream_ = nullptr;
    bool finished_ = false;
    std::string error_;
};

struct ReplaceResult {
    std::size_t replaced = 0;
    // The file that failed, its Error() telling why; the count when none did.
    std::size_t failed = 0;
};

// Waits until every finished file is on disk (fsync), then renames each over
// its target, in order, as one step that no cleanup signal can split: a signal
// that arrives meanwhile takes effect after the last rename. Then flushes the
// folders to disk, so that the new names survive a crash. When a file can't be
// flushed, none is renamed; when a rename fails, the files from it on are left
// unreplaced.
ReplaceResult ReplaceTargets(const std::vector<ReplacementFile*>& files);

// Starts work on a thread of its own beside the main one. The cleanup of an
// interrupted run stays with the main thread (on POSIX the new thread blocks
// the cleanup signals); the thread may open, write and finish
// ReplacementFiles, each its own, while others do the same.
std::thread StartWorkerThread(std::function<void()> work);

// What a write to a path would replace.
struct TargetInfo {
    // Equal for two paths that name the same file, through links, hard links or
    // other spellings of the folder.
    std::string identity;
    // The path names a folder, which no file can replace.
    bool isFolder = false;
    // Why the file that is there can't be replaced (an errno value), or 0: it
    // is read-only to the user, immutable or append-only, or another user's in
    // a folder where only a file's owner may replace it (sticky, as /tmp is);
    // or the path is a link that another user planted in such a folder, which
    // is not followed; or (EINVAL) the name is Windows' for a device or for a
    // stream of a file.
    // A rename that failed on it would come after the other pieces are in place.
    int replaceError = 0;
};
TargetInfo InspectTarget(const std::string& path);

}  // namespace kerfo::platform
