// The program's entry on Windows: a desktop program, which takes its command
// line from the system (GetCommandLineA) and runs.

#include <windows.h>

#include "app/dispatch.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return kerfo::WinMain();
}
