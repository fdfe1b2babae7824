// Option extraction: single entries taken out of the argument list.

#include "app/args.h"

#include <cctype>
#include <cstring>

namespace kerfo {
namespace {

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

}  // namespace

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

}  // namespace kerfo
