// The command-line tokenizer.
//
// Tokens are separated by blanks, tabs, line feeds and carriage returns. A token
// that begins with a double quote runs to the next lone double quote, with two
// double quotes in a row standing for one; scanning resumes right behind the
// closing quote. Elsewhere a double quote is an ordinary character.

#include "util/command_line.h"

#include <cstring>
#include <string>

#include "error/fatal.h"

namespace kerfo {
namespace {

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
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
