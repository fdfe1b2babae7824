#pragma once
// Readers for small configuration and data text files: a whole file, the lines
// of one [section], key=value settings in a file or among lines in memory, and
// splitting a line into fields, some of them in double quotes.
//
// Files are read byte for byte, but a carriage return directly before a line
// feed is dropped, so a CR LF file reads exactly like the same file with plain
// line feeds (as text-mode streams on Windows deliver it). A carriage return
// anywhere else stays in the text. A path that names a folder counts as a file
// that cannot be opened.
//
// Line arrays have the layout of a StringList: heap texts (C allocator) ended by
// a null pointer, in a heap array.

namespace kerfo {

// The whole file as a new heap text, with every CR LF read as a single line
// feed, so the text can be shorter than the file. Ends the run through Fatal
// with "Can't read file: <path>" when it cannot be opened and "ReadAll: Out of
// memory" when there is no room for it.
char* ReadAll(const char* path);

// Stores in *lines a new array (free it with FreeStringList) of the lines of
// section in the file at path and returns their number. The section starts
// behind the first line that begins, in its first column, with "[section]"
// (letter case aside; what follows the bracket is ignored) and runs to the
// first blank line (nothing but spaces and tabs) or the end of the file;
// further header lines are ordinary lines, and so are comments. Each line
// keeps its leading blanks and loses its line feed. Lines are read 254
// characters at a time: the pieces of a longer line come as entries of their
// own, though only a line's first piece can be a header or a blank line. A
// section not in the file gives 0 and an empty array, and so does a name
// longer than 252 characters, whose header would not fit in one read (a name
// too long for the 255-character header buffer is never formatted). Ends the
// run through Fatal with "LoadLines. <path> file missing" when the file cannot
// be opened, and with "out of memory".
int LoadLines(const char* path, const char* section, char*** lines);

// Frees every entry up to the null pointer; the array stays the caller's.
void FreeLines(char** lines);

// Frees the entries among the first count that are not null; the array stays
// the caller's.
void FreeCountedLines(int count, char** lines);

// Looks key up among the key=value lines of the file at path and returns a
// pointer to its value inside buffer (size bytes, provided by the caller), valid
// until the buffer is used again; null when no line matches, the file cannot be
// opened, or size is below 2 (no room for a character of a line). Lines are read
// up to size - 1 characters at a time, each piece as a line of its own. Lines
// that are blank, start with '#' after leading blanks, or hold no '=' are passed
// over. The key is the text before the first '=' less leading blanks and
// trailing spaces; it matches when it equals key apart from letter case, or when
// it is "*", which matches any key. The first matching line wins. The value is
// the text after the '=' less trailing spaces; its leading blanks stay.
char* FindSetting(const char* path, const char* key, int size, char* buffer);

// Looks key up among the first count lines and returns a pointer into the first
// line that, after leading spaces and tabs, holds key (apart from letter case)
// directly followed by '=': the value after the '=' and any spaces and tabs, to
// the end of the line. Lines starting with '#' and null entries are passed over;
// the lines are not changed. Null when none matches.
char* FindLineSetting(const char* key, int count, char* const* lines);

// Cuts text in place into at most max fields, stores a pointer to each in
// fields (max + 1 slots) and a null behind the last, and returns how many. A
// field ends at the separator, which becomes a terminator; spaces before a field
// are skipped, so with the space as separator runs of spaces count as one.
// A field that begins with a double quote runs to the next double quote instead,
// without the quotes, and a separator directly behind its closing quote belongs
// to it (so "a",b gives a and b, not a, an empty field and b). An unclosed quote
// runs to the end. Two separators in a row give an empty field, one at the very
// end gives none. Text behind the max-th field belongs to no field. A max of 0
// or less gives 0 fields and a null in slot 0.
int SplitFields(char separator, char* text, int max, char** fields);

// SplitFields with the space as separator.
int SplitWords(char* text, int max, char** fields);

// Removes one line feed at the end of text. Returns text.
char* StripNewline(char* text);

// Removes every carriage return and line feed at the end of text and turns each
// one inside it into a space. Returns text.
char* CleanLineEnds(char* text);

}  // namespace kerfo
