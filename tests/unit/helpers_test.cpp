// The string, number and process helpers.

#include <gtest/gtest.h>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <climits>
#include <cstring>
#include <string>

#include "app/messages.h"
#include "util/strings.h"

namespace kerfo {
namespace {

// Takes ownership of a returned text and gives it back as a string ("null" for null).
std::string Owned(char* text) {
    const OwnedText owned(text);
    return text != nullptr ? std::string(text) : "null";
}

TEST(Concat, JoinsEveryPart) {
    EXPECT_EQ(Owned(Concat3("a", "", "bc")), "abc");
    EXPECT_EQ(Owned(Concat5("1", "22", "", "333", "4")), "1223334");
    EXPECT_EQ(Owned(Concat5("", "", "", "", "")), "");
}

TEST(CopyBounded, CopiesAtMostNAndTerminates) {
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(CopyBounded(buffer, "hello", 3), buffer);
    EXPECT_EQ(std::string(buffer, 5), std::string("hel\0#", 5));  // four bytes written

    EXPECT_STREQ(CopyBounded(buffer, "hi", 6), "hi");
    EXPECT_STREQ(CopyBounded(buffer, "hello", 0), "");
    EXPECT_STREQ(CopyBounded(buffer, "hello", -2), "");
    EXPECT_STREQ(CopyBounded(buffer, "", 5), "");
}

TEST(Substring, StartAndLengthWithinTheText) {
    EXPECT_EQ(Owned(Substring("hello", 1, 3)), "ell");
    EXPECT_EQ(Owned(Substring("hello", 3, 10)), "lo");
    EXPECT_EQ(Owned(Substring("hello", 0, INT_MAX)), "hello");
    for (int start : {5, 9, -1, INT_MIN}) {
        EXPECT_EQ(Owned(Substring("hello", start, 2)), "") << start;
    }
    EXPECT_EQ(Owned(Substring("hello", 1, 0)), "");
    EXPECT_EQ(Owned(Substring("hello", 1, -3)), "");
}

TEST(ReplaceAll, LeftToRightWithoutOverlap) {
    EXPECT_EQ(Owned(ReplaceAll("aaa", "aa", "b")), "ba");
    EXPECT_EQ(Owned(ReplaceAll("foo", "o", nullptr)), "f");
    EXPECT_EQ(Owned(ReplaceAll("a.b.c", ".", "::")), "a::b::c");
    EXPECT_EQ(Owned(ReplaceAll("ab", "b", "bb")), "abb");  // not searched again
    EXPECT_EQ(Owned(ReplaceAll("", "x", "y")), "");
    EXPECT_EQ(ReplaceAll(nullptr, "x", "y"), nullptr);
}

TEST(ReplaceAll, NothingToReplaceGivesANewCopy) {
    const char text[] = "plain";
    for (const char* oldPart : {"zz", "", static_cast<const char*>(nullptr)}) {
        char* copy = ReplaceAll(text, oldPart, "y");
        EXPECT_NE(copy, text);
        EXPECT_EQ(Owned(copy), "plain");
    }
}

TEST(SetOwnedString, ReplacesAndFreesTheOldText) {
    char* variable = nullptr;
    SetOwnedString(&variable, "first");
    EXPECT_STREQ(variable, "first");
    SetOwnedString(&variable, "second");
    EXPECT_STREQ(variable, "second");
    SetOwnedString(&variable, variable + 3);  // a part of the old text itself
    EXPECT_STREQ(variable, "ond");
    std::free(variable);
}

TEST(JoinArgs, EveryTextAfterASpace) {
    const char* texts[] = {"a", "b", ""};
    EXPECT_EQ(Owned(JoinArgs(2, texts)), " a b");
    EXPECT_EQ(Owned(JoinArgs(3, texts)), " a b ");
    EXPECT_EQ(Owned(JoinArgs(0, texts)), "");
    EXPECT_EQ(Owned(JoinArgs(-1, nullptr)), "");
}

TEST(Quote, AddsAndRemovesDoubleQuotes) {
    EXPECT_EQ(Owned(Quote("a b")), "\"a b\"");
    EXPECT_EQ(Owned(Quote("\"q\"")), "\"\"q\"\"");
    EXPECT_EQ(Owned(Unquote("\"a b\"")), "a b");
    EXPECT_EQ(Owned(Unquote("\"")), "");
    EXPECT_EQ(Owned(Unquote("\"open")), "open");
    EXPECT_EQ(Owned(Unquote("close\"")), "close");
    EXPECT_EQ(Owned(Unquote("\"\"\"")), "\"");
    EXPECT_EQ(Owned(Unquote("")), "");
}

TEST(AllocOrFatal, ANegativeSizeEndsTheRun) {
    try {
        AllocOrFatal(-1);
        ADD_FAILURE() << "no Fatal";
    } catch (const FatalError& error) {
        EXPECT_STREQ(error.what(), "Out of memory");
    }
    EXPECT_THROW(AllocOrFatal(INT_MIN), FatalError);
    void* none = AllocOrFatal(0);
    EXPECT_NE(none, nullptr);
    std::free(none);
    char* block = static_cast<char*>(AllocOrFatal(16));
    std::memset(block, 0, 16);
    std::free(block);
}

TEST(Blanks, SkipTestAndTrim) {
    const char text[] = " \t x ";
    EXPECT_EQ(SkipBlanks(text), text + 3);
    EXPECT_STREQ(SkipBlanks(" \t"), "");
    EXPECT_EQ(IsBlank(""), 1);
    EXPECT_EQ(IsBlank(" \t \t"), 1);
    EXPECT_EQ(IsBlank(" x "), 0);
    EXPECT_EQ(IsBlank("\n"), 0);

    std::string trailing = "a \t  ";
    EXPECT_EQ(TrimTrailingSpaces(trailing.data()), trailing.data());
    EXPECT_STREQ(trailing.c_str(), "a \t");
    std::string spaces = "   ";
    EXPECT_STREQ(TrimTrailingSpaces(spaces.data()), "");
}

TEST(Numbers, StartsWithNumber) {
    for (const char* yes : {"  -5x", "7", "+0", "12 apples"}) {
        EXPECT_EQ(StartsWithNumber(yes), 1) << yes;
    }
    for (const char* no : {"- 5", "+.5", "\t5", "", "x1", "--5", ".5"}) {
        EXPECT_EQ(StartsWithNumber(no), 0) << no;
    }
}

TEST(Numbers, IsNumberWantsTheWholeText) {
    for (const char* yes : {"12", "  -3.5e+2  ", ".5", "5.", "+0", "1E9", "2e-07", "007"}) {
        EXPECT_EQ(IsNumber(yes), 1) << yes;
    }
    for (const char* no : {".", "", "   ", "1 2", "0x10", "12.34.5", "\t5", "5\t", "+", "-.", "1e",
                           "1e+", "5-", "5+", "1e5.5", "e5", "1..", "inf", "1,5"}) {
        EXPECT_EQ(IsNumber(no), 0) << no;
    }
}

// A shell command line that ends the shell with the exit code: sh's on POSIX,
// cmd's on Windows.
#ifdef _WIN32
constexpr const char* kShell = "cmd";
std::string ExitWith(int code) {
    return "/c \"exit " + std::to_string(code) + "\"";
}
#else
constexpr const char* kShell = "sh";
std::string ExitWith(int code) {
    return "-c \"exit " + std::to_string(code) + "\"";
}
#endif

TEST(RunAndWait, GivesTheProgramsExitCode) {
    EXPECT_EQ(RunAndWait(kShell, ExitWith(0).c_str(), 1), 0);
    EXPECT_EQ(RunAndWait(kShell, ExitWith(3).c_str(), 1), 3);
#ifdef _WIN32
    // cmd without parameters would wait for commands: Wine's and Windows'
    // hostname prints the name and ends.
    EXPECT_EQ(RunAndWait("hostname", nullptr, 0), 0);
#else
    EXPECT_EQ(RunAndWait("true", nullptr, 0), 0);
#endif
}

TEST(RunAndWait, SplitsTheParametersWithTheProgramsTokenizer) {
#ifdef _WIN32
    GTEST_SKIP() << "on Windows the shell hands the parameters over as they are";
#else
    // "one two" is one argument, so two follow the script's own name.
    EXPECT_EQ(RunAndWait("sh", "-c \"exit $#\" zero \"one two\" three", 1), 2);
#endif
}

TEST(RunAndWait, MinusOneWhenItCannotStart) {
    EXPECT_EQ(RunAndWait("/no/such/program", "", 1), -1);
    EXPECT_EQ(RunAndWait("kerfo-no-such-program-on-path", "x", 1), -1);
    EXPECT_EQ(RunAndWait("", "", 1), -1);
}

TEST(RunAndWait, MinusOneWhenTheProgramDoesNotExit) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no signals: every program that ends has an exit code";
#else
    EXPECT_EQ(RunAndWait("sh", "-c \"kill -9 $$\"", 1), -1);
#endif
}

TEST(CurrentProcessId, IsThisProcess) {
#ifdef _WIN32
    EXPECT_EQ(CurrentProcessId(), static_cast<unsigned long>(_getpid()));
#else
    EXPECT_EQ(CurrentProcessId(), static_cast<unsigned long>(getpid()));
#endif
}

}  // namespace
}  // namespace kerfo
