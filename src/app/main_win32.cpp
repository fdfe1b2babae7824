// The program's entry on Windows: a desktop program, which takes its command
// line from the system (GetCommandLineA) and runs.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "app/dispatch.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // What a script captures from the streams is byte for byte what the Linux
    // build writes: line feeds, not CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return kerfo::WinMain();
}
