// The desktop dialog presenter on Windows: a message box, which shows every
// character of the text whatever the system's code page.

#include <windows.h>

#include "platform/dialog.h"
#include "platform/wide_win32.h"

namespace kerfo::platform {
namespace {

// True when the standard handle goes to a pipe or a file, as when a script
// captures the program's output, or to a device such as NUL: a desktop
// program gets a device only by a redirection, and a script that sends the
// output to NUL wants no box to wait for a user who never sees it.
bool IsCaptured(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const DWORD type = GetFileType(handle);
    return type == FILE_TYPE_PIPE || type == FILE_TYPE_DISK || type == FILE_TYPE_CHAR;
}

}  // namespace

bool WantsDesktopDialog() {
    return !IsCaptured(STD_OUTPUT_HANDLE) && !IsCaptured(STD_ERROR_HANDLE);
}

bool ShowDesktopDialog(BoxKind kind, const char* title, const char* text) {
    const UINT style = kind == BoxKind::FatalWarning ? MB_OK | MB_ICONWARNING : MB_OK;
    return MessageBoxW(nullptr, Wide(text).c_str(), Wide(title).c_str(), style) != 0;
}

}  // namespace kerfo::platform
