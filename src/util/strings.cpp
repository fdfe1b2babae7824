// String helpers shared by the whole program.

#include "util/strings.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "app/messages.h"

namespace kerfo {

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

}  // namespace kerfo
