#pragma once
// Path and folder services: joining, extensions, the program's folder, the
// per-user data folder, file copies and folder chains. Paths use '/' as the
// separator; a backslash is an ordinary character in a file name.

#include <string>
#include <string_view>

namespace kerfo {

// folder, a '/' unless folder is empty or already ends in one, then name.
std::string JoinPath(std::string_view folder, std::string_view name);

// Writes JoinPath(folder, name) into buffer when it fits in capacity bytes,
// terminator included, and returns 1; otherwise returns 0 and leaves the buffer
// as it was.
int JoinPathInto(int capacity, char* buffer, const char* folder, const char* name);

// path with the extension of its last component (from its last '.') replaced
// by extension, which carries its own leading '.'; appended when there is none.
std::string ReplaceExtension(std::string_view path, std::string_view extension);

// The folder that holds the running program, without a trailing separator
// ("." when the program's path is unavailable or 512 characters or longer).
std::string ComputeProgramDir();

// The per-user data folder: the application-data folder, then maker, then
// program. Creates nothing. Ends the run through Fatal when the environment
// names no application-data folder.
std::string ComputePerUserFolder(const char* maker, const char* program);

// The path of the per-user copy of fileName, copied from sourceFolder (with the
// folders made first) when it does not exist yet; an existing copy is kept as it
// is. Ends the run through Fatal when the copy cannot be made.
std::string EnsurePerUserCopy(const char* sourceFolder, const char* maker, const char* program,
                              const char* fileName);

// 1 when path names a file (not a folder) that can be opened for reading, else 0.
int FileExists(const char* path);

// Copies source to target byte for byte and returns 1. The target is replaced
// only once the whole copy is in place. Ends the run through Fatal when the
// source can't be opened ("Can't open %s"), the target can't be created
// ("Can't create %s") or not every byte reaches it ("Can't write %s").
int CopyFileContents(const char* source, const char* target);

// Creates path and every missing folder above it, outermost first. Returns 0
// when path names nothing to create (null, empty, ".", "..", "/"), else 1;
// folders that exist or cannot be created are passed over silently.
int MakeDirChain(const char* path);

}  // namespace kerfo
