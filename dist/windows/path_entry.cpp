// kerfo-path.exe: puts a folder on the PATH of the machine or of the user, or
// takes it off again, for Kerfo's installer and uninstaller, which can't do it
// themselves: NSIS's strings hold 1,024 characters, and many a PATH is longer.
//
//   kerfo-path add    {machine|user} FOLDER
//   kerfo-path remove {machine|user} FOLDER
//
// machine is HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment,
// user is HKCU\Environment. Every other entry, its separators and the value's
// type (REG_EXPAND_SZ or REG_SZ) stay as they are, so that adding a folder and
// removing it again gives back the value byte for byte. A missing value is
// made a REG_EXPAND_SZ, and a value that would be left empty is deleted. A
// change is announced to the running programs (WM_SETTINGCHANGE
// "Environment"), so that command prompts opened afterwards see it.
//
// Exit code: 0 the PATH was changed; 2 it was as asked already (the folder on
// it for add, not on it for remove); 1 it could not be read or written, or the
// command line is wrong: the reason on standard error, the PATH as it was.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

enum ExitCode : int { kChanged = 0, kFailed = 1, kUnchanged = 2 };

constexpr wchar_t kValueName[] = L"Path";
// The most characters an environment variable can hold.
constexpr std::size_t kMaxValueLength = 32767;

struct Failure {
    std::wstring message;
};

// Windows' text for an error code, without its closing full stop and line end.
std::wstring SystemMessage(LONG code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(buffer, &LocalFree);
    std::wstring text = length > 0 ? std::wstring(buffer, length) : std::wstring();
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.' ||
                             text.back() == L' ')) {
        text.pop_back();
    }
    return text.empty() ? L"error " + std::to_wstring(code) : text;
}

// One of the two Environment keys, open for reading and writing its values.
class EnvironmentKey {
  public:
    EnvironmentKey(HKEY root, const wchar_t* name, const std::wstring& where) {
        const LONG result = RegOpenKeyExW(root, name, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_);
        if (result != ERROR_SUCCESS) {
            throw Failure{L"Can't open " + where + L" for writing: " + SystemMessage(result)};
        }
    }
    ~EnvironmentKey() { RegCloseKey(key_); }
    EnvironmentKey(const EnvironmentKey&) = delete;
    EnvironmentKey& operator=(const EnvironmentKey&) = delete;

    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

struct PathValue {
    bool exists = false;
    DWORD type = REG_EXPAND_SZ;
    std::wstring text;  // without the terminating NULs
};

PathValue ReadPath(HKEY key, const std::wstring& where) {
    std::vector<wchar_t> buffer(4096);
    for (;;) {
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        const LONG result = RegQueryValueExW(key, kValueName, nullptr, &type,
                                             reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (result == ERROR_FILE_NOT_FOUND) {
            return PathValue{};
        }
        if (result == ERROR_MORE_DATA) {
            // It may grow again before the next reading: ask until it fits.
            buffer.resize(size / sizeof(wchar_t) + 1);
            continue;
        }
        if (result != ERROR_SUCCESS) {
            throw Failure{L"Can't read the PATH in " + where + L": " + SystemMessage(result)};
        }
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            throw Failure{L"The PATH in " + where + L" is no text (registry type " +
                          std::to_wstring(type) + L"): left as it is"};
        }
        PathValue value{true, type, std::wstring(buffer.data(), size / sizeof(wchar_t))};
        while (!value.text.empty() && value.text.back() == L'\0') {
            value.text.pop_back();
        }
        return value;
    }
}

std::vector<std::wstring_view> SplitEntries(std::wstring_view text) {
    std::vector<std::wstring_view> entries;
    if (text.empty()) {
        return entries;
    }
    for (;;) {
        const std::size_t end = text.find(L';');
        entries.push_back(text.substr(0, end));
        if (end == std::wstring_view::npos) {
            return entries;
        }
        text.remove_prefix(end + 1);
    }
}

// An entry as the folder it names: without the double quotes that may enclose
// it and without trailing backslashes.
std::wstring_view BareFolder(std::wstring_view entry) {
    if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"') {
        entry = entry.substr(1, entry.size() - 2);
    }
    while (entry.size() > 1 && entry.back() == L'\\') {
        entry.remove_suffix(1);
    }
    return entry;
}

// Whether two entries name one folder, compared as Windows compares file
// names: without regard to case.
bool SameFolder(std::wstring_view entry, std::wstring_view folder) {
    entry = BareFolder(entry);
    folder = BareFolder(folder);
    return CompareStringOrdinal(entry.data(), static_cast<int>(entry.size()), folder.data(),
                                static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

// The folder goes after the last entry; a value that ends in a separator
// still does, so that removing the folder gives back the value as it was.
std::wstring WithFolder(const std::wstring& text, std::wstring_view folder) {
    if (text.empty()) {
        return std::wstring(folder);
    }
    if (text.back() == L';') {
        return text + std::wstring(folder) + L';';
    }
    return text + L';' + std::wstring(folder);
}

std::wstring WithoutFolder(const std::wstring& text, std::wstring_view folder) {
    std::wstring kept;
    bool first = true;
    for (const std::wstring_view entry : SplitEntries(text)) {
        if (SameFolder(entry, folder)) {
            continue;
        }
        if (!first) {
            kept += L';';
        }
        kept += entry;
        first = false;
    }
    return kept;
}

void WritePath(HKEY key, const PathValue& path, const std::wstring& text,
               const std::wstring& where) {
    if (text.size() > kMaxValueLength) {
        throw Failure{L"The PATH in " + where + L" would be " + std::to_wstring(text.size()) +
                      L" characters long, more than the " + std::to_wstring(kMaxValueLength) +
                      L" Windows allows: left as it is"};
    }
    LONG result = ERROR_SUCCESS;
    if (text.empty()) {
        result = RegDeleteValueW(key, kValueName);
    } else {
        const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
        result = RegSetValueExW(key, kValueName, 0, path.type,
                                reinterpret_cast<const BYTE*>(text.c_str()), bytes);
    }
    if (result != ERROR_SUCCESS) {
        throw Failure{L"Can't write the PATH in " + where + L": " + SystemMessage(result)};
    }
}

// Tells the running programs, Explorer above all, to read the environment
// again. A program that doesn't answer within five seconds is passed over;
// the registry holds the change either way.
void AnnounceChange() {
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                        reinterpret_cast<LPARAM>(L"Environment"), SMTO_ABORTIFHUNG, 5000, &answer);
}

int ChangePath(bool add, bool machine, std::wstring_view folder) {
    if (folder.empty() || folder.find_first_of(L";\"") != std::wstring_view::npos) {
        throw Failure{L"A folder whose name is empty or holds ; or \" can't go on the PATH: " +
                      std::wstring(folder)};
    }
    const wchar_t* const name =
        machine ? L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"
                : L"Environment";
    const std::wstring where = (machine ? L"HKLM\\" : L"HKCU\\") + std::wstring(name);
    const EnvironmentKey key(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, name, where);
    const PathValue path = ReadPath(key.get(), where);
    const std::vector<std::wstring_view> entries = SplitEntries(path.text);
    const bool present =
        std::any_of(entries.begin(), entries.end(),
                    [folder](std::wstring_view entry) { return SameFolder(entry, folder); });
    if (present == add) {
        return kUnchanged;
    }
    WritePath(key.get(), path,
              add ? WithFolder(path.text, folder) : WithoutFolder(path.text, folder), where);
    AnnounceChange();
    return kChanged;
}

// Standard error in the system's code page, which the installer reads it in.
void Report(const std::wstring& message) {
    const std::wstring line = L"kerfo-path: " + message + L"\n";
    const int size = WideCharToMultiByte(CP_ACP, 0, line.data(), static_cast<int>(line.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(CP_ACP, 0, line.data(), static_cast<int>(line.size()), bytes.data(), size,
                        nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring_view command = argc == 4 ? argv[1] : L"";
    const std::wstring_view scope = argc == 4 ? argv[2] : L"";
    if ((command != L"add" && command != L"remove") || (scope != L"machine" && scope != L"user")) {
        Report(L"usage: kerfo-path {add|remove} {machine|user} FOLDER");
        return kFailed;
    }
    try {
        return ChangePath(command == L"add", scope == L"machine", argv[3]);
    } catch (const Failure& failure) {
        Report(failure.message);
        return kFailed;
    } catch (const std::exception& error) {
        Report(L"The PATH is left as it is: " +
               std::wstring(error.what(), error.what() + std::strlen(error.what())));
        return kFailed;
    }
}
