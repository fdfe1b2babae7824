// When the desktop dialog is chosen, what zenity is handed, and how every way
// it can fail still brings the box to the console, so no message is lost.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "desktop_support.h"
#include "test_support.h"

namespace kerfo::test {
namespace {

const char* kMissingPicture = "/nonexistent/photo.jpg";
const std::string kFatalConsole =
    "Kerfo Ver 1.12 - warning\nCouldn't open input file: /nonexistent/photo.jpg\n";

// A zenity that records its arguments (each followed by a zero byte), chatters
// on standard error like GTK does, and ends as FAKE_ZENITY_EXIT says: a status,
// or "signal" to die by SIGKILL.
const char* kFakeZenity =
    "#!/bin/sh\n"
    "printf '%s\\0' \"$@\" > \"$FAKE_ZENITY_LOG\"\n"
    "printf '%s\\n' \"$FAKE_ZENITY_SAYS\" >&2\n"
    "[ \"$FAKE_ZENITY_EXIT\" = signal ] && kill -KILL $$\n"
    "exit \"$FAKE_ZENITY_EXIT\"\n";

const char* kChatter = "(zenity:42): Gtk-WARNING **: dialog mapped without a transient parent";

class DialogChoice : public testing::Test {
  protected:
    void SetUp() override {
        WriteFile(scratch_ / "zenity", kFakeZenity);
        chmod((scratch_ / "zenity").c_str(), 0755);
    }

    // Runs kerfo with every stream a pipe, a display set and the fake zenity
    // first on PATH.
    RunResult RunWithFake(const std::vector<std::string>& arguments, const std::string& exit,
                          const std::string& says = kChatter) {
        RunOptions options;
        options.environment = {{"DISPLAY", ":0"},
                               {"PATH", scratch_.Path() + ":/usr/bin:/bin"},
                               {"FAKE_ZENITY_LOG", Log()},
                               {"FAKE_ZENITY_EXIT", exit},
                               {"FAKE_ZENITY_SAYS", says}};
        return RunKerfo(arguments, options);
    }

    std::string Log() const { return scratch_ / "zenity.log"; }

    std::vector<std::string> ZenityArguments() const {
        std::vector<std::string> arguments;
        const std::string log = ReadFile(Log());
        std::size_t start = 0;
        for (std::size_t end; (end = log.find('\0', start)) != std::string::npos; start = end + 1) {
            arguments.push_back(log.substr(start, end - start));
        }
        return arguments;
    }

    ScratchFolder scratch_;
};

TEST_F(DialogChoice, ZenityIsHandedTheTitleAndTheTextWholeAsSingleArguments) {
    const RunResult console = RunKerfo({"-?"});
    const std::string usage = console.out.substr(console.out.find('\n') + 1);
    ASSERT_NE(usage.find('\t'), std::string::npos);

    const RunResult result = RunWithFake({"-?"}, "0");
    EXPECT_EQ(result.exitCode, 0);
    const std::vector<std::string> arguments = ZenityArguments();
    ASSERT_GE(arguments.size(), 4u);
    EXPECT_EQ(arguments[0], "--info");
    EXPECT_EQ(arguments[1], "--no-markup");
    EXPECT_EQ(arguments[2], "--title=Kerfo Ver 1.12");
    EXPECT_EQ(arguments[3], "--text=" + usage);

    // Quotes, dollars, backquotes and a leading dash reach zenity as written:
    // no shell stands between them.
    const std::string name = "-a \"b\" $HOME `x` 'c'.jpg";
    EXPECT_EQ(RunWithFake({"-w", "10", "/nonexistent/" + name}, "0").exitCode, 1);
    const std::vector<std::string> fatal = ZenityArguments();
    ASSERT_GE(fatal.size(), 4u);
    EXPECT_EQ(fatal[0], "--warning");
    EXPECT_EQ(fatal[3], "--text=Couldn't open input file: /nonexistent/" + name);
}

// How each way zenity can end decides whether the console shows the box too.
TEST_F(DialogChoice, OnlyABoxShownAndDismissedSparesTheConsole) {
    struct Case {
        const char* exit;
        const char* says;
        bool console;
        const char* meaning;
    };
    const Case cases[] = {
        {"0", kChatter, false, "OK pressed"},
        {"1", kChatter, false, "closed with Escape or the window's close button"},
        {"1", "(zenity:42): Gtk-WARNING **: 03:28:55.002: cannot open display: :0", true,
         "GTK could not open the display"},
        {"5", kChatter, true, "timed out"},
        {"255", "This option is not available.", true, "zenity refused its arguments"},
        {"signal", kChatter, true, "zenity was killed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.meaning);
        const RunResult fatal = RunWithFake({"-w", "10", kMissingPicture}, c.exit, c.says);
        EXPECT_EQ(fatal.exitCode, 1);
        EXPECT_EQ(fatal.out, "");
        EXPECT_EQ(fatal.err, c.console ? kFatalConsole : "");

        const RunResult version = RunWithFake({"-ver"}, c.exit, c.says);
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.out.rfind("Kerfo Ver 1.12\nCopyright", 0) == 0, c.console) << version.out;
        EXPECT_EQ(version.err, "");
    }
}

TEST_F(DialogChoice, WithoutADisplayTheConsoleIsUsedAndZenityNeverRuns) {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        RunOptions options;
        options.environment = {{variable, ""},
                               {"PATH", scratch_.Path() + ":/usr/bin:/bin"},
                               {"FAKE_ZENITY_LOG", Log()},
                               {"FAKE_ZENITY_EXIT", "0"}};
        const RunResult result = RunKerfo({"-w", "10", kMissingPicture}, options);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, kFatalConsole);
    }
    EXPECT_FALSE(Exists(Log()));
}

TEST_F(DialogChoice, ATerminalOnAnyStreamKeepsTheConsole) {
    if (!FindOnPath("script")) {
        GTEST_SKIP() << "script (util-linux) is not installed: it gives the program a terminal";
    }
    // Standard input alone is the terminal; output and error go to files.
    const std::string command =
        "'" + KerfoBinary() + "' -ver >'" + (scratch_ / "out") + "' 2>'" + (scratch_ / "err") + "'";
    RunOptions options;
    options.environment = {{"DISPLAY", ":0"},
                           {"PATH", scratch_.Path() + ":/usr/bin:/bin"},
                           {"FAKE_ZENITY_LOG", Log()},
                           {"FAKE_ZENITY_EXIT", "0"}};
    const RunResult result =
        test::Run(*FindOnPath("script"), {"-qec", command, "/dev/null"}, options);
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(ReadFile(scratch_ / "out").rfind("Kerfo Ver 1.12\nCopyright", 0), 0u);
    EXPECT_FALSE(Exists(Log()));
}

class ConsoleFallback : public testing::Test {
  protected:
    static void ExpectConsole(const RunOptions& options) {
        const RunResult fatal = RunKerfo({"-w", "10", kMissingPicture}, options);
        EXPECT_EQ(fatal.exitCode, 1);
        EXPECT_EQ(fatal.out, "");
        EXPECT_EQ(fatal.err, kFatalConsole);

        const RunResult version = RunKerfo({"-ver"}, options);
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.out.rfind("Kerfo Ver 1.12\nCopyright (C) ", 0), 0u) << version.out;
        EXPECT_NE(version.out.find("\n\nBuild date:\t"), std::string::npos);
        EXPECT_EQ(version.err, "");
    }
};

TEST_F(ConsoleFallback, WhenZenityIsNotOnPath) {
    ScratchFolder emptyFolder;
    RunOptions options;
    options.environment = {{"DISPLAY", ":0"}, {"PATH", emptyFolder.Path()}};
    ExpectConsole(options);
}

TEST_F(ConsoleFallback, WhenZenityCannotOpenTheDisplay) {
    if (!FindOnPath("zenity")) {
        GTEST_SKIP() << "zenity is not installed; scripts/setup.sh test installs it";
    }
    // A display number with no server behind it.
    int number = 731;
    while (Exists("/tmp/.X11-unix/X" + std::to_string(number))) {
        ++number;
    }
    RunOptions options;
    options.environment = {{"DISPLAY", ":" + std::to_string(number)}};
    ExpectConsole(options);
}

}  // namespace
}  // namespace kerfo::test
