// The diagnostic log and the path and folder services.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <sstream>

#include "app/messages.h"
#include "support/log.h"
#include "support/paths.h"
#include "test_support.h"

namespace kerfo {
namespace {

using test::Lines;
using test::ReadFile;
using test::ScratchFolder;

// Strips the "HH:MM:SS " stamp of a message line.
std::string Message(const std::string& line) {
    EXPECT_TRUE(std::regex_match(line.substr(0, 9), std::regex("[0-9]{2}:[0-9]{2}:[0-9]{2} ")))
        << line;
    return line.substr(9);
}

class LogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = folder_ / "test.log";
        SetLogFullPath(path_.c_str());
    }
    std::vector<std::string> LogLines() { return Lines(ReadFile(path_)); }

    ScratchFolder folder_;
    std::string path_;
};

TEST_F(LogTest, FirstMessageBringsABannerAndLaterOnesDoNot) {
    LogMessage("first %d", 1);
    LogMessage("second %s", "two");
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "*");
    EXPECT_TRUE(std::regex_match(lines[1],
                                 std::regex("\\* [A-Z][a-z]{2} [0-9]{2} [A-Z][a-z]{2} [0-9]{4}")));
    EXPECT_EQ(lines[2], "*");
    EXPECT_EQ(Message(lines[3]), "first 1");
    EXPECT_EQ(Message(lines[4]), "second two");

    SetLogFullPath(path_.c_str());
    LogMessage("third");
    EXPECT_EQ(LogLines().size(), 9u) << "setting the path again brings a new banner";
}

TEST_F(LogTest, LogLineWritesTheTextAlone) {
    LogLine("plain %s", "line");
    EXPECT_EQ(ReadFile(path_), "plain line\n");
}

TEST_F(LogTest, LongTextsAreCutNotOverflowed) {
    const std::string huge(2000, 'x');
    LogLine("%s", huge.c_str());
    LogMessage("%s", huge.c_str());
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], std::string(512, 'x'));
    EXPECT_EQ(lines[4].size(), 512u) << "time, space and 503 characters of message";
}

TEST_F(LogTest, AnEscapeThatWouldBeCutAtTheLinesEndIsLeftOut) {
    LogMessage("%s\x01", std::string(500, 'x').c_str());  // 500 + 4 characters escaped
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(Message(lines[3]), std::string(500, 'x')) << "503 characters after the time";
}

TEST_F(LogTest, CommandLinesAndPercentSignsAreWrittenLiterally) {
    const char* arguments[] = {"-w", "50%", "a b.jpg"};
    LogCommand("kerfo", 3, arguments);
    LogCommand("alone", 0, nullptr);
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(Message(lines[3]), "kerfo -w 50% a b.jpg");
    EXPECT_EQ(Message(lines[4]), "alone");
}

TEST_F(LogTest, HexDumpLines) {
    unsigned char bytes[17];
    for (int i = 0; i < 17; ++i) {
        bytes[i] = static_cast<unsigned char>(i == 16 ? 0xC1 : 'A' + i);
    }
    bytes[3] = 0x07;
    LogHexDump("none", 0, bytes);
    LogHexDump("sixteen", 16, bytes);
    LogHexDump("seventeen", 17, bytes);
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 3u + 1 + 2 + 3);
    EXPECT_EQ(Message(lines[3]), "none");
    EXPECT_EQ(Message(lines[4]), "sixteen");
    const std::string full = Message(lines[5]);
    EXPECT_EQ(full.size(), 64u);
    EXPECT_EQ(full, "41 42 43 07 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 ABC.EFGHIJKLMNOP");
    const std::string last = Message(lines[8]);
    EXPECT_EQ(last.size(), 49u);
    EXPECT_EQ(last, "C1 " + std::string(45, ' ') + "A") << "0xC1 without its top bit is 'A'";
}

TEST(Log, WithoutAPathNothingIsWrittenAndTempNamesTheFolder) {
    ScratchFolder folder;
    const std::string temp = folder.Path() + "/";
    setenv("TEMP", temp.c_str(), 1);
    EXPECT_EQ(std::string(SetLogPath("Kerfo.log")), folder.Path() + "/Kerfo.log");
    setenv("TEMP", "", 1);
    EXPECT_STREQ(SetLogPath("Kerfo.log"), "Kerfo.log");
    unsetenv("TEMP");
    SetLogFullPath(nullptr);
    EXPECT_EQ(GetLogPath(), nullptr);
    LogMessage("nowhere");
    LogLine("nowhere");
    EXPECT_EQ(test::ListFolder(folder.Path()), std::vector<std::string>{});
}

TEST(Paths, JoinPath) {
    EXPECT_EQ(JoinPath("", "name"), "name");
    EXPECT_EQ(JoinPath("/tmp/", "name"), "/tmp/name");
    EXPECT_EQ(JoinPath("/tmp", "name"), "/tmp/name");
    EXPECT_EQ(JoinPath("a\\", "b"), "a\\/b") << "a backslash is part of a name";

    char buffer[10] = "unchanged";
    EXPECT_EQ(JoinPathInto(10, buffer, "abc", "def"), 1);
    EXPECT_STREQ(buffer, "abc/def");
    std::strcpy(buffer, "unchanged");
    EXPECT_EQ(JoinPathInto(7, buffer, "abc", "def"), 0);
    EXPECT_STREQ(buffer, "unchanged");
    EXPECT_EQ(JoinPathInto(8, buffer, "abc", "def"), 1);
}

TEST(Paths, ReplaceExtension) {
    EXPECT_EQ(ReplaceExtension("/a/b.tar.gz", ".txt"), "/a/b.tar.txt");
    EXPECT_EQ(ReplaceExtension("/a.d/b", ".txt"), "/a.d/b.txt");
    EXPECT_EQ(ReplaceExtension(".profile", ".txt"), ".txt");
    EXPECT_EQ(ReplaceExtension("plain", ".log"), "plain.log");
}

TEST(Paths, ProgramDirIsTheFolderOfTheRunningProgram) {
    const std::string folder = ComputeProgramDir();
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    EXPECT_EQ(folder, self.substr(0, self.rfind('/')));
}

TEST(Paths, PerUserFolderFollowsTheEnvironment) {
    setenv("AppData", "/data", 1);
    EXPECT_EQ(ComputePerUserFolder("Marrowlin", "Kerfo"), "/data/Marrowlin/Kerfo");
    unsetenv("AppData");
    const char* home = std::getenv("HOME");
    const std::string savedHome = home ? home : "";
    setenv("HOME", "/home/u", 1);
    unsetenv("APPDATA");
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(ComputePerUserFolder("M", "K"), "/home/u/.local/share/M/K");
    unsetenv("HOME");
    EXPECT_THROW(ComputePerUserFolder("M", "K"), FatalError);
    setenv("HOME", savedHome.c_str(), 1);
}

TEST(Paths, MakeDirChainAndFileExists) {
    ScratchFolder folder;
    for (const char* nothing : {"", ".", "..", "/"}) {
        EXPECT_EQ(MakeDirChain(nothing), 0) << nothing;
    }
    EXPECT_EQ(MakeDirChain(nullptr), 0);
    const std::string deep = folder / "a/b/c";
    EXPECT_EQ(MakeDirChain(deep.c_str()), 1);
    struct stat status {};
    EXPECT_EQ(stat(deep.c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(MakeDirChain(deep.c_str()), 1) << "existing folders are passed over";
    EXPECT_EQ(FileExists(deep.c_str()), 0) << "a folder is not a file";
    test::WriteFile(deep + "/f", "x");
    EXPECT_EQ(FileExists((deep + "/f").c_str()), 1);
    EXPECT_EQ(FileExists((deep + "/g").c_str()), 0);
}

TEST(Paths, PerUserCopyIsMadeOnceAndNeverOverwritten) {
    ScratchFolder folder;
    const std::string source = folder / "source";
    MakeDirChain(source.c_str());
    std::string contents = "line one\r\nline two\n";
    contents += std::string(100000, '\x1a');  // no text-mode surprises
    test::WriteFile(source + "/settings.ini", contents);
    setenv("AppData", (folder / "data").c_str(), 1);

    const std::string copy = EnsurePerUserCopy(source.c_str(), "Maker", "Prog", "settings.ini");
    EXPECT_EQ(copy, folder / "data/Maker/Prog/settings.ini");
    EXPECT_TRUE(ReadFile(copy) == contents);
    test::WriteFile(copy, "edited");
    EXPECT_EQ(EnsurePerUserCopy(source.c_str(), "Maker", "Prog", "settings.ini"), copy);
    EXPECT_EQ(ReadFile(copy), "edited");
    unsetenv("AppData");
}

TEST(Paths, CopyFileContentsFailures) {
    ScratchFolder folder;
    try {
        CopyFileContents((folder / "missing").c_str(), (folder / "t").c_str());
        FAIL();
    } catch (const FatalError& error) {
        EXPECT_EQ(error.what(), "Can't open " + (folder / "missing"));
    }
    test::WriteFile(folder / "s", "data");
    try {
        CopyFileContents((folder / "s").c_str(), (folder / "no/t").c_str());
        FAIL();
    } catch (const FatalError& error) {
        EXPECT_EQ(error.what(), "Can't create " + (folder / "no/t"));
    }
    EXPECT_EQ(test::ListFolder(folder.Path()), std::vector<std::string>{"s"});
}

}  // namespace
}  // namespace kerfo
