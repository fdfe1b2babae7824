// The Windows side of folder listing, program starting and the process id.

#include <windows.h>

#include <shellapi.h>

#include "platform/system.h"

namespace kerfo::platform {

std::vector<FolderEntry> FindFolderEntries(const std::string& searchPath) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA(searchPath.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return entries;
    }
    do {
        entries.push_back(
            {found.cFileName, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return entries;
}

int RunProgramAndWait(const char* program, const char* parameters,
                      const std::vector<const char*>& /*arguments*/, int showCommand) {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = program;
    info.lpParameters = parameters;
    info.nShow = showCommand;
    if (!ShellExecuteExA(&info) || info.hProcess == nullptr) {
        return -1;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 0;
    const bool known = GetExitCodeProcess(info.hProcess, &code) != 0;
    CloseHandle(info.hProcess);
    return known ? static_cast<int>(code) : -1;
}

unsigned long ProcessId() {
    return GetCurrentProcessId();
}

}  // namespace kerfo::platform
