#pragma once
// The removal of single options from the argument list that the tokenizer
// (util/command_line.h) made.

#include "util/command_line.h"

namespace kerfo {

// Removes the first entry equal to word apart from ASCII letter case. Returns 1
// when one was removed, 0 otherwise.
int TakeFlag(ArgList& list, const char* word);

// Removes the first entry that begins with prefix (apart from ASCII letter case)
// and returns a pointer to the rest of that entry, which stays valid while the
// entry's text does. Without such an entry, returns defaultValue itself.
const char* TakeOptionValue(ArgList& list, const char* prefix, const char* defaultValue);

}  // namespace kerfo
