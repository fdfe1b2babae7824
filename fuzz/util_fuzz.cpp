// Feeds arbitrary text to the field splitters, the number tests, the setting
// lookup among lines and the command-line tokenizer, and checks what each
// promises about the pointers it hands back.
//
// Input: byte 0 is the field separator, byte 1 the maximum number of fields or
// tokens (its low bits, as a signed number for the splitters), the rest the text
// (up to its first NUL, as the functions see it).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "util/command_line.h"
#include "util/strings.h"
#include "util/text_files.h"

namespace {

using namespace kerfo;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

// The fields lie in order inside the text, each ended by its own terminator.
void CheckSplit(char separator, const std::string& text, int max, bool words) {
    std::vector<char> buffer(text.c_str(), text.c_str() + text.size() + 1);
    char* const begin = buffer.data();
    char* const end = begin + std::strlen(begin);
    char poison = 0;
    std::vector<char*> fields(static_cast<std::size_t>(max > 0 ? max : 0) + 1, &poison);
    const int count = words ? SplitWords(begin, max, fields.data())
                            : SplitFields(separator, begin, max, fields.data());
    Require(count >= 0 && count <= (max > 0 ? max : 0), "field count within the maximum");
    Require(fields[static_cast<std::size_t>(count)] == nullptr, "a null behind the last field");
    const char* after = begin;
    for (int i = 0; i < count; ++i) {
        char* field = fields[static_cast<std::size_t>(i)];
        Require(field >= after && field <= end, "field inside the text, in order");
        after = field + std::strlen(field);
        Require(after <= end, "field ends inside the text");
        if (!words && separator != '\0' && (field == begin || field[-1] != '"')) {
            Require(std::strchr(field, separator) == nullptr, "no separator in a plain field");
        }
        ++after;
    }
}

// IsNumber agrees with strtod on texts made of the characters a number can hold.
void CheckNumber(const char* text) {
    StartsWithNumber(text);
    const int number = IsNumber(text);
    const bool numberCharacters = std::strspn(text, " +-.0123456789eE") == std::strlen(text);
    Require(!number || numberCharacters, "a number holds only number characters");
    if (!numberCharacters) {
        return;
    }
    char* rest = nullptr;
    std::strtod(text, &rest);
    const bool read = rest != text;
    while (*rest == ' ') {
        ++rest;
    }
    Require(number == (read && *rest == '\0' ? 1 : 0), "IsNumber agrees with strtod");
}

// The first line is the key; the value lies in an unchanged line behind "key=".
void CheckLineSetting(const std::string& text, int count) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find('\n', start)) != std::string::npos; start = at + 1) {
        lines.push_back(text.substr(start, at - start));
    }
    lines.push_back(text.substr(start));
    const std::string key = lines.front();
    lines.erase(lines.begin());
    const std::vector<std::string> before = lines;
    std::vector<char*> pointers;
    for (std::string& line : lines) {
        pointers.push_back(line.data());
    }
    if (count > static_cast<int>(pointers.size())) {
        count = static_cast<int>(pointers.size());
    }
    const char* value = FindLineSetting(key.c_str(), count, pointers.data());
    bool inside = value == nullptr;
    for (int i = 0; i < count && !inside; ++i) {
        const char* line = pointers[static_cast<std::size_t>(i)];
        inside = value > line + key.size() && value <= line + std::strlen(line) &&
                 std::memchr(line, '=', static_cast<std::size_t>(value - line)) != nullptr;
    }
    Require(inside, "the value lies in a line behind an equals sign");
    Require(lines == before, "the lines are unchanged");
}

// Splitting, joining with the command-line builder and splitting again gives
// the same tokens.
void CheckTokenizer(const std::string& text, int limit) {
    CommandLine first(text.c_str(), limit);
    const ArgList& tokens = first.List();
    Require(tokens.count <= limit && tokens.entries[tokens.count] == nullptr, "token count");
    const std::string joined = platform::BuildCommandLine(tokens.count, tokens.entries);
    CommandLine second(joined.c_str(), limit);
    Require(second.List().count == tokens.count, "round trip keeps the count");
    for (int i = 0; i < tokens.count; ++i) {
        Require(std::strcmp(second.List().entries[i], tokens.entries[i]) == 0,
                "round trip keeps each token");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const char separator = static_cast<char>(data[0]);
    const int max = static_cast<std::int8_t>(data[1]) % 16;
    const std::string bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::string text = bytes.c_str();

    CheckSplit(separator, text, max, false);
    CheckSplit(' ', text, max, true);
    CheckNumber(text.c_str());
    CheckLineSetting(text, max < 0 ? -max : max);
    CheckTokenizer(text, 1 + data[1] % kMaxArgs);
    return 0;
}
