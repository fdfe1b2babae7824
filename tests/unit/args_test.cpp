// The command-line tokenizer, option extraction, and the round trip through the
// command-line builder.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/args.h"
#include "platform/platform.h"

namespace kerfo {
namespace {

std::vector<std::string> Split(const std::string& text, int limit = kMaxArgs) {
    CommandLine line(text.c_str(), limit);
    std::vector<std::string> tokens;
    for (int i = 0; i < line.List().count; ++i) {
        tokens.emplace_back(line.List().entries[i]);
    }
    EXPECT_EQ(line.List().entries[line.List().count], nullptr);
    return tokens;
}

using Tokens = std::vector<std::string>;

TEST(SplitCommandLine, SeparatorsOfEveryKindAndNumber) {
    EXPECT_EQ(Split(" \t\r\n a \t\tb\r\nc\n \r"), (Tokens{"a", "b", "c"}));
    EXPECT_EQ(Split(""), Tokens{});
    EXPECT_EQ(Split("   \t "), Tokens{});
}

TEST(SplitCommandLine, QuotedTokens) {
    EXPECT_EQ(Split("\"/opt/my tools/kerfo\" -ver"), (Tokens{"/opt/my tools/kerfo", "-ver"}));
    EXPECT_EQ(Split("\"a b\""), Tokens{"a b"});
    EXPECT_EQ(Split("\"a\"\"b\""), Tokens{"a\"b"});
    EXPECT_EQ(Split("\"ab\"cd"), (Tokens{"ab", "cd"}));
    EXPECT_EQ(Split("a\"b"), Tokens{"a\"b"});
    EXPECT_EQ(Split("\"\" x"), (Tokens{"", "x"}));
    EXPECT_EQ(Split("\"\""), Tokens{""});
    EXPECT_EQ(Split("x \""), (Tokens{"x", ""}));
    EXPECT_EQ(Split("\"ab"), Tokens{"ab"});
    EXPECT_EQ(Split("\"\"\"x\""), Tokens{"\"x"});
    EXPECT_EQ(Split("*.jpg ?"), (Tokens{"*.jpg", "?"}));
}

TEST(SplitCommandLine, StopsAtTheLimit) {
    std::string text;
    for (int i = 0; i < 40; ++i) {
        text += "t" + std::to_string(i) + " ";
    }
    const Tokens tokens = Split(text);
    ASSERT_EQ(tokens.size(), 30u);
    EXPECT_EQ(tokens.back(), "t29");
    EXPECT_EQ(Split("a b", 0), Tokens{});
}

TEST(SplitCommandLine, RoundTripsOddArgumentsThroughTheBuilder) {
    const std::vector<std::string> arguments = {
        "/usr/bin/kerfo",
        "",
        "\"",
        "\"\"",
        "a b",
        "tab\there",
        "line\nfeed",
        "cr\rx",
        "quote\"inside",
        "\"leading",
        "trailing\"",
        "  ",
        "ends with space ",
        "\"a b\"",
        "-w",
        "50%",
        "*.jpg",
        "é ü",
        "x\"\" y",
        "\\back\\slash\\",
    };
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    const std::string line = platform::BuildCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(Split(line), arguments) << line;
}

TEST(SplitCommandLine, RoundTripKeepsTheFirstThirtyOfFortyArguments) {
    std::vector<std::string> arguments;
    for (int i = 0; i < 40; ++i) {
        arguments.push_back(i % 3 == 0 ? "arg " + std::to_string(i) : "\"" + std::to_string(i));
    }
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    const std::string line = platform::BuildCommandLine(40, argv.data());
    EXPECT_EQ(Split(line), std::vector<std::string>(arguments.begin(), arguments.begin() + 30));
}

TEST(TakeFlag, MatchesWholeEntriesApartFromCase) {
    CommandLine line("kerfo -helpme -HELP -Help");
    ArgList& list = line.List();
    EXPECT_EQ(TakeFlag(list, "-help"), 1);
    ASSERT_EQ(list.count, 3);
    EXPECT_STREQ(list.entries[1], "-helpme");
    EXPECT_STREQ(list.entries[2], "-Help");
    EXPECT_EQ(list.entries[3], nullptr);
    EXPECT_EQ(TakeFlag(list, "-help"), 1);
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(list.entries[2], nullptr);
    EXPECT_EQ(TakeFlag(list, "-help"), 0);
    EXPECT_EQ(list.count, 2);
}

TEST(TakeFlag, EmptyListAndLastEntry) {
    CommandLine empty("");
    EXPECT_EQ(TakeFlag(empty.List(), "-ver"), 0);
    CommandLine line("a b c");
    char* first = line.List().entries[0];
    EXPECT_EQ(TakeFlag(line.List(), "C"), 1);
    EXPECT_EQ(line.List().count, 2);
    EXPECT_EQ(line.List().entries[0], first);
    EXPECT_EQ(line.List().entries[2], nullptr);
}

TEST(TakeOptionValue, ReturnsTheRestOfTheFirstMatchOrTheDefaultItself) {
    const char* const fallback = "0";
    CommandLine line("kerfo -dbg -DBG=5 -dbg=7 -dbg=");
    ArgList& list = line.List();
    const char* value = TakeOptionValue(list, "-dbg=", fallback);
    EXPECT_STREQ(value, "5");
    ASSERT_EQ(list.count, 4);
    EXPECT_STREQ(list.entries[1], "-dbg");
    EXPECT_STREQ(list.entries[2], "-dbg=7");
    EXPECT_STREQ(TakeOptionValue(list, "-dbg=", fallback), "7");
    EXPECT_STREQ(TakeOptionValue(list, "-dbg=", fallback), "");
    EXPECT_EQ(TakeOptionValue(list, "-dbg=", fallback), fallback);
    EXPECT_STREQ(value, "5") << "a removed entry stays valid";
}

TEST(TakeOptionValue, EmptyPrefixTakesTheFirstEntryWhole) {
    CommandLine line("prog x");
    EXPECT_STREQ(TakeOptionValue(line.List(), "", "d"), "prog");
    EXPECT_EQ(line.List().count, 1);
}

}  // namespace
}  // namespace kerfo
