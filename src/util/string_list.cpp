// StringList, the library's list of owned texts, and the folder listings that
// return one.

#include "util/string_list.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "error/fatal.h"
#include "platform/platform.h"
#include "platform/system.h"
#include "util/strings.h"

namespace kerfo {
namespace {

std::size_t CountOf(const char* const* list) {
    std::size_t count = 0;
    while (list[count] != nullptr) {
        ++count;
    }
    return count;
}

// The array of a list being built. Texts are made into its slots first, while
// the slots meant for an old list's entries are still null; should the run end
// for want of memory meanwhile, the destructor frees all that was made and the
// old list is untouched. Adopting the old entry pointers and releasing the
// array come last and cannot fail.
class NewSlots {
  public:
    explicit NewSlots(std::size_t count) : slots_(AllocListSlots(count)), count_(count) {}
    ~NewSlots() {
        if (slots_ == nullptr) {
            return;
        }
        // Slot by slot: the texts made so far need not be contiguous.
        for (std::size_t i = 0; i < count_; ++i) {
            std::free(slots_[i]);
        }
        std::free(slots_);
    }
    NewSlots(const NewSlots&) = delete;
    NewSlots& operator=(const NewSlots&) = delete;

    void Set(std::size_t index, const char* text) { slots_[index] = DupString(text); }

    void FillEmpty(std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            Set(i, "");
        }
    }

    // Moves count entry pointers of another array into the slots from index on.
    void Adopt(std::size_t index, char* const* entries, std::size_t count) {
        std::copy(entries, entries + count, slots_ + index);
    }

    char** Release() { return std::exchange(slots_, nullptr); }

  private:
    char** slots_;
    std::size_t count_;
};

// Puts the rebuilt array in the caller's variable and frees the old one.
void Replace(StringList* list, NewSlots& slots) {
    std::free(*list);
    *list = slots.Release();
}

StringList ListEntries(const char* folder, const char* pattern, bool folders) {
    const char* search = pattern[0] != '\0' ? pattern : "*.*";
    std::vector<std::string> names;
    for (platform::FolderEntry& entry :
         platform::FindFolderEntries(platform::JoinFolderAndName(folder, search))) {
        if (entry.isFolder == folders && entry.name != "." && entry.name != "..") {
            names.push_back(std::move(entry.name));
        }
    }
    NewSlots slots(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        slots.Set(i, names[i].c_str());
    }
    return slots.Release();
}

}  // namespace

StringList AllocListSlots(std::size_t count) {
    if (count >= SIZE_MAX / sizeof(char*)) {
        Fatal("out of memory");
    }
    auto slots = static_cast<StringList>(std::calloc(count + 1, sizeof(char*)));
    if (slots == nullptr) {
        Fatal("out of memory");
    }
    return slots;
}

StringList NewStringList(int count) {
    const std::size_t size = count > 0 ? static_cast<std::size_t>(count) : 0;
    NewSlots slots(size);
    slots.FillEmpty(0, size);
    return slots.Release();
}

void FreeStringList(StringList list) {
    for (char** entry = list; *entry != nullptr; ++entry) {
        std::free(*entry);
    }
    std::free(list);
}

int StringListCount(const char* const* list) {
    return static_cast<int>(CountOf(list));
}

StringList CopyStringList(const char* const* list) {
    const std::size_t count = CountOf(list);
    NewSlots slots(count);
    for (std::size_t i = 0; i < count; ++i) {
        slots.Set(i, list[i]);
    }
    return slots.Release();
}

void ResizeStringList(StringList* list, int count) {
    const std::size_t size = count > 0 ? static_cast<std::size_t>(count) : 0;
    const std::size_t oldCount = CountOf(*list);
    const std::size_t kept = std::min(oldCount, size);
    NewSlots slots(size);
    slots.FillEmpty(kept, size);
    slots.Adopt(0, *list, kept);
    for (std::size_t i = kept; i < oldCount; ++i) {
        std::free((*list)[i]);
    }
    Replace(list, slots);
}

char* SetStringAt(StringList* list, int index, const char* text) {
    if (index < 0) {
        return nullptr;
    }
    const std::size_t at = static_cast<std::size_t>(index);
    const std::size_t count = CountOf(*list);
    if (at < count) {
        char* copy = DupString(text);
        std::free((*list)[at]);
        (*list)[at] = copy;
        return copy;
    }
    NewSlots slots(at + 1);
    slots.Set(at, text);
    slots.FillEmpty(count, at);
    slots.Adopt(0, *list, count);
    Replace(list, slots);
    return (*list)[at];
}

char* GetStringAt(StringList* list, int index) {
    if (index < 0) {
        return nullptr;
    }
    const std::size_t at = static_cast<std::size_t>(index);
    const std::size_t count = CountOf(*list);
    if (at < count) {
        return (*list)[at];
    }
    NewSlots slots(at + 1);
    slots.FillEmpty(count, at + 1);
    slots.Adopt(0, *list, count);
    Replace(list, slots);
    return (*list)[at];
}

void InsertStringAt(StringList* list, int index, const char* text) {
    if (index < 0) {
        return;
    }
    const std::size_t at = static_cast<std::size_t>(index);
    const std::size_t count = CountOf(*list);
    NewSlots slots(std::max(count, at) + 1);
    slots.Set(at, text);
    slots.FillEmpty(count, at);
    if (at < count) {
        slots.Adopt(0, *list, at);
        slots.Adopt(at + 1, *list + at, count - at);
    } else {
        slots.Adopt(0, *list, count);
    }
    Replace(list, slots);
}

void RemoveStringAt(StringList* list, int index) {
    if (index < 0) {
        return;
    }
    const std::size_t at = static_cast<std::size_t>(index);
    char** entries = *list;
    for (std::size_t i = 0; i < at; ++i) {
        if (entries[i] == nullptr) {
            return;  // the list ends before index
        }
    }
    if (entries[at] == nullptr) {
        return;
    }
    std::free(entries[at]);
    // The entries behind it and the null move down one place; the array keeps
    // its size.
    const std::size_t behind = CountOf(entries + at + 1) + 1;
    std::memmove(entries + at, entries + at + 1, behind * sizeof(char*));
}

void AppendString(StringList* list, const char* text) {
    InsertStringAt(list, StringListCount(*list), text);
}

StringList ListFiles(const char* folder, const char* pattern) {
    return ListEntries(folder, pattern, false);
}

StringList ListFolders(const char* folder, const char* pattern) {
    return ListEntries(folder, pattern, true);
}

}  // namespace kerfo
