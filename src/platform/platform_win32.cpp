// The Windows side of the platform layer.

#include <windows.h>

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace kerfo::platform {

InputFile OpenInputFile(const char* path) {
    InputFile input;
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        input.status = InputFile::Status::NotARegularFile;
        return input;
    }
    const HANDLE handle =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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

std::optional<std::uint64_t> AvailableMemory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) {
        return std::nullopt;
    }
    return std::min<std::uint64_t>(status.ullAvailPhys, status.ullAvailVirtual);
}

void SetProcessArguments(int /*argc*/, const char* const* /*argv*/) {}

const char* CommandLineText() {
    return GetCommandLineA();
}

int ModuleFileName(char* buffer, int size) {
    if (size <= 0) {
        return 0;
    }
    const DWORD length = GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(size));
    if (length == 0) {
        buffer[0] = '\0';
        return 0;
    }
    if (length >= static_cast<DWORD>(size)) {
        buffer[size - 1] = '\0';
        return size;
    }
    return static_cast<int>(length);
}

bool OpenAddress(const char* address) {
    // The default action for the address, started hidden from C:\; the shell
    // says a value above 32 when it handed the address on.
    const HINSTANCE result = ShellExecuteA(nullptr, "", address, "", "C:\\", SW_HIDE);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

void AppendLogLine(const char* path, const char* text) {
    // Appends at the end in one write; a link is opened as itself and then
    // left alone, and so is anything but a file on a disk.
    const HANDLE handle =
        CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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
    return _mkdir(path);
}

std::string TempFolder() {
    if (const char* temp = std::getenv("TEMP")) {
        return temp;
    }
    return "C:\\temp";
}

std::optional<std::string> AppDataFolder() {
    if (const char* value = std::getenv("AppData")) {
        return std::string(value);
    }
    return std::nullopt;
}

}  // namespace kerfo::platform
