// The Windows side of the platform layer. Every file and folder is reached
// through the ...W calls, by its UTF-16 name at any length (wide_win32.h).

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "platform/wide_win32.h"

namespace kerfo::platform {
namespace {

// The value of an environment variable, exactly as Windows keeps it (UTF-16,
// whatever the code page); none when it is not set.
std::optional<std::wstring> EnvironmentValue(const wchar_t* name) {
    SetLastError(ERROR_SUCCESS);
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            return std::nullopt;
        }
        return std::wstring();
    }
    std::wstring value(size, L'\0');
    // The value may change between the two calls; take what the second gives.
    while ((size = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()))) >=
           value.size()) {
        value.resize(size);
    }
    value.resize(size);
    return value;
}

}  // namespace

InputFile OpenInputFile(const char* path) {
    InputFile input;
    const std::wstring name = WidePath(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        input.status = InputFile::Status::NotARegularFile;
        return input;
    }
    const HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return input;
    }
    // A device (CON, NUL, COM1) or a pipe is no picture file, and reading one
    // could wait for ever.
    LARGE_INTEGER size{};
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        input.status = InputFile::Status::NotARegularFile;
        return input;
    }
    if (!GetFileSizeEx(handle, &size)) {
        CloseHandle(handle);
        return input;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return input;
    }
    input.stream = _fdopen(fd, "rb");
    if (input.stream == nullptr) {
        _close(fd);
        return input;
    }
    input.status = InputFile::Status::Opened;
    input.size = static_cast<std::uint64_t>(size.QuadPart);
    return input;
}

std::FILE* OpenFile(const char* path, const char* mode) {
    return _wfopen(WidePath(path).c_str(), Wide(mode).c_str());
}

std::optional<std::uint64_t> AvailableMemory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) {
        return std::nullopt;
    }
    return std::min<std::uint64_t>(status.ullAvailPhys, status.ullAvailVirtual);
}

unsigned UsableCores() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
        unsigned count = 0;
        for (; process != 0; process &= process - 1) {
            ++count;
        }
        return count;
    }
    return std::max<unsigned>(1, GetActiveProcessorCount(ALL_PROCESSOR_GROUPS));
}

void SetProcessArguments(int /*argc*/, const char* const* /*argv*/) {}

const char* CommandLineText() {
    return GetCommandLineA();
}

std::optional<std::string> TypedCommandLine() {
    std::string typed = ExactUtf8(GetCommandLineW());
    if (typed == ExactUtf8(Wide(GetCommandLineA()))) {
        return std::nullopt;
    }
    return typed;
}

bool SameAsTyped(std::string_view passed, std::string_view typed) {
    return ExactUtf8(Wide(passed)) == typed;
}

int ModuleFileName(char* buffer, int size) {
    if (size <= 0) {
        return 0;
    }
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
               path.size() &&
           path.size() < 32768) {
        path.resize(path.size() * 2);
    }
    if (length == 0 || length >= path.size()) {
        buffer[0] = '\0';
        return 0;
    }
    path.resize(length);
    const std::string narrow = NarrowPath(path);
    const std::size_t copied = std::min(narrow.size(), static_cast<std::size_t>(size - 1));
    narrow.copy(buffer, copied);
    buffer[copied] = '\0';
    return narrow.size() >= static_cast<std::size_t>(size) ? size : static_cast<int>(copied);
}

bool OpenAddress(const char* address) {
    // The default action for the address, started hidden from C:\; the shell
    // says a value above 32 when it handed the address on.
    const HINSTANCE result =
        ShellExecuteW(nullptr, L"", Wide(address).c_str(), L"", L"C:\\", SW_HIDE);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

void AppendLogLine(const char* path, const char* text) {
    // Appends at the end in one write; a link is opened as itself and then
    // left alone, and so is anything but a file on a disk.
    const HANDLE handle = CreateFileW(
        WidePath(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &information) &&
        (information.dwFileAttributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0) {
        // Line ends as a text file on Windows has them, within the text too.
        std::string line;
        for (const char* c = text; *c != '\0'; ++c) {
            if (*c == '\n') {
                line += '\r';
            }
            line += *c;
        }
        line += "\r\n";
        DWORD written = 0;
        WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    CloseHandle(handle);
}

bool LocalTime(std::time_t moment, std::tm& local) {
    return localtime_s(&local, &moment) == 0;
}

int MakeDir(const char* path) {
    return CreateDirectoryW(WidePath(path).c_str(), nullptr) ? 0 : -1;
}

std::string TempFolder() {
    if (const std::optional<std::wstring> temp = EnvironmentValue(L"TEMP")) {
        return NarrowPath(*temp);
    }
    return "C:\\temp";
}

std::optional<std::string> AppDataFolder() {
    if (const std::optional<std::wstring> value = EnvironmentValue(L"AppData")) {
        return NarrowPath(*value);
    }
    return std::nullopt;
}

}  // namespace kerfo::platform
