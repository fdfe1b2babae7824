// The Windows side of folder listing, program starting and the process id,
// through the ...W calls.

#include <windows.h>

#include <shellapi.h>

#include <utility>

#include "platform/system.h"
#include "platform/wide_win32.h"

namespace kerfo::platform {

std::vector<FolderEntry> FindFolderEntries(const std::string& searchPath) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(WidePath(searchPath).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return entries;
    }
    do {
        // A name that the code page can't hold is given by its short form,
        // which names the same file, where the volume keeps one.
        bool whole = false;
        std::string name = Narrow(found.cFileName, &whole);
        if (!whole && found.cAlternateFileName[0] != L'\0') {
            name = Narrow(found.cAlternateFileName);
        }
        entries.push_back(
            {std::move(name), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return entries;
}

int RunProgramAndWait(const char* program, const char* parameters,
                      const std::vector<const char*>& /*arguments*/, int showCommand) {
    const std::wstring file = Wide(program);
    const std::wstring text = Wide(parameters);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = file.c_str();
    info.lpParameters = text.c_str();
    info.nShow = showCommand;
    if (!ShellExecuteExW(&info) || info.hProcess == nullptr) {
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
