// The command-line tokenizer and option extraction.
//
// Tokens are separated by blanks, tabs, line feeds and carriage returns. A token
// that begins with a double quote runs to the next lone double quote, with two
// double quotes in a row standing for one; scanning resumes right behind the
// closing quote. Elsewhere a double quote is an ordinary character.

#include "app/args.h"

#include <cctype>
#include <cstring>
#include <string>

#include "app/messages.h"

namespace kerfo {
namespace {

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool EqualNoCase(const char* a, const char* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

void RemoveEntry(ArgList& list, int index) {
    for (int i = index; i < list.count - 1; ++i) {
        list.entries[i] = list.entries[i + 1];
    }
    list.entries[list.count - 1] = nullptr;
    --list.count;
}

// Reads the token that starts at p, after any separators, into token and moves
// p behind it. Returns false at the end of the text.
bool ScanToken(const char*& p, std::string& token) {
    while (IsSeparator(*p)) {
        ++p;
    }
    if (*p == '\0') {
        return false;
    }
    token.clear();
    if (*p == '"') {
        ++p;
        while (*p != '\0') {
            if (*p == '"') {
                if (p[1] == '"') {
                    token += '"';
                    p += 2;
                    continue;
                }
                ++p;
                break;
            }
            token += *p++;
        }
        return true;
    }
    while (*p != '\0' && !IsSeparator(*p)) {
        token += *p++;
    }
    return true;
}

}  // namespace

int SplitCommandLine(const char* text, int limit, char** entries) {
    int count = 0;
    const char* p = text;
    std::string token;
    while (count < limit && ScanToken(p, token)) {
        char* entry = static_cast<char*>(std::malloc(token.size() + 1));
        if (entry == nullptr) {
            for (int i = 0; i < count; ++i) {
                std::free(entries[i]);
                entries[i] = nullptr;
            }
            Fatal("out of memory");
        }
        std::memcpy(entry, token.c_str(), token.size() + 1);
        entries[count++] = entry;
    }
    entries[count] = nullptr;
    return count;
}

bool HasMoreTokens(const char* text, int limit) {
    const char* p = text;
    std::string token;
    for (int count = 0; ScanToken(p, token); ++count) {
        if (count >= limit) {
            return true;
        }
    }
    return false;
}

int TakeFlag(ArgList& list, const char* word) {
    const std::size_t length = std::strlen(word);
    for (int i = 0; i < list.count; ++i) {
        if (std::strlen(list.entries[i]) == length && EqualNoCase(list.entries[i], word, length)) {
            RemoveEntry(list, i);
            return 1;
        }
    }
    return 0;
}

const char* TakeOptionValue(ArgList& list, const char* prefix, const char* defaultValue) {
    const std::size_t length = std::strlen(prefix);
    for (int i = 0; i < list.count; ++i) {
        const char* entry = list.entries[i];
        if (std::strlen(entry) >= length && EqualNoCase(entry, prefix, length)) {
            RemoveEntry(list, i);
            return entry + length;
        }
    }
    return defaultValue;
}

CommandLine::CommandLine(const char* text, int limit)
    : slots_(static_cast<std::size_t>(limit > 0 ? limit : 0) + 1, nullptr) {
    list_.entries = slots_.data();
    list_.count = SplitCommandLine(text, limit, list_.entries);
    overflowed_ = HasMoreTokens(text, limit);
    texts_.reserve(static_cast<std::size_t>(list_.count));
    for (int i = 0; i < list_.count; ++i) {
        texts_.emplace_back(list_.entries[i]);
    }
}

}  // namespace kerfo
