/* Prints the short 8.3 name that Windows gives an existing file:
 *   short_name.exe NAME
 * Exits 1 when it has none. */
#include <stdio.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    wchar_t name[MAX_PATH];
    if (argc != 2) {
        return 2;
    }
    const DWORD length = GetShortPathNameW(argv[1], name, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 1;
    }
    wprintf(L"%ls\n", name);
    return 0;
}
