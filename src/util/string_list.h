#pragma once
// StringList: the library's one container, an ordered list of owned texts.
//
// A list is the address of a heap array (C allocator) of text pointers: count
// entries and then a null pointer. No count and no spare room is kept: the count
// is found by scanning to the null, and every operation that builds or grows a
// list allocates exactly count + 1 slots; only RemoveStringAt leaves unused
// slots behind the null. Every entry is a heap text of its own (never null; a
// blank entry is an empty text), owned by the list; texts handed in are always
// copied. When the array is rebuilt only the entry pointers move: the texts keep
// their addresses, so a text taken from the list stays valid until its own
// entry is set, removed, resized away or freed.
//
// Operations that may rebuild the array take the address of the caller's list
// variable and store the new array there. None accepts a null list. When memory
// runs out, the run ends through Fatal ("out of memory") and the caller's list
// is as it was before the call.

#include <cstddef>

namespace kerfo {

using StringList = char**;

// A new array with room for count entries and the null behind them, every slot
// null: an empty list that the caller fills in order, for code that builds a
// list of texts it made itself.
StringList AllocListSlots(std::size_t count);

// A new list of count empty texts; a negative count gives an empty list.
StringList NewStringList(int count);

// Frees every entry, then the array.
void FreeStringList(StringList list);

// The number of entries before the null.
int StringListCount(const char* const* list);

// A new list holding a copy of every entry.
StringList CopyStringList(const char* const* list);

// Leaves exactly count entries: the first ones keep their texts, entries past
// count are freed, new ones are empty texts. The array is always rebuilt, even
// for the same count. A negative count is taken as 0, like NewStringList's.
void ResizeStringList(StringList* list, int count);

// Makes entry index a copy of text, first growing the list with empty texts up
// to index when it is shorter, and returns the stored copy (the list's own
// entry). A negative index changes nothing and gives null. The copy is made
// before the old entry is freed, so text may be that entry.
char* SetStringAt(StringList* list, int index, const char* text);

// Entry index itself (not a copy). Reading past the end first grows the list
// with empty texts up to index, so the result is then a new empty entry. A
// negative index gives null.
char* GetStringAt(StringList* list, int index);

// Inserts a copy of text before entry index; at the count it appends, and past
// it the entries between are filled with empty texts. A negative index changes
// nothing.
void InsertStringAt(StringList* list, int index, const char* text);

// Frees entry index and moves the ones behind it down a place, in the same
// array. An index outside the list changes nothing.
void RemoveStringAt(StringList* list, int index);

// Adds a copy of text at the end.
void AppendString(StringList* list, const char* text);

// New lists of the bare names of the plain files (ListFiles) or sub-folders
// (ListFolders) in folder whose names match pattern; "*.*" for an empty pattern,
// which matches every name. An empty folder means the current one. Hidden
// entries are listed; "." and ".." never are; sub-folders are not entered; the
// order is the system's. A missing folder gives an empty list. Free the result
// with FreeStringList.
StringList ListFiles(const char* folder, const char* pattern);
StringList ListFolders(const char* folder, const char* pattern);

}  // namespace kerfo
