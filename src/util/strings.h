#pragma once
// String helpers shared by the whole program. Texts that these functions return
// are allocated with the C allocator (malloc) and belong to the caller, who
// releases them with free.

namespace kerfo {

// Compares two texts position by position after tolower (ASCII letters only).
// At the first pair that differs: -1 when the first text's character is smaller
// (as a signed byte), 1 when it is larger. When either text ends: the raw
// character of the first text minus that of the second at that position, so 0
// means equal apart from letter case and of the same length.
int CompareNoCase(const char* first, const char* second);

// A new heap copy of text. Ends the run through Fatal ("out of memory") when
// no memory can be had.
char* DupString(const char* text);

// A new heap text holding first followed by second. Ends the run through Fatal
// ("out of memory") when no memory can be had.
char* Concat2(const char* first, const char* second);

}  // namespace kerfo
