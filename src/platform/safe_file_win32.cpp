// Writing files through temporary files and renames, on Windows.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/platform.h"
#include "platform/safe_file.h"
#include "platform/safe_file_backend.h"

namespace kerfo::platform {

using detail::BaseNameOf;
using detail::FolderOf;
using detail::ResolveTarget;

namespace {

// Of the target's own name, so much goes into the temporary file's name; with
// the dot and the suffix it stays below the usual limit of 255 characters.
constexpr std::size_t kMaxBaseInTemporaryName = 200;
constexpr int kNameAttempts = 100;

// The console's close and Ctrl-C handler runs on a thread of its own: it takes
// the lock that every CleanupHold holds, so it waits for a set of renames to
// end and always finds the list of temporary files whole.
std::recursive_mutex cleanupLock;

BOOL WINAPI RemovePending(DWORD /*event*/) {
    cleanupLock.lock();  // held until the process ends
    for (const std::string& path : detail::PendingTemporaries()) {
        DeleteFileA(path.c_str());
    }
    return FALSE;  // the default handler then ends the process
}

void InstallCleanupHandler() {
    static bool installed = false;
    if (!installed) {
        installed = true;
        SetConsoleCtrlHandler(RemovePending, TRUE);
    }
}

// What Windows says of its last error, as one short clause.
std::string LastErrorText() {
    const DWORD code = GetLastError();
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = length > 0 ? std::string(text, length) : "error " + std::to_string(code);
    LocalFree(text);
    while (!result.empty() && std::strchr(". \r\n", result.back()) != nullptr) {
        result.pop_back();
    }
    return result;
}

struct CloseHandleOnExit {
    HANDLE handle;
    ~CloseHandleOnExit() {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
};

// The path a handle's file has now, without the \\?\ prefix.
std::string FinalPath(HANDLE handle, const std::string& otherwise) {
    char buffer[MAX_PATH * 4];
    const DWORD length =
        GetFinalPathNameByHandleA(handle, buffer, sizeof buffer, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= sizeof buffer) {
        return otherwise;
    }
    std::string path(buffer, length);
    if (path.rfind("\\\\?\\UNC\\", 0) == 0) {
        return "\\" + path.substr(7);
    }
    if (path.rfind("\\\\?\\", 0) == 0) {
        return path.substr(4);
    }
    return path;
}

std::string Lowercase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// A name for the temporary file that no earlier attempt used.
std::string TemporaryName(const std::string& target, int attempt) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    unsigned long long seed =
        static_cast<unsigned long long>(counter.QuadPart) * 6364136223846793005ULL +
        GetCurrentProcessId() * 1442695040888963407ULL + static_cast<unsigned long long>(attempt);
    std::string suffix;
    for (int i = 0; i < 6; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        suffix += kLetters[(seed >> 33) % (sizeof kLetters - 1)];
    }
    const std::string base = BaseNameOf(target).substr(0, kMaxBaseInTemporaryName);
    const std::string folder = FolderOf(target);
    const bool separator =
        !folder.empty() && kPathSeparators.find(folder.back()) == std::string::npos;
    return folder + (separator ? "\\" : "") + "." + base + ".kerfo-" + suffix;
}

}  // namespace

namespace detail {

CleanupHold::CleanupHold() {
    cleanupLock.lock();
}

CleanupHold::~CleanupHold() {
    cleanupLock.unlock();
}

// The file that a write to path really replaces: a symbolic link is followed,
// so that the link stays and the file it names gets the new contents.
std::string ResolveTarget(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return path;
    }
    const CloseHandleOnExit file{
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    return file.handle == INVALID_HANDLE_VALUE ? path : FinalPath(file.handle, path);
}

void RemoveFile(const std::string& path) {
    DeleteFileA(path.c_str());
}

void StartWriteBack(std::FILE* /*stream*/) {}

// A move made with MOVEFILE_WRITE_THROUGH is on disk, name and all, when it
// returns: a folder has nothing more to flush.
void SyncFolder(const std::string& /*folder*/) {}

bool MoveOver(const std::string& from, const std::string& to, std::string& error) {
    // rename() can't replace a file on Windows.
    if (!MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = "can't replace it: " + LastErrorText();
        return false;
    }
    return true;
}

}  // namespace detail

bool ReplacementFile::Open() {
    Discard();
    InstallCleanupHandler();
    // A name beside the target that starts with a dot, so the move stays
    // within one volume and the name tells what the file is.
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::string name;
    for (int attempt = 0; attempt < kNameAttempts && handle == INVALID_HANDLE_VALUE; ++attempt) {
        name = TemporaryName(target_, attempt);
        // The file and its entry in the list come into being together, so no
        // handler finds a file it doesn't know of.
        const detail::CleanupHold hold;
        handle = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                             nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            detail::PendingTemporaries().push_back(name);
        } else if (GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    if (handle == INVALID_HANDLE_VALUE) {
        error_ = "can't create a temporary file beside it: " + LastErrorText();
        return false;
    }
    temporary_ = std::move(name);
    finished_ = false;

    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    stream_ = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (stream_ == nullptr) {
        SetErrorFromErrno("can't write the temporary file");
        if (fd >= 0) {
            _close(fd);
        } else {
            CloseHandle(handle);
        }
        Discard();
        return false;
    }
    return true;
}

bool ReplacementFile::Sync() {
    // Flushing a file through any handle of it brings all its bytes to the
    // disk; done for all files of a job together, after all are written.
    const CloseHandleOnExit file{CreateFileA(
        temporary_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE || !FlushFileBuffers(file.handle)) {
        error_ = "not every byte could be written: " + LastErrorText();
        return false;
    }
    return true;
}

TargetInfo InspectTarget(const std::string& path) {
    TargetInfo info;
    const std::string target = ResolveTarget(path);
    const CloseHandleOnExit file{
        CreateFileA(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    BY_HANDLE_FILE_INFORMATION information{};
    if (file.handle != INVALID_HANDLE_VALUE &&
        GetFileInformationByHandle(file.handle, &information)) {
        info.identity = std::to_string(information.dwVolumeSerialNumber) + ":" +
                        std::to_string(information.nFileIndexHigh) + ":" +
                        std::to_string(information.nFileIndexLow);
        info.isFolder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!info.isFolder && (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
            info.replaceError = EACCES;
        } else if (!info.isFolder) {
            // A program that holds the file open without letting others
            // delete it (a viewer, say) would make the move fail after the
            // other pieces are in place.
            const CloseHandleOnExit probe{CreateFileA(
                target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
            if (probe.handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) {
                info.replaceError = EBUSY;
            }
        }
        return info;
    }
    // A file yet to be made is named by its folder's full path and its own
    // name; Windows doesn't tell names apart by case.
    char folder[MAX_PATH * 4];
    const DWORD length = GetFullPathNameA(FolderOf(target).c_str(), sizeof folder, folder, nullptr);
    if (length == 0 || length >= sizeof folder) {
        info.identity = "?" + target;
        return info;
    }
    std::string full(folder, length);
    if (full.back() != '\\') {
        full += '\\';
    }
    info.identity = Lowercase(full + BaseNameOf(target));
    return info;
}

}  // namespace kerfo::platform
