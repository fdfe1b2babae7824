// Reads the message box that a program shows, as a user sees it: waits for a
// top-level window with the given title and prints, one item a line,
//   title: TITLE
//   icon: WxH+X+Y       (where on the screen the icon is), or none
//   text: TEXT          (line breaks in it written as \n)
//   button: LABEL       (one line per button)
// It only reads; the box stays open. Exits 0 when it found the box, 1 when
// none came within the seconds given, 2 on a wrong command line.
// Usage: box_text.exe TITLE SECONDS

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

static void PrintEscaped(const char* label, const char* text) {
    printf("%s: ", label);
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '\r') {
            continue;
        }
        if (*c == '\n') {
            fputs("\\n", stdout);
        } else {
            putchar(*c);
        }
    }
    putchar('\n');
}

static int seenIcon;

static BOOL CALLBACK PrintChild(HWND child, LPARAM unused) {
    (void)unused;
    char kind[64];
    char text[4096];
    if (!IsWindowVisible(child) || !GetClassNameA(child, kind, sizeof kind)) {
        return TRUE;
    }
    GetWindowTextA(child, text, sizeof text);
    if (_stricmp(kind, "Static") == 0) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            // Which icon it is shows only on the screen (another process's
            // icon can't be read): the place, for a screenshot.
            RECT place;
            if (SendMessageA(child, STM_GETICON, 0, 0) != 0 && GetWindowRect(child, &place)) {
                printf("icon: %ldx%ld+%ld+%ld\n", place.right - place.left,
                       place.bottom - place.top, place.left, place.top);
                seenIcon = 1;
            }
        } else if (text[0] != '\0') {
            PrintEscaped("text", text);
        }
    } else if (_stricmp(kind, "Button") == 0) {
        PrintEscaped("button", text);
    }
    return TRUE;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: box_text.exe TITLE SECONDS\n");
        return 2;
    }
    const DWORD limit = (DWORD)(atof(argv[2]) * 1000);
    const DWORD start = GetTickCount();
    HWND box = NULL;
    while ((box = FindWindowA(NULL, argv[1])) == NULL || !IsWindowVisible(box)) {
        if (GetTickCount() - start > limit) {
            fprintf(stderr, "box_text: no window titled \"%s\" within %s s\n", argv[1], argv[2]);
            return 1;
        }
        Sleep(100);
    }
    // The box fills in its controls before it shows; a moment more lets it
    // finish drawing.
    Sleep(200);
    char title[512];
    GetWindowTextA(box, title, sizeof title);
    PrintEscaped("title", title);
    EnumChildWindows(box, PrintChild, 0);
    if (!seenIcon) {
        printf("icon: none\n");
    }
    fflush(stdout);
    return 0;
}
