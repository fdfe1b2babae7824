// The readers of whole files, [section] lines and key=value settings, on files
// the tests write, and the splitting of lines into fields.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/messages.h"
#include "owned_list.h"
#include "test_support.h"
#include "util/strings.h"
#include "util/text_files.h"

namespace kerfo {
namespace {

using test::OwnedList;
using test::Texts;

class TextFiles : public ::testing::Test {
  protected:
    std::string Write(const std::string& contents, const char* name = "file.txt") {
        const std::string path = folder / name;
        test::WriteFile(path, contents);
        return path;
    }

    // LoadLines into an owned list; the count must agree with the array.
    Texts Lines(const std::string& path, const std::string& section) {
        char** array = nullptr;
        const int count = LoadLines(path.c_str(), section.c_str(), &array);
        OwnedList lines(array);
        EXPECT_EQ(count, StringListCount(array));
        return lines.Texts();
    }

    std::string Setting(const std::string& path, const char* key, int size = 256) {
        std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 1));
        const char* value = FindSetting(path.c_str(), key, size, buffer.data());
        return value != nullptr ? "=" + std::string(value) : "null";
    }

    test::ScratchFolder folder;
};

std::string FatalMessage(void (*call)(const char*), const std::string& path) {
    try {
        call(path.c_str());
    } catch (const FatalError& error) {
        return error.what();
    }
    return "no Fatal";
}

TEST_F(TextFiles, ReadAllReadsCrLfAsLineFeeds) {
    EXPECT_STREQ(OwnedText(ReadAll(Write("one\ntwo\n").c_str())).get(), "one\ntwo\n");
    const std::string crlf = Write("one\r\ntwo\r\nthree");
    EXPECT_STREQ(OwnedText(ReadAll(crlf.c_str())).get(), "one\ntwo\nthree");
    EXPECT_STREQ(OwnedText(ReadAll(Write("lone\rcr\r").c_str())).get(), "lone\rcr\r");
    EXPECT_STREQ(OwnedText(ReadAll(Write("").c_str())).get(), "");
}

TEST_F(TextFiles, ReadAllEndsTheRunOnAFileItCannotRead) {
    const auto readAll = [](const char* path) { std::free(ReadAll(path)); };
    EXPECT_EQ(FatalMessage(readAll, folder / "missing"),
              "Can't read file: " + (folder / "missing"));
    EXPECT_EQ(FatalMessage(readAll, folder.Path()), "Can't read file: " + folder.Path());
}

TEST_F(TextFiles, ASectionRunsToTheFirstBlankLineOnly) {
    const std::string path = Write("top=0\n[Colors]\nred=1\n  blue = 2\n[Sizes]\nbig=3");
    EXPECT_EQ(Lines(path, "colors"), (Texts{"red=1", "  blue = 2", "[Sizes]", "big=3"}));
    EXPECT_EQ(Lines(path, "Sizes"), Texts{"big=3"});

    const std::string tabbed = Write("[A]\n\tx\n# note\n\t\ny\n", "tabbed.txt");
    EXPECT_EQ(Lines(tabbed, "a"), (Texts{"\tx", "# note"}));
}

TEST_F(TextFiles, SectionHeadersStartInTheFirstColumn) {
    EXPECT_EQ(Lines(Write("[Colors] extra\nred=1\n"), "COLORS"), Texts{"red=1"});
    EXPECT_EQ(Lines(Write(" [Colors]\nred=1\n"), "Colors"), Texts{});
    EXPECT_EQ(Lines(Write("[Colors]\n"), "Colors"), Texts{});
    EXPECT_EQ(Lines(Write("[Colors]\nred=1\n"), "Sizes"), Texts{});
    EXPECT_EQ(Lines(Write(""), "Sizes"), Texts{});
}

TEST_F(TextFiles, CrLfSectionsReadLikeLineFeedOnes) {
    const std::string path = Write("[Colors]\r\nred=1\r\n  blue = 2\r\n\r\n[Sizes]\r\nbig=3\r\n");
    EXPECT_EQ(Lines(path, "Colors"), (Texts{"red=1", "  blue = 2"}));
    EXPECT_EQ(Lines(path, "sizes"), Texts{"big=3"});
}

TEST_F(TextFiles, LoadLinesEndsTheRunOnAMissingFile) {
    const auto load = [](const char* path) {
        char** lines = nullptr;
        LoadLines(path, "any", &lines);
    };
    EXPECT_EQ(FatalMessage(load, folder / "missing"),
              "LoadLines. " + (folder / "missing") + " file missing");
}

TEST_F(TextFiles, LongLinesComeInPiecesOf254) {
    const std::string longLine(300, 'x');
    const std::string exact(254, 'y');
    const std::string path =
        Write("[S]\n" + longLine + "\n" + exact + "\nafter\n" + exact + "\n\nnot this\n");
    // A line of exactly one read is followed by its bare line feed, which is no
    // blank line: the section goes on behind it.
    EXPECT_EQ(Lines(path, "S"),
              (Texts{std::string(254, 'x'), std::string(46, 'x'), exact, "after", exact}));

    // Only the start of a line is a header, not the rest of a long one.
    const std::string tail = Write(std::string(254, 'z') + "[S]\nno\n\n[S]\nyes\n", "tail.txt");
    EXPECT_EQ(Lines(tail, "S"), Texts{"yes"});
}

TEST_F(TextFiles, SectionNamesTooLongForTheHeaderFindNothing) {
    const std::string fits(252, 'n');
    EXPECT_EQ(Lines(Write("[" + fits + "]\nvalue\n"), fits), Texts{"value"});
    for (std::size_t length : {253u, 254u, 255u, 1000u}) {
        const std::string name(length, 'n');
        EXPECT_EQ(Lines(Write("[" + name + "]\nvalue\n"), name), Texts{}) << length;
    }
}

TEST_F(TextFiles, FreeLinesLeavesTheArrayToTheCaller) {
    char** lines = nullptr;
    ASSERT_EQ(LoadLines(Write("[A]\none\ntwo\n").c_str(), "A", &lines), 2);
    FreeLines(lines);
    std::free(lines);

    char* counted[] = {DupString("a"), nullptr, DupString("c"), nullptr};
    FreeCountedLines(3, counted);
    FreeCountedLines(0, counted);
}

TEST_F(TextFiles, FindSettingTrimsKeysAndValues) {
    const std::string path = Write("# blue=no\n\nplain line\n  blue = 2 \nsize=a=b  \n=empty\n");
    EXPECT_EQ(Setting(path, "Blue"), "= 2");
    EXPECT_EQ(Setting(path, "SIZE"), "=a=b");
    EXPECT_EQ(Setting(path, ""), "=empty");
    EXPECT_EQ(Setting(path, "blu"), "null");
    EXPECT_EQ(Setting(path, "# blue"), "null");
    EXPECT_EQ(Setting(folder / "missing", "blue"), "null");
}

TEST_F(TextFiles, FindSettingTakesTheFirstMatchTheCatchAllIncluded) {
    const std::string path = Write("red=1\n* = any\nblue = 2\nred=3\n");
    EXPECT_EQ(Setting(path, "blue"), "= any");
    EXPECT_EQ(Setting(path, "red"), "=1");
    EXPECT_EQ(Setting(path, "*"), "= any");
}

TEST_F(TextFiles, FindSettingOnCrLfFilesGivesNoCarriageReturn) {
    const std::string path = Write("red=1\r\nblue = 2\r\n");
    EXPECT_EQ(Setting(path, "red"), "=1");
    EXPECT_EQ(Setting(path, "blue"), "= 2");
}

TEST_F(TextFiles, FindSettingStaysInsideASmallBuffer) {
    const std::string path = Write("key=value that is long\nk=v\n");
    // Too small for a character of a line: null at once, no endless loop.
    for (int size : {1, 0, -5}) {
        EXPECT_EQ(Setting(path, "k", size), "null") << size;
    }
    // The long line comes in pieces of 7 characters, each read as a line.
    char buffer[9];
    std::memset(buffer, '#', sizeof buffer);
    const char* value = FindSetting(path.c_str(), "key", 8, buffer);
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value, "val");
    EXPECT_EQ(buffer[8], '#');
    EXPECT_EQ(Setting(path, "k", 8), "=v");
}

TEST(FindLineSetting, KeyDirectlyBeforeTheEqualsSign) {
    char red[] = "red=1";
    char spaced[] = "  RED=  5";
    char blankBefore[] = "red = 1";
    char comment[] = "#red=1";
    char shorter[] = "re";
    char* lines[] = {blankBefore, comment, shorter, nullptr, spaced, red};
    EXPECT_EQ(FindLineSetting("red", 6, lines), spaced + 8);
    EXPECT_EQ(FindLineSetting("red", 4, lines), nullptr);
    EXPECT_EQ(FindLineSetting("red", 0, lines), nullptr);
    EXPECT_EQ(FindLineSetting("red", -1, lines), nullptr);
    char trailing[] = "name=\t kept  ";
    char* one[] = {trailing};
    EXPECT_STREQ(FindLineSetting("NAME", 1, one), "kept  ");
    EXPECT_STREQ(trailing, "name=\t kept  ");  // unchanged
}

// SplitFields on a copy of text, the fields as texts.
Texts Split(char separator, std::string text, int max = 10) {
    std::vector<char*> fields(static_cast<std::size_t>(max > 0 ? max : 0) + 1,
                              reinterpret_cast<char*>(1));
    const int count = SplitFields(separator, text.data(), max, fields.data());
    EXPECT_EQ(fields[static_cast<std::size_t>(count)], nullptr);
    return Texts(fields.begin(), fields.begin() + count);
}

TEST(SplitFields, SeparatorsQuotesAndBlanks) {
    EXPECT_EQ(Split(',', "a, b ,,\"c,d\""), (Texts{"a", "b ", "", "c,d"}));
    EXPECT_EQ(Split(',', "a,b,"), (Texts{"a", "b"}));
    EXPECT_EQ(Split(',', "\"open, to the end"), Texts{"open, to the end"});
    EXPECT_EQ(Split(',', "x\"y,z"), (Texts{"x\"y", "z"}));
    EXPECT_EQ(Split(',', "\ta,\tb"), (Texts{"\ta", "\tb"}));
    EXPECT_EQ(Split('\0', "  a, b c"), Texts{"a, b c"});
    EXPECT_EQ(Split(',', "   "), Texts{});
}

TEST(SplitFields, ASeparatorBehindAClosingQuoteBelongsToTheField) {
    EXPECT_EQ(Split(',', "\"a\",b"), (Texts{"a", "b"}));
    EXPECT_EQ(Split(',', "\"a\",,b"), (Texts{"a", "", "b"}));
    EXPECT_EQ(Split(',', "\"a\","), Texts{"a"});
    EXPECT_EQ(Split(',', "\"a\" ,b"), (Texts{"a", "", "b"}));
    EXPECT_EQ(Split(',', "\"\",x"), (Texts{"", "x"}));
}

TEST(SplitFields, StopsAtTheMaximum) {
    EXPECT_EQ(Split(',', "a,b,c", 2), (Texts{"a", "b"}));
    EXPECT_EQ(Split(',', "a,b", 0), Texts{});
    EXPECT_EQ(Split(',', "a,b", -4), Texts{});
}

TEST(SplitWords, RunsOfSpacesSeparateLikeOne) {
    std::string text = "one  two three";
    char* fields[6];
    EXPECT_EQ(SplitWords(text.data(), 2, fields), 2);
    EXPECT_STREQ(fields[0], "one");
    EXPECT_STREQ(fields[1], "two");
    EXPECT_EQ(fields[2], nullptr);
    EXPECT_EQ(fields[0], text.data());  // the fields lie in the caller's text

    for (std::string blank : {"", "    "}) {
        EXPECT_EQ(SplitWords(blank.data(), 2, fields), 0);
        EXPECT_EQ(fields[0], nullptr);
    }
    std::string quoted = "say \"two words\" end";
    EXPECT_EQ(SplitWords(quoted.data(), 5, fields), 3);
    EXPECT_STREQ(fields[1], "two words");
}

TEST(LineEnds, StripNewlineAndCleanLineEnds) {
    std::string text = "ab\r\n";
    EXPECT_STREQ(StripNewline(text.data()), "ab\r");
    text = "ab\n\n";
    EXPECT_STREQ(StripNewline(text.data()), "ab\n");
    text = "";
    EXPECT_STREQ(StripNewline(text.data()), "");

    text = "ab\r\ncd\r\n";
    EXPECT_STREQ(CleanLineEnds(text.data()), "ab  cd");
    text = "\r\n\n\r";
    EXPECT_STREQ(CleanLineEnds(text.data()), "");
    text = "a\nb";
    EXPECT_STREQ(CleanLineEnds(text.data()), "a b");
}

}  // namespace
}  // namespace kerfo
