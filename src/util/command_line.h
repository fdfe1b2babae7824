#pragma once
// The program's own command-line tokenizer: the start-up splits the program's
// command line with it, and RunAndWait the parameters it hands a program.

#include <cstdlib>
#include <memory>
#include <vector>

namespace kerfo {

// The most arguments, program path included, that the program looks at.
constexpr int kMaxArgs = 30;

// A count and a null-terminated array of heap texts, entry 0 the program path.
// The slots are the caller's; the texts belong to whoever split the line (see
// CommandLine). Removing an entry does not release its text.
struct ArgList {
    int count = 0;
    char** entries = nullptr;
};

// Splits a command line into at most limit entries (the program path first)
// stored in entries, which has limit + 1 slots; the slot after the last entry is
// set to null. Each entry is a new block from malloc of exactly its length plus
// the terminator. Returns the count. Ends the run through Fatal ("out of
// memory") when memory runs out.
int SplitCommandLine(const char* text, int limit, char** entries);

// True when text holds more than limit tokens, so that SplitCommandLine with
// that limit drops some.
bool HasMoreTokens(const char* text, int limit);

// An ArgList together with the storage it lives in: the slots and every text
// the tokenizer made, removed ones included, are released with it.
class CommandLine {
  public:
    explicit CommandLine(const char* text, int limit = kMaxArgs);
    ArgList& List() { return list_; }
    // True when the text held more tokens than the list takes.
    bool Overflowed() const { return overflowed_; }

  private:
    struct FreeText {
        void operator()(char* text) const { std::free(text); }
    };
    std::vector<char*> slots_;
    std::vector<std::unique_ptr<char, FreeText>> texts_;
    ArgList list_;
    bool overflowed_ = false;
};

}  // namespace kerfo
