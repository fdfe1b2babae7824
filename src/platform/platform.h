#pragma once
// The platform layer: the few system services the program needs, in one place,
// so the rest of the code does not depend on the operating system.

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace kerfo::platform {

// How paths are written: the separator that joins a folder and a name, every
// character that separates the components of a path, and whether a path may
// begin with a drive ("C:").
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr std::string_view kPathSeparators = "\\/";
inline constexpr bool kPathsHaveDrives = true;
#else
inline constexpr char kPathSeparator = '/';
inline constexpr std::string_view kPathSeparators = "/";
inline constexpr bool kPathsHaveDrives = false;
#endif

// The length of the drive that path begins with ("C:"), or 0.
inline std::size_t DrivePrefixLength(std::string_view path) {
    return kPathsHaveDrives && path.size() >= 2 && path[1] == ':' ? 2 : 0;
}

// Whether a name joined to folder needs a separator between them: the folder
// is not empty and doesn't end in one.
inline bool NeedsSeparator(std::string_view folder) {
    return !folder.empty() && folder.back() != kPathSeparator;
}

// The folder and the name joined by a separator where one is needed.
inline std::string JoinFolderAndName(std::string_view folder, std::string_view name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder);
    if (NeedsSeparator(folder)) {
        path += kPathSeparator;
    }
    path.append(name);
    return path;
}

enum class BoxKind { Information, FatalWarning };

// Shows one modal message box and returns once it is dismissed. On a terminal
// an information box goes to standard output and a warning to standard error;
// with no terminal on any standard stream and a display set, the box is a
// desktop dialog (platform/dialog.h), and the console whenever that fails.
int ShowBox(BoxKind kind, const char* title, const char* text);

// Writes a box to the console: the title line (marked "warning" for a fatal
// box), then the text whole and unchanged.
void ShowConsoleBox(BoxKind kind, const char* title, const char* text);

// Records the arguments the process was started with; CommandLineText builds
// the whole command line from them. Windows hands a program its command line
// whole (GetCommandLineA), and there this does nothing.
void SetProcessArguments(int argc, const char* const* argv);

// The whole command line as one text, program path first.
const char* CommandLineText();

// The command line as it was typed, where CommandLineText may differ from it:
// a Windows whose code page is not UTF-8 hands a program that reads its
// command line as text a look-alike or a question mark for every character
// the code page lacks ("Łódź.jpg" becomes "Lódz.jpg" under code page 1252).
// None when CommandLineText is the command line as typed, as it always is on
// POSIX. SameAsTyped tells whether a text of CommandLineText is the same
// characters as one of this text.
std::optional<std::string> TypedCommandLine();
bool SameAsTyped(std::string_view passed, std::string_view typed);

// Joins arguments into one command line that the program's tokenizer splits
// back into the same arguments: an argument that is empty, begins with a double
// quote, or holds a blank, tab, line feed or carriage return is written inside
// double quotes with each double quote in it doubled.
std::string BuildCommandLine(int argc, const char* const* argv);

// Copies the full path of the running program into the buffer, cut to size - 1
// characters. Returns the number of characters copied, size when the path did
// not fit, and 0 on failure.
int ModuleFileName(char* buffer, int size);

// Opens an address with the desktop's default handler without waiting for the
// handler to finish. Returns false when no handler could be started or the
// one started said at once that it failed (as xdg-open does where no browser
// is installed).
bool OpenAddress(const char* address);

// Appends text and a line end to the log file at path as one write, creating
// the file (readable by its owner only) when it is missing. On Windows every
// line end, within the text and after it, is CR LF, as in a text file there.
// Only a regular file of the user's own is written to, never one reached
// through a symbolic link; otherwise, and on any error, nothing is written and
// nothing is said.
void AppendLogLine(const char* path, const char* text);

// A picture file opened for reading.
struct InputFile {
    enum class Status { Opened, Failed, NotARegularFile };
    Status status = Status::Failed;
    std::FILE* stream = nullptr;  // the caller's to close, when Opened
    std::uint64_t size = 0;
};

// Opens path for reading in binary mode when it is a regular file or a link to
// one. Anything else (a folder, a device, a FIFO, which would block the open)
// is refused at once without being read.
InputFile OpenInputFile(const char* path);

// Opens a file as a C stream, as fopen does (mode "rb", "r", ...); on Windows
// by its UTF-16 name, at any length. Null when it can't be opened.
std::FILE* OpenFile(const char* path, const char* mode);

// The memory that this process can still have: the least of the system's
// available memory, its control group's and its own limits. None when none of
// them can be read.
std::optional<std::uint64_t> AvailableMemory();

// How many processors this process may run on: those its affinity allows
// (taskset, a container's share), not the machine's count; at least 1.
unsigned UsableCores();

// The local time of a moment, as localtime gives it but safe to call from
// anywhere; false when it can't be had.
bool LocalTime(std::time_t moment, std::tm& local);

// Creates one folder; the result is 0 on success, -1 on failure.
int MakeDir(const char* path);

// The folder for temporary files: TEMP, then TMPDIR, then /tmp (on Windows:
// TEMP, then C:\\temp). A TEMP that is set but empty is returned empty.
std::string TempFolder();

// The per-user application-data folder: AppData, APPDATA, XDG_DATA_HOME, then
// HOME/.local/share (on Windows: AppData alone); none when none is set.
std::optional<std::string> AppDataFolder();

}  // namespace kerfo::platform
