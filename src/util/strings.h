#pragma once
// String, number and process helpers of the program's general library. Texts
// that these functions return are new blocks from the C allocator (malloc) and
// belong to the caller, who releases them with free; functions that change a
// text in place return the pointer they were given.
//
// When memory runs out, the helpers end the run through Fatal. Concat3, Quote,
// AllocOrFatal and also Concat5, Substring and JoinArgs say "Out of memory";
// DupString, Concat2, SetOwnedString and Unquote say "out of memory". ReplaceAll
// alone returns null instead.

#include <cstdlib>
#include <memory>

namespace kerfo {

// Releases a block from the C allocator; lets a std::unique_ptr own a returned text.
struct FreeBlock {
    void operator()(void* block) const { std::free(block); }
};
using OwnedText = std::unique_ptr<char, FreeBlock>;

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

// New heap texts holding three and five texts, one after the other.
char* Concat3(const char* first, const char* second, const char* third);
char* Concat5(const char* first, const char* second, const char* third, const char* fourth,
              const char* fifth);

// Copies source into destination until its end or until n characters are
// copied, then writes a terminator: destination needs n + 1 bytes. n <= 0 gives
// the empty text. Returns destination.
char* CopyBounded(char* destination, const char* source, int n);

// A new text of at most length characters of text from position start. A start
// at or past the end, a negative start, or a length of 0 or less give the empty
// text.
char* Substring(const char* text, int start, int length);

// A new text in which every occurrence of oldPart, found from left to right
// without overlap, is replaced by newPart; the inserted text is not searched
// again. A null text gives null; a null newPart deletes the occurrences. An
// empty or null oldPart occurs nowhere, so the result is a plain copy. Returns
// null, leaving text untouched, when the result cannot be allocated.
char* ReplaceAll(const char* text, const char* oldPart, const char* newPart);

// Stores a new heap copy of text in *variable and frees the text the variable
// held before (if any). The copy is made first, so text may lie inside the old
// text, and the variable is unchanged when the run ends for want of memory.
void SetOwnedString(char** variable, const char* text);

// A new text holding each of the count texts preceded by one space, so it
// begins with a space; the empty text for a count of 0 or less.
char* JoinArgs(int count, const char* const* texts);

// A new text: text inside a pair of double quotes (a quoted text gets a second pair).
char* Quote(const char* text);

// A new text without one double quote at the start and one at the end, each
// removed on its own when it is there.
char* Unquote(const char* text);

// A new block of size bytes. Ends the run through Fatal ("Out of memory") when
// it cannot be had, and for a negative size instead of asking for a huge block.
// A size of 0 gives a block of one byte, so the result is never null.
void* AllocOrFatal(int size);

// The first character of text that is neither a space nor a tab (the
// terminator for a blank text).
const char* SkipBlanks(const char* text);
char* SkipBlanks(char* text);

// 1 when text holds nothing but spaces and tabs (the empty text included), else 0.
int IsBlank(const char* text);

// Ends text where its trailing run of spaces begins (a tab ends the run).
// Returns text.
char* TrimTrailingSpaces(char* text);

// 1 when text, after any spaces, begins with a decimal digit or a sign directly
// followed by one; else 0. Nothing after that is looked at.
int StartsWithNumber(const char* text);

// 1 when the whole text is a decimal number, else 0:
//   spaces, [sign], digits [. digits] (a digit before or after the point),
//   [e or E, [sign], digits], spaces.
// Only the space character counts as a space. An exponent needs at least one
// digit ("5e" and "5e+" are not numbers), and a sign after the digits without an
// e or E ("5-") is not part of a number.
int IsNumber(const char* text);

// Starts file (searched on PATH) with the arguments that the program's own
// tokenizer finds in parameters (none for null), waits for it and returns its
// exit status; -1 when it cannot be started or does not exit normally. The
// show command means nothing here and is ignored. Reports nothing.
int RunAndWait(const char* file, const char* parameters, int showCommand);

// The id of the running process.
unsigned long CurrentProcessId();

}  // namespace kerfo
