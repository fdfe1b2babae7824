// The diagnostic log and the path and folder services.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string_view>
#include <vector>

#include "app/messages.h"
#include "platform/platform.h"
#include "platform/safe_file.h"
#include "support/log.h"
#include "support/paths.h"
#include "test_support.h"

namespace kerfo {
namespace {

using platform::kPathSeparator;
using test::ReadFile;
using test::ScratchFolder;
using test::SetEnv;
using test::UnsetEnv;

// The end of every line in the log: CR LF on Windows, as its text files have.
#ifdef _WIN32
constexpr std::string_view kLineEnd = "\r\n";
#else
constexpr std::string_view kLineEnd = "\n";
#endif

// The variable's value, or none when it is not set.
std::optional<std::string> GetEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

void RestoreEnv(const char* name, const std::optional<std::string>& value) {
    if (value) {
        SetEnv(name, *value);
    } else {
        UnsetEnv(name);
    }
}

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
    // The lines of the log, each of which must end in the platform's line end.
    std::vector<std::string> LogLines() {
        const std::string text = ReadFile(path_);
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find(kLineEnd, start)) != std::string::npos;
             start = end + kLineEnd.size()) {
            lines.push_back(text.substr(start, end - start));
        }
        EXPECT_EQ(start, text.size()) << "the log ends in a whole line";
        return lines;
    }

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
    EXPECT_EQ(ReadFile(path_), "plain line" + std::string(kLineEnd));
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
    const std::optional<std::string> savedTemp = GetEnv("TEMP");
    const std::optional<std::string> savedTmpdir = GetEnv("TMPDIR");
    SetEnv("TEMP", folder.Path() + kPathSeparator);
    EXPECT_EQ(std::string(SetLogPath("Kerfo.log")), folder / "Kerfo.log");
#ifndef _WIN32
    // Windows' C runtime keeps no variable set to nothing.
    SetEnv("TEMP", "");
    EXPECT_STREQ(SetLogPath("Kerfo.log"), "Kerfo.log");
#endif
    UnsetEnv("TEMP");
    SetEnv("TMPDIR", folder.Path());
#ifdef _WIN32
    EXPECT_STREQ(SetLogPath("Kerfo.log"), "C:\\temp\\Kerfo.log") << "TMPDIR is not Windows'";
#else
    EXPECT_EQ(std::string(SetLogPath("Kerfo.log")), folder / "Kerfo.log");
    UnsetEnv("TMPDIR");
    EXPECT_STREQ(SetLogPath("Kerfo.log"), "/tmp/Kerfo.log");
#endif
    RestoreEnv("TMPDIR", savedTmpdir);
    RestoreEnv("TEMP", savedTemp);
    SetLogFullPath(nullptr);
    EXPECT_EQ(GetLogPath(), nullptr);
    LogMessage("nowhere");
    LogLine("nowhere");
    EXPECT_EQ(test::ListFolder(folder.Path()), std::vector<std::string>{});
}

TEST(Paths, JoinPath) {
    struct Case {
        const char* folder;
        const char* name;
        const char* path;
    };
    const Case cases[] = {
        {"", "name", "name"},
#ifdef _WIN32
        {"C:\\tmp\\", "name", "C:\\tmp\\name"},
        {"C:\\tmp", "name", "C:\\tmp\\name"},
        {"C:", "name", "C:\\name"},
#else
        {"/tmp/", "name", "/tmp/name"},
        {"/tmp", "name", "/tmp/name"},
        {"a\\", "b", "a\\/b"},  // a backslash is part of a name
#endif
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JoinPath(c.folder, c.name), c.path) << c.folder;
    }

    char buffer[10] = "unchanged";
    EXPECT_EQ(JoinPathInto(10, buffer, "abc", "def"), 1);
    EXPECT_EQ(std::string(buffer), std::string("abc") + kPathSeparator + "def");
    std::strcpy(buffer, "unchanged");
    EXPECT_EQ(JoinPathInto(7, buffer, "abc", "def"), 0);
    EXPECT_STREQ(buffer, "unchanged");
    EXPECT_EQ(JoinPathInto(8, buffer, "abc", "def"), 1);
}

TEST(Paths, ReplaceExtension) {
    struct Case {
        const char* path;
        const char* extension;
        const char* result;
    };
    const Case cases[] = {
#ifdef _WIN32
        {"C:\\a\\b.tar.gz", ".txt", "C:\\a\\b.tar.txt"},
        {"C:\\a.d\\b", ".txt", "C:\\a.d\\b.txt"},
#else
        {"/a/b.tar.gz", ".txt", "/a/b.tar.txt"},
        {"/a.d/b", ".txt", "/a.d/b.txt"},
#endif
        {".profile", ".txt", ".txt"},
        {"plain", ".log", "plain.log"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReplaceExtension(c.path, c.extension), c.result) << c.path;
    }
}

TEST(Paths, ProgramDirIsTheFolderOfTheRunningProgram) {
    const std::string folder = ComputeProgramDir();
#ifdef _WIN32
    // A whole path with its drive, which holds this program.
    EXPECT_TRUE(folder.size() > 3 && folder.compare(1, 2, ":\\") == 0) << folder;
    EXPECT_NE(folder.back(), '\\');
    EXPECT_TRUE(std::filesystem::is_regular_file(folder + "\\" + KERFO_UNIT_TESTS_NAME)) << folder;
#else
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    EXPECT_EQ(folder, self.substr(0, self.rfind('/')));
#endif
}

TEST(Paths, PerUserFolderFollowsTheEnvironment) {
    const std::optional<std::string> savedAppData = GetEnv("AppData");
#ifdef _WIN32
    SetEnv("AppData", "C:\\data");
    EXPECT_EQ(ComputePerUserFolder("Marrowlin", "Kerfo"), "C:\\data\\Marrowlin\\Kerfo");
    SetEnv("APPDATA", "D:\\roaming");
    EXPECT_EQ(ComputePerUserFolder("M", "K"), "D:\\roaming\\M\\K") << "the same name in any case";
    UnsetEnv("AppData");
    const std::optional<std::string> savedXdg = GetEnv("XDG_DATA_HOME");
    const std::optional<std::string> savedHome = GetEnv("HOME");
    SetEnv("XDG_DATA_HOME", "C:\\xdg");
    SetEnv("HOME", "C:\\home");
    EXPECT_THROW(ComputePerUserFolder("M", "K"), FatalError) << "AppData alone names the folder";
    RestoreEnv("XDG_DATA_HOME", savedXdg);
    RestoreEnv("HOME", savedHome);
#else
    SetEnv("AppData", "/data");
    EXPECT_EQ(ComputePerUserFolder("Marrowlin", "Kerfo"), "/data/Marrowlin/Kerfo");
    UnsetEnv("AppData");
    const char* home = std::getenv("HOME");
    const std::string savedHome = home ? home : "";
    SetEnv("HOME", "/home/u");
    UnsetEnv("APPDATA");
    UnsetEnv("XDG_DATA_HOME");
    EXPECT_EQ(ComputePerUserFolder("M", "K"), "/home/u/.local/share/M/K");
    UnsetEnv("HOME");
    EXPECT_THROW(ComputePerUserFolder("M", "K"), FatalError);
    SetEnv("HOME", savedHome);
#endif
    RestoreEnv("AppData", savedAppData);
}

TEST(Paths, MakeDirChainAndFileExists) {
    ScratchFolder folder;
    for (const char* nothing : {"", ".", "..", "/"}) {
        EXPECT_EQ(MakeDirChain(nothing), 0) << nothing;
    }
    if (platform::kPathsHaveDrives) {
        for (const char* nothing : {"\\", "C:", "C:\\", "C:/"}) {
            EXPECT_EQ(MakeDirChain(nothing), 0) << nothing;
        }
    }
    EXPECT_EQ(MakeDirChain(nullptr), 0);
    std::vector<std::string> chains = {folder / "a/b/c"};
    if (platform::kPathsHaveDrives) {
        chains.push_back(folder.Path() + "\\m\\n/o/p");  // behind a drive, both separators
    }
    for (const std::string& deep : chains) {
        EXPECT_EQ(MakeDirChain(deep.c_str()), 1) << deep;
        EXPECT_TRUE(std::filesystem::is_directory(deep)) << deep;
        EXPECT_EQ(MakeDirChain(deep.c_str()), 1) << "existing folders are passed over";
    }
    const std::string deep = folder / "a/b/c";
    EXPECT_EQ(FileExists(deep.c_str()), 0) << "a folder is not a file";
    test::WriteFile(folder / "a/b/c/f", "x");
    EXPECT_EQ(FileExists((folder / "a/b/c/f").c_str()), 1);
    EXPECT_EQ(FileExists((folder / "a/b/c/g").c_str()), 0);

    // Names in any script, past the classic limit of 260 characters.
    const std::string far =
        folder / (std::string(120, 'a') + "/Łódź " + std::string(120, 'b') + "/Фото");
    EXPECT_EQ(MakeDirChain(far.c_str()), 1);
    const std::string copy = far + kPathSeparator + "照片.txt";
    EXPECT_EQ(CopyFileContents((folder / "a/b/c/f").c_str(), copy.c_str()), 1);
    EXPECT_EQ(FileExists(copy.c_str()), 1) << copy;
    EXPECT_EQ(FileExists((far + kPathSeparator + "照片").c_str()), 0);
}

TEST(Paths, PerUserCopyIsMadeOnceAndNeverOverwritten) {
    ScratchFolder folder;
    const std::string source = folder / "source";
    MakeDirChain(source.c_str());
    std::string contents = "line one\r\nline two\n";
    contents += std::string(100000, '\x1a');  // no text-mode surprises
    test::WriteFile(folder / "source/settings.ini", contents);
    const std::optional<std::string> savedAppData = GetEnv("AppData");
    SetEnv("AppData", folder / "data");

    const std::string copy = EnsurePerUserCopy(source.c_str(), "Maker", "Prog", "settings.ini");
    EXPECT_EQ(copy, folder / "data/Maker/Prog/settings.ini");
    EXPECT_TRUE(ReadFile(copy) == contents);
    test::WriteFile(copy, "edited");
    EXPECT_EQ(EnsurePerUserCopy(source.c_str(), "Maker", "Prog", "settings.ini"), copy);
    EXPECT_EQ(ReadFile(copy), "edited");
    RestoreEnv("AppData", savedAppData);
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

#ifdef _WIN32
// A move gives its name: a file named in another case (or by its short name) keeps its own.
TEST(Paths, AFileNamedOtherwiseIsReplacedUnderItsOwnName) {
    ScratchFolder folder;
    test::WriteFile(folder / "Longer name.jpg", "picture");
    for (const char* name : {"LONGER NAME.JPG", "longer name.jpg"}) {
        EXPECT_EQ(platform::ReplacementFile(folder / name).Target(), folder / "Longer name.jpg");
    }
}
#endif

}  // namespace
}  // namespace kerfo
