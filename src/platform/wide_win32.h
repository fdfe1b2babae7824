#pragma once
// Texts between the program's own form and the UTF-16 of Windows' ...W calls.
// The program's texts are in the system's code page, which Kerfo.exe's
// manifest makes UTF-8 (Windows 10 version 1903 and later); an older Windows
// keeps its own code page (1252, 932, ...), and then only names that the code
// page holds reach the program at all.

#include <string>
#include <string_view>

namespace kerfo::platform {

// The text in UTF-16; bytes that the code page doesn't know become U+FFFD.
std::wstring Wide(std::string_view text);

// The UTF-16 text in the code page. A character that the code page lacks
// becomes '?', never a look-alike ("Ł" is not "L"); whole tells whether none
// did.
std::string Narrow(std::wstring_view text, bool* whole = nullptr);

// A path from Windows (a folder of the environment, the program's own path) in
// the code page: its short 8.3 form where the long one has characters the code
// page lacks and the volume keeps short names, so that it still names the
// same file; otherwise as Narrow gives it.
std::string NarrowPath(const std::wstring& path);

// The path as the ...W file calls take it: as it is while its full form is
// shorter than the classic limit of 260 characters; otherwise that full form
// behind the \\?\ prefix (\\?\UNC\ for a share), which lifts the limit to
// 32,767 characters. A path given with the prefix, or a device's (\\.\), is
// taken as it is.
std::wstring WidePath(std::string_view path);

// The text in a lossless UTF-8 form that keeps every UTF-16 code unit, an
// unpaired surrogate too (which a file name may hold, and plain UTF-8 would
// turn into U+FFFD): two texts are the same characters when these are equal.
std::string ExactUtf8(std::wstring_view text);

}  // namespace kerfo::platform
