// Writing files through temporary files and renames, on Windows, by the
// files' UTF-16 names at any length.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <utility>

#include "platform/platform.h"
#include "platform/safe_file.h"
#include "platform/safe_file_backend.h"
#include "platform/wide_win32.h"

namespace kerfo::platform {

using detail::BaseNameOf;
using detail::FolderOf;
using detail::ResolveTarget;

namespace {

// Of the target's own name, so many UTF-16 characters go into the temporary
// file's name; with the dot and the suffix it stays below the limit of 255.
constexpr std::size_t kMaxBaseInTemporaryName = 200;
constexpr int kNameAttempts = 100;

// The console's close and Ctrl-C handler runs on a thread of its own: it takes
// the lock that every CleanupHold holds, so it waits for a set of renames to
// end and always finds the list of temporary files whole.
std::recursive_mutex cleanupLock;

BOOL WINAPI RemovePending(DWORD /*event*/) {
    cleanupLock.lock();  // held until the process ends
    for (const std::string& path : detail::PendingTemporaries()) {
        DeleteFileW(WidePath(path).c_str());
    }
    return FALSE;  // the default handler then ends the process
}

// Once, whichever thread comes first.
void InstallCleanupHandler() {
    static const bool installed = SetConsoleCtrlHandler(RemovePending, TRUE) != 0;
    static_cast<void>(installed);
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

// The path a handle's file has now, without the \\?\ prefix (WidePath puts
// it back where the length needs it); otherwise where the code page can't
// hold it.
std::string FinalPath(HANDLE handle, const std::string& otherwise) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                               FILE_NAME_NORMALIZED)) >= path.size()) {
        path.resize(length);
    }
    if (length == 0) {
        return otherwise;
    }
    path.resize(length);
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        path = L"\\" + path.substr(7);
    } else if (path.rfind(L"\\\\?\\", 0) == 0 && path.size() >= 6 && path[5] == L':') {
        path = path.substr(4);  // a volume without a drive letter keeps the prefix
    }
    bool whole = false;
    std::string narrow = Narrow(path, &whole);
    return whole ? narrow : otherwise;
}

// A name as the file system compares names: without the dots and blanks that
// Windows drops from its end, and in upper case, in every script ("über.jpg"
// and "ÜBER.JPG" are one file).
std::wstring ComparableName(std::wstring name) {
    while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) {
        name.pop_back();
    }
    if (name.empty()) {
        return name;
    }
    const int size = static_cast<int>(name.size());
    std::wstring upper(name.size(), L'\0');
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.c_str(), size, upper.data(),
                      size, nullptr, nullptr, 0) != size) {
        return name;
    }
    return upper;
}

// Which file a handle has open: its volume and its number there.
std::string IdentityOfHandle(HANDLE handle, DWORD* attributes = nullptr) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information)) {
        return {};
    }
    if (attributes != nullptr) {
        *attributes = information.dwFileAttributes;
    }
    return std::to_string(information.dwVolumeSerialNumber) + ":" +
           std::to_string(information.nFileIndexHigh) + ":" +
           std::to_string(information.nFileIndexLow);
}

// The path with its last component as the folder lists that file: a search
// for a name without wildcards finds the entry of that name, long or short, in
// any case, and gives its long name as stored.
std::string ListedName(const std::string& path, const std::wstring& widePath) {
    if (widePath.find_first_of(L"*?<>\"") != std::wstring::npos) {
        return path;
    }
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(widePath.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return path;
    }
    FindClose(search);
    bool whole = false;
    const std::string listed = Narrow(found.cFileName, &whole);
    const std::string base = BaseNameOf(path);
    return whole && !base.empty() ? path.substr(0, path.size() - base.size()) + listed : path;
}

// Opens what path names, a folder too, without reading or locking it.
HANDLE OpenToInspect(const std::wstring& path) {
    return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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
    std::wstring wideBase = Wide(BaseNameOf(target)).substr(0, kMaxBaseInTemporaryName);
    if (!wideBase.empty() && wideBase.back() >= 0xD800 && wideBase.back() < 0xDC00) {
        wideBase.pop_back();  // half a character
    }
    const std::string base = Narrow(wideBase);
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
// so that the link stays and the file it names gets the new contents. A file
// named by its short 8.3 name or in another case is named as its folder lists
// it: a file moved over it takes the name the move gives, and
// "Longer name.jpg" would become "LONGER~1.JPG".
std::string ResolveTarget(const std::string& path) {
    const std::wstring name = WidePath(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return path;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? path : ListedName(path, name);
    }
    const CloseHandleOnExit file{OpenToInspect(name)};
    return file.handle == INVALID_HANDLE_VALUE ? path : FinalPath(file.handle, path);
}

std::string IdentityOf(const std::string& path) {
    const CloseHandleOnExit file{OpenToInspect(WidePath(path))};
    return file.handle == INVALID_HANDLE_VALUE ? std::string() : IdentityOfHandle(file.handle);
}

void RemoveFile(const std::string& path) {
    DeleteFileW(WidePath(path).c_str());
}

void StartWriteBack(std::FILE* /*stream*/) {}

// A move made with MOVEFILE_WRITE_THROUGH is on disk, name and all, when it
// returns: a folder has nothing more to flush.
void SyncFolder(const std::string& /*folder*/) {}

bool MoveOver(const std::string& from, const std::string& to, std::string& error) {
    // rename() can't replace a file on Windows.
    if (!MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
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
        handle =
            CreateFileW(WidePath(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
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
    const CloseHandleOnExit file{CreateFileW(WidePath(temporary_).c_str(), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                             nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE || !FlushFileBuffers(file.handle)) {
        error_ = "not every byte could be written: " + LastErrorText();
        return false;
    }
    return true;
}

std::thread StartWorkerThread(std::function<void()> work) {
    // The console's handler runs on a thread of its own anyway.
    return std::thread(std::move(work));
}

TargetInfo InspectTarget(const std::string& path) {
    TargetInfo info;
    const std::string target = ResolveTarget(path);
    const std::wstring name = WidePath(target);
    std::wstring fullPath(MAX_PATH, L'\0');
    wchar_t* namePart = nullptr;
    DWORD length = 0;
    while ((length = GetFullPathNameW(name.c_str(), static_cast<DWORD>(fullPath.size()),
                                      fullPath.data(), &namePart)) >= fullPath.size()) {
        fullPath.resize(length);
    }
    fullPath.resize(length);
    const CloseHandleOnExit file{OpenToInspect(name)};
    // A name that Windows takes for a device (NUL.jpg is \\.\NUL, and so are
    // COM1.png, AUX.a.bmp, "con .jpg") or for a stream of a file (a.jpg:b.jpg)
    // names no file on a disk that a renamed one could replace.
    const bool device = fullPath.rfind(L"\\\\.\\", 0) == 0 && name.rfind(L"\\\\.\\", 0) != 0;
    if (device || (namePart != nullptr && std::wcschr(namePart, L':') != nullptr) ||
        (file.handle != INVALID_HANDLE_VALUE && GetFileType(file.handle) != FILE_TYPE_DISK)) {
        info.identity = "?" + target;
        info.replaceError = EINVAL;
        return info;
    }
    DWORD attributes = 0;
    if (file.handle != INVALID_HANDLE_VALUE &&
        !(info.identity = IdentityOfHandle(file.handle, &attributes)).empty()) {
        // Every name of the file, in any case or script, its short 8.3 name,
        // a link or another spelling of its folder, leads to this one number.
        info.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!info.isFolder && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            info.replaceError = EACCES;
        } else if (!info.isFolder) {
            // A program that holds the file open without letting others
            // delete it (a viewer, say) would make the move fail after the
            // other pieces are in place.
            const CloseHandleOnExit probe{CreateFileW(
                name.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
            if (probe.handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) {
                info.replaceError = EBUSY;
            }
        }
        return info;
    }
    // A file yet to be made is named by its folder, the same however the
    // folder is reached or spelt, and its own name as the file system
    // compares names.
    if (length == 0 || namePart == nullptr) {
        info.identity = "?" + target;
        return info;
    }
    const std::wstring ownName = ComparableName(namePart);
    fullPath.resize(static_cast<std::size_t>(namePart - fullPath.data()));
    if (fullPath.size() > 1 && fullPath.back() == L'\\' && fullPath[fullPath.size() - 2] != L':') {
        fullPath.pop_back();  // the folder itself; a drive's root keeps its backslash
    }
    const CloseHandleOnExit folder{OpenToInspect(fullPath)};
    const std::string folderIdentity =
        folder.handle == INVALID_HANDLE_VALUE ? std::string() : IdentityOfHandle(folder.handle);
    if (folderIdentity.empty()) {
        info.identity = "?" + target;
        return info;
    }
    info.identity = folderIdentity + "\\" + ExactUtf8(ownName);
    return info;
}

}  // namespace kerfo::platform
