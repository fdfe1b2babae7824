// The program's answers to its command line, run as the real binary: requests,
// malformed command lines, the debug log and the environment it reads.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <sstream>
#include <thread>

#include "test_support.h"

namespace kerfo::test {
namespace {

const char kTitle[] = "Kerfo Ver 1.12\n";
const char kWarningTitle[] = "Kerfo Ver 1.12 - warning\n";

int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::string UsageBox() {
    return std::string(kTitle) +
           "Usage:\n"
           "1. Kerfo {-w|-h} size filename.jpg [out.jpg [rest.jpg]]\n"
           "2. Kerfo -g rows cols filename.jpg\n"
           "\n"
           "1. Cut to size wide or high.\n"
           "size is pixels unless it ends with %, in, cm or mm.\n"
           "filename.jpg will be the left or top bit.\n"
           "Or that will be in out.jpg with the rest in rest.jpg.\n"
           "\n"
           "2. Cut into rows and columns.\n"
           "Output will be in filename-rr-cc.jpg\n"
           "where rr is the row number (01..) and cc is the column number (01..)\n"
           "\n"
           "Kerfo -help\tShow online help.\n"
           "Kerfo -ver \tShow version.\n"
           "\n"
           "This software uses the FreeImage open source image library. See "
           "http://freeimage.sourceforge.net for details.\n"
           "FreeImage is used under the FIPL, version 1.0.\n";
}

// A folder with a small picture in it, and runs of kerfo inside it whose log
// goes to the folder too.
class DispatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SavePictureFile(MakePattern(40, 30).get(), folder_ / "a.png", 11811);
        original_ = ReadFile(folder_ / "a.png");
    }

    RunResult Kerfo(const std::vector<std::string>& arguments) {
        RunOptions options;
        options.workingFolder = folder_.Path();
        options.environment["TEMP"] = folder_.Path();
        return RunKerfo(arguments, options);
    }

    bool Untouched() { return ReadFile(folder_ / "a.png") == original_; }

    unsigned WidthOf(const std::string& name) {
        const TestBitmap bitmap = LoadPictureFile(folder_ / name);
        return bitmap ? FreeImage_GetWidth(bitmap.get()) : 0;
    }
    unsigned HeightOf(const std::string& name) {
        const TestBitmap bitmap = LoadPictureFile(folder_ / name);
        return bitmap ? FreeImage_GetHeight(bitmap.get()) : 0;
    }

    ScratchFolder folder_;
    std::string original_;
};

TEST_F(DispatchTest, UsageTextExactlyAndItsExitCodes) {
    RunResult result = Kerfo({});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, UsageBox());
    EXPECT_EQ(result.err, "");

    result = Kerfo({"-?"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, UsageBox());

    result = Kerfo({"-?", "a.png"});
    EXPECT_EQ(result.exitCode, 1) << "-? beside another argument is a file name";
    EXPECT_EQ(result.out, UsageBox());

    result = Kerfo({"-oq", "80", "a.png"});
    EXPECT_EQ(result.exitCode, 1) << "no mode";
    EXPECT_EQ(result.out, UsageBox());

    result = Kerfo({"-g", "2", "3", "a.png", "b.png"});
    EXPECT_EQ(result.exitCode, 1) << "a grid takes one name";
    EXPECT_EQ(result.out, UsageBox());

    result = Kerfo({"-w", "10"});
    EXPECT_EQ(result.exitCode, 1) << "no name";
    EXPECT_TRUE(Untouched());

    // --help: the usage text, then the options beyond it; --version as -ver.
    result = Kerfo({"--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.substr(0, UsageBox().size() - 1),
              UsageBox().substr(0, UsageBox().size() - 1));
    for (const char* option : {"-tile w h", "-whole", "-overlap size", "-shown", "-lossless"}) {
        EXPECT_NE(result.out.find(std::string("\n") + option + "\t"), std::string::npos) << option;
    }
    EXPECT_EQ(Kerfo({"--version"}).out, Kerfo({"-ver"}).out);
    EXPECT_EQ(Kerfo({"--version"}).exitCode, 0);
}

TEST_F(DispatchTest, VersionMessage) {
    const RunResult result = Kerfo({"-Ver"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    const std::regex version(
        "Kerfo Ver 1\\.12\\n[^\\n]+\\n\\nBuild date:\\t[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4}\\n"
        "Build time:\\t[0-9]{2}:[0-9]{2}:[0-9]{2}\\n");
    EXPECT_TRUE(std::regex_match(result.out, version)) << result.out;
}

TEST_F(DispatchTest, HelpOpensTheVersionsPageOrSaysWhereItIs) {
    const std::string address = "https://www.marrowlin.com/Products/Kerfo/1.12/Help/";
    const std::string bin = folder_ / "bin";
    mkdir(bin.c_str(), 0755);
    const std::string record = folder_ / "opened";
    struct Case {
        std::string what;
        std::string opener;  // the stand-in xdg-open; none when empty
        std::string out;     // what kerfo says
    };
    const std::string box =
        std::string(kTitle) + "Open this address in a browser: " + address + "\n";
    const std::vector<Case> cases = {
        {"an opener that hands it on",
         "#!/bin/sh\necho \"$@\" > " + record + ".tmp\nmv " + record + ".tmp " + record + "\n", ""},
        {"an opener that stays with its browser",
         "#!/bin/sh\necho \"$@\" > " + record + "\nsleep 20\n", ""},
        {"an opener without a browser", "#!/bin/sh\necho \"$@\" > " + record + "\nexit 3\n", box},
        {"no opener at all", "", box},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(record.c_str());
        std::remove((bin + "/xdg-open").c_str());
        if (!c.opener.empty()) {
            WriteFile(bin + "/xdg-open", c.opener);
            chmod((bin + "/xdg-open").c_str(), 0755);
        }
        RunOptions options;
        options.workingFolder = folder_.Path();
        options.environment["PATH"] = bin + ":/usr/bin:/bin";
        if (c.opener.empty()) {
            options.environment["PATH"] = bin;  // where no xdg-open is
        }
        const RunResult result = RunKerfo({"-HELP"}, options);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, "");
        if (!c.opener.empty()) {
            for (int i = 0; i < 500 && !Exists(record); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            EXPECT_EQ(ReadFile(record), address + "\n");
        }
    }
}

TEST_F(DispatchTest, OptionsMayStandAnywhereAndTheLaterModeWins) {
    RunResult result = Kerfo({"a.png", "-w", "15", "out.png", "rest.png", "-oq", "80"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(WidthOf("out.png"), 15u);
    EXPECT_EQ(WidthOf("rest.png"), 25u);
    EXPECT_TRUE(Untouched());

    result = Kerfo({"-w", "10", "-h", "20", "a.png", "h.png"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(WidthOf("h.png"), 40u);
    EXPECT_EQ(HeightOf("h.png"), 20u);

    result = Kerfo({"-g", "2", "3", "a.png", "-W", "12", "w.png"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(WidthOf("w.png"), 12u);
    EXPECT_FALSE(Exists(folder_ / "a-01-01.png"));
}

TEST_F(DispatchTest, TheValueAfterAnOptionIsTakenWhateverItLooksLike) {
    const RunResult result = Kerfo({"-w", "-h", "a.png"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("Size -h is 0 pixels"), std::string::npos) << result.err;
    EXPECT_TRUE(Untouched());
}

TEST_F(DispatchTest, NamesBeyondTheThirdShowTheUsageOnce) {
    const RunResult result = Kerfo({"-w", "10", "a.png", "b.png", "c.png", "d.png", "e.png"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(CountOf(result.out, "Usage:\n"), 1) << result.out;
    EXPECT_TRUE(Untouched());
    EXPECT_FALSE(Exists(folder_ / "b.png"));
}

TEST_F(DispatchTest, MoreArgumentsThanTheListHoldsAreRefusedBeforeAnythingIsRead) {
    // Pairs of -oq 90, then a cut with two names. The list holds the program
    // path and 29 arguments; the one dropped from a longer line would be b.png,
    // and the cut would replace a.png.
    auto cutAfterQualities = [](int pairs, int debugOptions) {
        std::vector<std::string> arguments(static_cast<std::size_t>(debugOptions), "-dbg=0");
        for (int i = 0; i < pairs; ++i) {
            arguments.insert(arguments.end(), {"-oq", "90"});
        }
        arguments.insert(arguments.end(), {"-w", "10", "a.png", "b.png"});
        return arguments;
    };
    const RunResult result = Kerfo(cutAfterQualities(13, 0));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, UsageBox());
    EXPECT_TRUE(Untouched());
    EXPECT_FALSE(Exists(folder_ / "b.png"));
    EXPECT_EQ(Kerfo(cutAfterQualities(12, 2)).exitCode, 1) << "-dbg= takes its place too";
    std::vector<std::string> logged = cutAfterQualities(12, 2);
    logged[0] = "-dbg=1";
    EXPECT_EQ(Kerfo(logged).exitCode, 1);
    EXPECT_FALSE(Exists(folder_ / "Kerfo.log")) << "nothing is written, the log included";

    ASSERT_EQ(cutAfterQualities(12, 1).size(), 29u);
    EXPECT_EQ(Kerfo(cutAfterQualities(12, 1)).exitCode, 0) << "29 arguments fit";
    EXPECT_EQ(WidthOf("b.png"), 10u);
    EXPECT_TRUE(Untouched());
}

TEST_F(DispatchTest, AnOptionWithoutItsValueIsAMalformedCommandLine) {
    const std::vector<std::vector<std::string>> cases = {
        {"a.png", "-w"},      {"a.png", "-H"}, {"-w", "10", "a.png", "-oq"},
        {"a.png", "-g", "2"}, {"a.png", "-g"},
    };
    for (const auto& arguments : cases) {
        const RunResult result = Kerfo(arguments);
        EXPECT_EQ(result.exitCode, 1) << arguments.back();
        EXPECT_EQ(result.out, UsageBox()) << arguments.back();
        EXPECT_EQ(result.err, "");
        EXPECT_TRUE(Untouched());
    }
}

TEST_F(DispatchTest, GridRowsAndColumnsBelowOneAreRefusedBeforeLoading) {
    for (const auto& [rows, columns] : std::vector<std::pair<std::string, std::string>>{
             {"0", "3"}, {"2", "0"}, {"-1", "2"}, {"x", "2"}, {"2", "-4"}}) {
        const RunResult result = Kerfo({"-g", rows, columns, "missing.png"});
        EXPECT_EQ(result.exitCode, 1) << rows << " " << columns;
        EXPECT_EQ(result.out, UsageBox());
        EXPECT_EQ(result.err, "") << "the picture is not even looked for";
    }
}

TEST_F(DispatchTest, FatalErrorsAreWarningsOnStandardError) {
    const RunResult result = Kerfo({"-w", "10", "missing.png"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, std::string(kWarningTitle) + "Couldn't open input file: missing.png\n");
}

void ExpectRunInLog(const std::vector<std::string>& lines, std::size_t at,
                    const std::string& commandLine) {
    ASSERT_GE(lines.size(), at + 4);
    EXPECT_EQ(lines[at], "*");
    EXPECT_TRUE(std::regex_match(lines[at + 1],
                                 std::regex("\\* [A-Z][a-z]{2} [0-9]{2} [A-Z][a-z]{2} [0-9]{4}")))
        << lines[at + 1];
    EXPECT_EQ(lines[at + 2], "*");
    EXPECT_TRUE(std::regex_match(lines[at + 3], std::regex("[0-9]{2}:[0-9]{2}:[0-9]{2} .*")));
    EXPECT_EQ(lines[at + 3].substr(9), "Cmdline: " + commandLine);
}

TEST_F(DispatchTest, DebugLevelLogsTheCommandLineWithABannerPerRun) {
    RunResult result = Kerfo({"-dbg=2", "-ver"});
    EXPECT_EQ(result.exitCode, 0) << "-dbg= is removed before the count is tested";
    EXPECT_NE(result.out.find("Build date:"), std::string::npos);
    result = Kerfo({"-DBG=1", "-dbg=2", "-ver"});
    EXPECT_EQ(result.exitCode, 1) << "only the first -dbg= is taken";
    EXPECT_EQ(result.out, UsageBox());

    const std::vector<std::string> lines = Lines(ReadFile(folder_ / "Kerfo.log"));
    ASSERT_EQ(lines.size(), 8u);
    ExpectRunInLog(lines, 0, KerfoBinary() + " -dbg=2 -ver");
    ExpectRunInLog(lines, 4, KerfoBinary() + " -DBG=1 -dbg=2 -ver");
}

TEST_F(DispatchTest, CommandLineIsLoggedAsOneTextWithQuotes) {
    ASSERT_EQ(Kerfo({"-dbg=1", "-w", "50%", "a.png", "my piece.png"}).exitCode, 0);
    const std::vector<std::string> lines = Lines(ReadFile(folder_ / "Kerfo.log"));
    ExpectRunInLog(lines, 0, KerfoBinary() + " -dbg=1 -w 50% a.png \"my piece.png\"");
    EXPECT_EQ(WidthOf("my piece.png"), 20u);
}

TEST_F(DispatchTest, NoDebugLevelNoLog) {
    ASSERT_EQ(Kerfo({"-ver"}).exitCode, 0);
    ASSERT_EQ(Kerfo({"-dbg=0", "-ver"}).exitCode, 0);
    ASSERT_EQ(Kerfo({"-dbg=x", "-ver"}).exitCode, 0);
    EXPECT_FALSE(Exists(folder_ / "Kerfo.log"));
}

TEST(LogFolder, TempWithAndWithoutSlashEmptyAndUnset) {
    ScratchFolder folder;
    const std::string logs = folder / "logs";
    const std::string other = folder / "tmpdir";
    const std::string cwd = folder / "cwd";
    for (const std::string& path : {logs, other, cwd}) {
        mkdir(path.c_str(), 0755);
    }
    auto runWith = [&](std::optional<std::string> temp) {
        RunOptions options;
        options.workingFolder = cwd;
        options.environment["TEMP"] = temp;
        options.environment["TMPDIR"] = other;
        return RunKerfo({"-dbg=1", "-ver"}, options).exitCode;
    };
    ASSERT_EQ(runWith(logs), 0);
    ASSERT_EQ(runWith(logs + "/"), 0);
    EXPECT_EQ(Lines(ReadFile(logs + "/Kerfo.log")).size(), 8u);
    ASSERT_EQ(runWith(std::string()), 0);
    EXPECT_EQ(Lines(ReadFile(cwd + "/Kerfo.log")).size(), 4u) << "empty TEMP: the current folder";
    ASSERT_EQ(runWith(std::nullopt), 0);
    EXPECT_EQ(Lines(ReadFile(other + "/Kerfo.log")).size(), 4u) << "no TEMP: TMPDIR";
    EXPECT_EQ(ListFolder(cwd), std::vector<std::string>{"Kerfo.log"});

    RunOptions unwritable;
    unwritable.environment["TEMP"] = folder / "no-such-folder";
    const RunResult result = RunKerfo({"-dbg=1", "-ver"}, unwritable);
    EXPECT_EQ(result.exitCode, 0) << "a log that can't be written is dropped quietly";
    EXPECT_EQ(result.err, "");
}

TEST(Environment, NoApplicationDataFolderEndsTheRunAtStart) {
    RunOptions options;
    options.clearEnvironment = true;
    RunResult result = RunKerfo({"-ver"}, options);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              std::string(kWarningTitle) + "The APPDATA environment variable is missing.\n");

    options.environment["HOME"] = "/root";
    result = RunKerfo({"-ver"}, options);
    EXPECT_EQ(result.exitCode, 0) << "HOME gives the folder below .local/share";
    options.environment.clear();
    options.environment["AppData"] = "";
    EXPECT_EQ(RunKerfo({"-ver"}, options).exitCode, 0) << "a set AppData counts, even empty";
}

}  // namespace
}  // namespace kerfo::test
