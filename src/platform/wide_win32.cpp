// Texts between the program's code page and UTF-16, and paths for the ...W
// calls.

#include "platform/wide_win32.h"

#include <windows.h>

namespace kerfo::platform {
namespace {

// From this length on, a path needs the \\?\ prefix: the classic limit is 260
// characters with the terminator, and a folder's 248, which leaves room for
// an 8.3 name inside it.
constexpr std::size_t kClassicPathLimit = MAX_PATH - 12;

bool StartsWith(std::wstring_view text, std::wstring_view start) {
    return text.substr(0, start.size()) == start;
}

void AppendUtf8(std::string& out, unsigned long codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

}  // namespace

std::wstring Wide(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int count = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    if (count > 0) {
        MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), count);
    }
    return wide;
}

std::string Narrow(std::wstring_view text, bool* whole) {
    std::string narrow;
    if (!text.empty()) {
        // UTF-8 takes no flags; in any other code page a character without an
        // exact equivalent becomes the default '?' instead of a look-alike.
        const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
        const int length = static_cast<int>(text.size());
        const int count =
            WideCharToMultiByte(CP_ACP, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
        narrow.resize(static_cast<std::size_t>(count > 0 ? count : 0));
        if (count > 0) {
            WideCharToMultiByte(CP_ACP, flags, text.data(), length, narrow.data(), count, nullptr,
                                nullptr);
        }
    }
    if (whole != nullptr) {
        *whole = Wide(narrow) == text;
    }
    return narrow;
}

std::string NarrowPath(const std::wstring& path) {
    bool whole = false;
    std::string narrow = Narrow(path, &whole);
    if (whole) {
        return narrow;
    }
    const DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (size > 0) {
        std::wstring shortPath(size, L'\0');
        const DWORD length = GetShortPathNameW(path.c_str(), shortPath.data(), size);
        if (length > 0 && length < size) {
            shortPath.resize(length);
            std::string shortNarrow = Narrow(shortPath, &whole);
            if (whole) {
                return shortNarrow;
            }
        }
    }
    return narrow;
}

std::wstring WidePath(std::string_view path) {
    std::wstring wide = Wide(path);
    if (StartsWith(wide, L"\\\\?\\") || StartsWith(wide, L"\\\\.\\") || wide.empty()) {
        return wide;
    }
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return wide;
    }
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return wide;
    }
    full.resize(length);
    if (full.size() < kClassicPathLimit || StartsWith(full, L"\\\\?\\") ||
        StartsWith(full, L"\\\\.\\")) {
        return wide;
    }
    if (StartsWith(full, L"\\\\")) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

std::string ExactUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned long unit = text[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

}  // namespace kerfo::platform
