// String, number and process helpers shared by the whole program.

#include "util/strings.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "error/fatal.h"
#include "platform/system.h"
#include "util/command_line.h"

namespace kerfo {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsSpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}

// Steps over space characters only (not tabs).
const char* SkipSpaces(const char* text) {
    while (*text == ' ') {
        ++text;
    }
    return text;
}

// A new block of size bytes (at least one); ends the run with the helpers'
// capitalised message when there is none.
char* AllocText(std::size_t size) {
    char* block = static_cast<char*>(std::malloc(size > 0 ? size : 1));
    if (block == nullptr) {
        Fatal("Out of memory");
    }
    return block;
}

// The texts one after the other in a new block.
char* ConcatAll(std::initializer_list<const char*> parts) {
    std::size_t total = 0;
    for (const char* part : parts) {
        total += std::strlen(part);
    }
    char* joined = AllocText(total + 1);
    char* end = joined;
    for (const char* part : parts) {
        const std::size_t length = std::strlen(part);
        std::memcpy(end, part, length);
        end += length;
    }
    *end = '\0';
    return joined;
}

// Steps over decimal digits and returns how many there were.
int SkipDigits(const char*& text) {
    int count = 0;
    while (IsDigit(*text)) {
        ++text;
        ++count;
    }
    return count;
}

}  // namespace

int CompareNoCase(const char* first, const char* second) {
    for (;; ++first, ++second) {
        const unsigned char a = static_cast<unsigned char>(*first);
        const unsigned char b = static_cast<unsigned char>(*second);
        if (a == '\0' || b == '\0') {
            return static_cast<signed char>(a) - static_cast<signed char>(b);
        }
        const signed char lowerA = static_cast<signed char>(std::tolower(a));
        const signed char lowerB = static_cast<signed char>(std::tolower(b));
        if (lowerA != lowerB) {
            return lowerA < lowerB ? -1 : 1;
        }
    }
}

char* DupString(const char* text) {
    const std::size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(size));
    if (copy == nullptr) {
        Fatal("out of memory");
    }
    std::memcpy(copy, text, size);
    return copy;
}

char* Concat2(const char* first, const char* second) {
    const std::size_t firstLength = std::strlen(first);
    const std::size_t secondLength = std::strlen(second);
    char* joined = static_cast<char*>(std::malloc(firstLength + secondLength + 1));
    if (joined == nullptr) {
        Fatal("out of memory");
    }
    std::memcpy(joined, first, firstLength);
    std::memcpy(joined + firstLength, second, secondLength + 1);
    return joined;
}

char* Concat3(const char* first, const char* second, const char* third) {
    return ConcatAll({first, second, third});
}

char* Concat5(const char* first, const char* second, const char* third, const char* fourth,
              const char* fifth) {
    return ConcatAll({first, second, third, fourth, fifth});
}

char* CopyBounded(char* destination, const char* source, int n) {
    int copied = 0;
    while (copied < n && source[copied] != '\0') {
        destination[copied] = source[copied];
        ++copied;
    }
    destination[copied] = '\0';
    return destination;
}

char* Substring(const char* text, int start, int length) {
    const std::size_t textLength = std::strlen(text);
    if (start < 0 || length <= 0 || static_cast<std::size_t>(start) >= textLength) {
        char* empty = AllocText(1);
        empty[0] = '\0';
        return empty;
    }
    // Only as many bytes as can be copied: a length far past the end of the
    // text asks for no more than the rest of it.
    const std::size_t count =
        std::min(static_cast<std::size_t>(length), textLength - static_cast<std::size_t>(start));
    char* part = AllocText(count + 1);
    std::memcpy(part, text + start, count);
    part[count] = '\0';
    return part;
}

char* ReplaceAll(const char* text, const char* oldPart, const char* newPart) {
    if (text == nullptr) {
        return nullptr;
    }
    const std::string_view source(text);
    const std::string_view from(oldPart != nullptr ? oldPart : "");
    const std::string_view to(newPart != nullptr ? newPart : "");

    std::size_t occurrences = 0;
    if (!from.empty()) {
        for (std::size_t at = source.find(from); at != std::string_view::npos;
             at = source.find(from, at + from.size())) {
            ++occurrences;
        }
    }
    // Every occurrence takes from.size() bytes of the text, so this cannot
    // underflow; the inserted bytes are checked against overflow.
    const std::size_t kept = source.size() - occurrences * from.size();
    if (!to.empty() && occurrences > (SIZE_MAX - kept - 1) / to.size()) {
        return nullptr;
    }
    char* result = static_cast<char*>(std::malloc(kept + occurrences * to.size() + 1));
    if (result == nullptr) {
        return nullptr;
    }
    char* out = result;
    std::size_t done = 0;
    for (std::size_t i = 0; i < occurrences; ++i) {
        const std::size_t at = source.find(from, done);
        out = std::copy(source.begin() + done, source.begin() + at, out);
        out = std::copy(to.begin(), to.end(), out);
        done = at + from.size();
    }
    out = std::copy(source.begin() + done, source.end(), out);
    *out = '\0';
    return result;
}

void SetOwnedString(char** variable, const char* text) {
    char* copy = DupString(text);
    std::free(*variable);
    *variable = copy;
}

char* JoinArgs(int count, const char* const* texts) {
    std::size_t total = 0;
    for (int i = 0; i < count; ++i) {
        total += 1 + std::strlen(texts[i]);
    }
    char* joined = AllocText(total + 1);
    char* end = joined;
    for (int i = 0; i < count; ++i) {
        *end++ = ' ';
        const std::size_t length = std::strlen(texts[i]);
        std::memcpy(end, texts[i], length);
        end += length;
    }
    *end = '\0';
    return joined;
}

char* Quote(const char* text) {
    return ConcatAll({"\"", text, "\""});
}

char* Unquote(const char* text) {
    if (*text == '"') {
        ++text;
    }
    char* copy = DupString(text);
    const std::size_t length = std::strlen(copy);
    if (length > 0 && copy[length - 1] == '"') {
        copy[length - 1] = '\0';
    }
    return copy;
}

void* AllocOrFatal(int size) {
    if (size < 0) {
        Fatal("Out of memory");
    }
    return AllocText(static_cast<std::size_t>(size));
}

const char* SkipBlanks(const char* text) {
    while (IsSpaceOrTab(*text)) {
        ++text;
    }
    return text;
}

char* SkipBlanks(char* text) {
    return const_cast<char*>(SkipBlanks(static_cast<const char*>(text)));
}

int IsBlank(const char* text) {
    return *SkipBlanks(text) == '\0' ? 1 : 0;
}

char* TrimTrailingSpaces(char* text) {
    std::size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == ' ') {
        --length;
    }
    text[length] = '\0';
    return text;
}

int StartsWithNumber(const char* text) {
    const char* p = SkipSpaces(text);
    if (*p == '+' || *p == '-') {
        ++p;
    }
    return IsDigit(*p) ? 1 : 0;
}

int IsNumber(const char* text) {
    const char* p = SkipSpaces(text);
    if (*p == '+' || *p == '-') {
        ++p;
    }
    int digits = SkipDigits(p);
    if (*p == '.') {
        ++p;
        digits += SkipDigits(p);
    }
    if (digits == 0) {
        return 0;
    }
    if (*p == 'e' || *p == 'E') {
        ++p;
        if (*p == '+' || *p == '-') {
            ++p;
        }
        if (SkipDigits(p) == 0) {
            return 0;
        }
    }
    return *SkipSpaces(p) == '\0' ? 1 : 0;
}

int RunAndWait(const char* file, const char* parameters, int showCommand) {
    if (file == nullptr || *file == '\0') {
        return -1;
    }
    const char* text = parameters != nullptr ? parameters : "";
    // Every token takes at least one character of the text, so this limit
    // never cuts the parameters short.
    const std::size_t length = std::strlen(text);
    const int limit = length < INT_MAX ? static_cast<int>(length) + 1 : INT_MAX;
    CommandLine tokens(text, limit);
    std::vector<const char*> arguments{file};
    for (int i = 0; i < tokens.List().count; ++i) {
        arguments.push_back(tokens.List().entries[i]);
    }
    return platform::RunProgramAndWait(file, text, arguments, showCommand);
}

unsigned long CurrentProcessId() {
    return platform::ProcessId();
}

}  // namespace kerfo
