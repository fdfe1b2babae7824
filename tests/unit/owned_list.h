#pragma once
// A StringList owned by a test: freed with FreeStringList at the end of the
// test, so LeakSanitizer sees every entry the library made or left behind.

#include <initializer_list>
#include <string>
#include <vector>

#include "util/string_list.h"

namespace kerfo::test {

class OwnedList {
  public:
    explicit OwnedList(StringList list) : list_(list) {}
    OwnedList(std::initializer_list<const char*> texts) : list_(NewStringList(0)) {
        for (const char* text : texts) {
            AppendString(&list_, text);
        }
    }
    ~OwnedList() { FreeStringList(list_); }
    OwnedList(const OwnedList&) = delete;
    OwnedList& operator=(const OwnedList&) = delete;

    StringList* Address() { return &list_; }
    StringList get() const { return list_; }
    char* operator[](int index) const { return list_[index]; }

    // The entries up to the null, as texts.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (char** entry = list_; *entry != nullptr; ++entry) {
            texts.emplace_back(*entry);
        }
        return texts;
    }

  private:
    StringList list_;
};

using Texts = std::vector<std::string>;

}  // namespace kerfo::test
