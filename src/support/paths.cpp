// Paths, folders and per-user data.

#include "support/paths.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "error/fatal.h"
#include "platform/platform.h"
#include "platform/safe_file.h"

namespace kerfo {
namespace {

using platform::kPathSeparator;
using platform::kPathSeparators;
constexpr int kProgramPathCapacity = 512;

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

// The folder part of a path as POSIX dirname gives it, with every separator
// of the platform counted and a drive prefix left in place ("C:\" for a file
// in a drive's root).
std::string DirectoryPart(std::string path) {
    const std::size_t drive = platform::DrivePrefixLength(path);
    if (path.size() == drive) {
        return path + ".";
    }
    const auto root = [&] { return path.substr(0, drive + 1); };
    std::size_t end = path.find_last_not_of(kPathSeparators);
    if (end == std::string::npos || end < drive) {
        return root();
    }
    const std::size_t slash = path.find_last_of(kPathSeparators, end);
    if (slash == std::string::npos || slash < drive) {
        return path.substr(0, drive) + ".";
    }
    end = path.find_last_not_of(kPathSeparators, slash);
    if (end == std::string::npos || end < drive) {
        return root();
    }
    return path.substr(0, end + 1);
}

std::string AppDataOrFatal() {
    const std::optional<std::string> appData = platform::AppDataFolder();
    if (!appData) {
        Fatal("The APPDATA environment variable is missing.");
    }
    return *appData;
}

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name) {
    return platform::JoinFolderAndName(folder, name);
}

int JoinPathInto(int capacity, char* buffer, const char* folder, const char* name) {
    const std::size_t folderLength = std::strlen(folder);
    const std::size_t nameLength = std::strlen(name);
    const bool separator = platform::NeedsSeparator(std::string_view(folder, folderLength));
    const std::size_t total = folderLength + (separator ? 1 : 0) + nameLength;
    if (capacity <= 0 || total >= static_cast<std::size_t>(capacity)) {
        return 0;
    }
    std::memcpy(buffer, folder, folderLength);
    std::size_t at = folderLength;
    if (separator) {
        buffer[at++] = kPathSeparator;
    }
    std::memcpy(buffer + at, name, nameLength + 1);
    return 1;
}

std::string ReplaceExtension(std::string_view path, std::string_view extension) {
    std::string result(path);
    const std::size_t separator = result.rfind(kPathSeparator);
    const std::size_t componentStart = separator == std::string::npos ? 0 : separator + 1;
    const std::size_t dot = result.find_last_of('.');
    if (dot != std::string::npos && dot >= componentStart) {
        result.erase(dot);
    }
    result.append(extension);
    return result;
}

std::string ComputeProgramDir() {
    char path[kProgramPathCapacity];
    const int length = platform::ModuleFileName(path, kProgramPathCapacity);
    if (length == 0 || length == kProgramPathCapacity) {
        return ".";
    }
    return DirectoryPart(std::string(path, static_cast<std::size_t>(length)));
}

std::string ComputePerUserFolder(const char* maker, const char* program) {
    return JoinPath(JoinPath(AppDataOrFatal(), maker), program);
}

std::string EnsurePerUserCopy(const char* sourceFolder, const char* maker, const char* program,
                              const char* fileName) {
    const std::string appData = AppDataOrFatal();
    const std::string makerFolder = JoinPath(appData, maker);
    const std::string programFolder = JoinPath(makerFolder, program);
    std::string target = JoinPath(programFolder, fileName);
    if (FileExists(target.c_str())) {
        return target;
    }
    MakeDirChain(makerFolder.c_str());
    MakeDirChain(programFolder.c_str());
    CopyFileContents(JoinPath(sourceFolder, fileName).c_str(), target.c_str());
    return target;
}

int FileExists(const char* path) {
    File file(platform::OpenFile(path, "r"));
    if (!file) {
        return 0;
    }
    struct stat status {};
    return fstat(fileno(file.get()), &status) == 0 && !S_ISDIR(status.st_mode) ? 1 : 0;
}

int CopyFileContents(const char* source, const char* target) {
    File input(platform::OpenFile(source, "rb"));
    if (!input) {
        Fatal("Can't open %s", source);
    }
    platform::ReplacementFile output(target);
    if (!output.Open()) {
        Fatal("Can't create %s", target);
    }
    char buffer[64 * 1024];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, input.get())) > 0) {
        if (std::fwrite(buffer, 1, count, output.Stream()) != count) {
            break;
        }
    }
    if (std::ferror(input.get()) || !output.Commit()) {
        Fatal("Can't write %s", target);
    }
    return 1;
}

int MakeDirChain(const char* path) {
    if (path == nullptr) {
        return 0;
    }
    const std::string_view whole(path);
    const std::string_view rest = whole.substr(platform::DrivePrefixLength(whole));
    if (rest.empty() || rest == "." || rest == ".." || rest == "/" ||
        (platform::kPathsHaveDrives && rest == "\\")) {
        return 0;
    }
    // The last slash, or only when there is none the last backslash.
    std::size_t slash = whole.rfind('/');
    if (slash == std::string_view::npos && platform::kPathsHaveDrives) {
        slash = whole.rfind('\\');
    }
    if (slash != std::string_view::npos) {
        const std::string parent(whole.substr(0, slash));
        MakeDirChain(parent.c_str());
    }
    platform::MakeDir(path);
    return 1;
}

}  // namespace kerfo
