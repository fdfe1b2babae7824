// The program's safety nets: sizes that don't fit, saves that fail, full disks,
// interrupted writes, and pixels a format can't store as they are.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>
#include <sstream>

#include "picture_folder.h"
#include "test_support.h"

namespace kerfo::test {
namespace {

const std::string kWarning = "Kerfo Ver 1.12 - warning\n";

class FaultTest : public PictureFolderTest {
  protected:
    // Runs kerfo, expecting it to fail with the message and to leave the folder
    // exactly as it was.
    void ExpectRefused(const std::vector<std::string>& arguments, const std::string& message) {
        const std::vector<std::string> before = ListFolder(folder_.Path());
        const RunResult result = Kerfo(arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, kWarning + message + "\n");
        EXPECT_EQ(ListFolder(folder_.Path()), before) << "nothing may be written";
        for (const std::string& name : before) {
            if (name == "a.png" || name == "a.bmp") {
                EXPECT_TRUE(ReadFile(Path(name)) == originalBytes_) << name << " changed";
            }
        }
    }
};

TEST_F(FaultTest, SizesOutsideThePictureAreRefusedBeforeAnythingIsWritten) {
    Make("a.png", 64, 48, 11811);
    ExpectRefused({"-w", "0", "a.png"},
                  "Size 0 is 0 pixels, but the picture is 64 pixels wide: the left piece must be "
                  "from 1 to 64 pixels.");
    ExpectRefused({"-w", "65", "a.png", "b.png"},
                  "Size 65 is 65 pixels, but the picture is 64 pixels wide: the left piece must be "
                  "from 1 to 64 pixels.");
    ExpectRefused({"-h", "48", "a.png", "b.png", "c.png"},
                  "Size 48 is 48 pixels, but the picture is 48 pixels high: the top piece must be "
                  "from 1 to 47 pixels.");
    ExpectRefused({"-w", "-5", "a.png", "-", "rest.png"},
                  "Size -5 is -5 pixels, but the picture is 64 pixels wide: the left piece must be "
                  "from 0 to 63 pixels.");
    ExpectRefused({"-w", "102%", "a.png"},
                  "Size 102% is 65 pixels, but the picture is 64 pixels wide: the left piece must "
                  "be from 1 to 64 pixels.");
    EXPECT_EQ(Kerfo({"-w", "65", "a.png", "-", "-"}).exitCode, 0)
        << "nothing to save, nothing to check";
    EXPECT_EQ(Kerfo({"-w", "64", "a.png", "whole.png"}).exitCode, 0);
}

TEST_F(FaultTest, SizesBeyondThirtyTwoBitsSaturateAndAreRefused) {
    Make("a.png", 64, 48, 11811);
    ExpectRefused({"-w", "99999999999", "a.png"},
                  "Size 99999999999 is 2147483647 pixels, but the picture is 64 pixels wide: the "
                  "left piece must be from 1 to 64 pixels.");
    ExpectRefused({"-h", "1e12in", "a.png"},
                  "Size 1e12in is 2147483647 pixels, but the picture is 48 pixels high: the top "
                  "piece must be from 1 to 48 pixels.");
}

TEST_F(FaultTest, APictureWithoutResolutionRefusesPhysicalUnits) {
    Make("a.bmp", 64, 48, 0);
    const std::string message =
        "Size 1cm can't be used: a.bmp has no resolution, so a size in in, cm or mm has no "
        "length in pixels. Give the size in pixels or %.";
    ExpectRefused({"-w", "1cm", "a.bmp"}, message);
    ExpectRefused({"-w", "1cm", "a.bmp", "-", "rest.bmp"}, message);
    EXPECT_EQ(Kerfo({"-w", "1cm", "a.bmp", "-", "-"}).exitCode, 0);
    EXPECT_EQ(Kerfo({"-w", "50%", "a.bmp", "half.bmp"}).exitCode, 0);
}

TEST_F(FaultTest, APictureTooSmallToCutInTwo) {
    Make("a.png", 1, 5, 11811);
    ExpectRefused({"-w", "1", "a.png", "b.png", "c.png"},
                  "Size 1 can't be used: the picture is only 1 pixel wide, too little to cut in "
                  "two.");
}

TEST_F(FaultTest, AGridFinerThanThePixelsIsRefused) {
    Make("a.png", 10, 4, 11811);
    ExpectRefused({"-g", "5", "2", "a.png"},
                  "A grid of 5 rows and 2 columns doesn't fit a.png: the picture is 10 x 4 "
                  "pixels, so a tile would be empty.");
    ExpectRefused({"-g", "1", "11", "a.png"},
                  "A grid of 1 rows and 11 columns doesn't fit a.png: the picture is 10 x 4 "
                  "pixels, so a tile would be empty.");
}

TEST_F(FaultTest, ASaveThatFailsIsReportedWithTheFileName) {
    Make("a.png", 64, 48, 11811);
    const RunResult result = Kerfo({"-w", "10", "a.png", "missing/left.png"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, kWarning +
                              "Couldn't save missing/left.png: can't create a temporary file "
                              "beside it: No such file or directory.\n");

    mkdir(Path("folder.png").c_str(), 0755);
    const RunResult ontoFolder = Kerfo({"-w", "10", "a.png", "folder.png"});
    EXPECT_EQ(ontoFolder.exitCode, 1);
    EXPECT_EQ(ontoFolder.err,
              kWarning + "Couldn't save folder.png: can't replace it: Is a directory.\n");
    EXPECT_EQ(ListFolder(folder_.Path()), (std::vector<std::string>{"a.png", "folder.png"}))
        << "no temporary file is left behind";
}

TEST_F(FaultTest, ReplacingAFileKeepsItsPermissionsAndLinks) {
    Make("a.png", 64, 48, 11811);
    ASSERT_EQ(chmod(Path("a.png").c_str(), 0640), 0);
    ASSERT_EQ(symlink("a.png", Path("link.png").c_str()), 0);
    ASSERT_EQ(Kerfo({"-w", "10", "link.png"}).exitCode, 0);
    struct stat status {};
    ASSERT_EQ(lstat(Path("link.png").c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode)) << "the link stays a link";
    ASSERT_EQ(stat(Path("a.png").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    const TestBitmap piece = LoadPictureFile(Path("a.png"));
    EXPECT_EQ(FreeImage_GetWidth(piece.get()), 10u);

    ASSERT_EQ(Kerfo({"-w", "5", "a.png", "new.png"}).exitCode, 0);
    ASSERT_EQ(stat(Path("new.png").c_str(), &status), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(status.st_mode & 07777, 0666u & ~mask) << "a new file gets the usual permissions";
}

TEST_F(FaultTest, ALongNameStillGetsItsTemporaryFile) {
    Make("a.png", 64, 48, 11811);
    const std::string name = std::string(250, 'n') + ".png";
    const RunResult result = Kerfo({"-w", "10", "a.png", name});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ListFolder(folder_.Path()), (std::vector<std::string>{"a.png", name}));
}

// A small file system of its own that the test fills up.
class FullDisk {
  public:
    explicit FullDisk(const std::string& path) : path_(path) {
        mkdir(path.c_str(), 0755);
        mounted_ = mount("kerfo-test", path.c_str(), "tmpfs", 0, "size=256k") == 0;
    }
    ~FullDisk() {
        if (mounted_)
            umount2(path_.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }

  private:
    std::string path_;
    bool mounted_ = false;
};

TEST_F(FaultTest, AFullDiskLeavesTheInputIntact) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "mounting a small tmpfs to fill up needs root";
    }
    FullDisk disk(Path("disk"));
    if (!disk.Mounted()) {
        GTEST_SKIP() << "this system does not let the test mount a tmpfs";
    }
    // A 160 KB picture on a 256 KB disk: its left 90 % does not fit beside it.
    SavePictureFile(MakePattern(240, 220).get(), Path("disk/a.bmp"), 0);
    const std::string before = ReadFile(Path("disk/a.bmp"));
    ASSERT_GT(before.size(), 150000u);

    const RunResult result = Kerfo({"-w", "90%", "disk/a.bmp"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.rfind(kWarning + "Couldn't save disk/a.bmp: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find("No space left on device"), std::string::npos) << result.err;
    EXPECT_EQ(ReadFile(Path("disk/a.bmp")), before);
    EXPECT_EQ(ListFolder(Path("disk")), std::vector<std::string>{"a.bmp"});

    const RunResult grid = Kerfo({"-g", "1", "2", "disk/a.bmp"});
    EXPECT_EQ(grid.exitCode, 1) << "the second tile no longer fits";
    EXPECT_NE(grid.err.find("Couldn't save disk/a-01-02.bmp: "), std::string::npos) << grid.err;
    EXPECT_EQ(ReadFile(Path("disk/a.bmp")), before);
    EXPECT_EQ(ListFolder(Path("disk")), std::vector<std::string>{"a.bmp"})
        << "all or nothing: the first tile is not left behind";
}

// Runs kerfo with the preloaded tracer (sync_trace.c), which records every
// fsync and rename in the trace file and can stop the program just before a
// given fsync; on one core alone when asked (kerfo runs one thread a core).
class TracedKerfo {
  public:
    TracedKerfo(const std::string& folder, std::vector<std::string> arguments, int stopAtSync = 0,
                bool oneCore = false)
        : trace_(folder + "/../trace-" + std::to_string(getpid())) {
        std::remove(trace_.c_str());
        child_ = fork();
        if (child_ == 0) {
            cpu_set_t cores;
            if (oneCore && sched_getaffinity(0, sizeof cores, &cores) == 0) {
                int first = 0;
                while (!CPU_ISSET(first, &cores)) {
                    ++first;
                }
                CPU_ZERO(&cores);
                CPU_SET(first, &cores);
                sched_setaffinity(0, sizeof cores, &cores);
            }
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            if (chdir(folder.c_str()) != 0)
                _exit(126);
            setenv("LD_PRELOAD", KERFO_SYNC_TRACE_LIBRARY, 1);
            setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
            setenv("KERFO_SYNC_TRACE", trace_.c_str(), 1);
            if (stopAtSync > 0)
                setenv("KERFO_STOP_AT_SYNC", std::to_string(stopAtSync).c_str(), 1);
            arguments.insert(arguments.begin(), KerfoBinary());
            std::vector<char*> argv;
            for (std::string& argument : arguments)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~TracedKerfo() {
        if (child_ > 0 && !done_) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        std::remove(trace_.c_str());
    }
    // Waits until the program stops at its fsync; false when it ended instead.
    bool WaitUntilStopped() {
        int status = 0;
        waitpid(child_, &status, WUNTRACED);
        if (WIFSTOPPED(status))
            return true;
        done_ = true;
        return false;
    }
    // Sends the signal, lets the program go on, and returns how it ended.
    int SignalAndWait(int signalNumber) {
        kill(child_, signalNumber);
        kill(child_, SIGCONT);
        return Wait();
    }
    int Wait() {
        int status = 0;
        while (waitpid(child_, &status, 0) > 0 && WIFSTOPPED(status)) {
        }
        done_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::vector<std::string> Trace() const { return Lines(ReadFile(trace_)); }

  private:
    std::string trace_;
    pid_t child_ = -1;
    bool done_ = false;
};

std::string BaseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

TEST_F(FaultTest, EveryPieceIsOnDiskBeforeAnyIsRenamedAndTheFolderAfter) {
    Make("a.png", 64, 48, 11811);
    SavePictureFile(MakePattern(64, 48).get(), Path("a.jpg"), 11811, 90);
    const std::vector<std::string> tiles = {"a-01-01.jpg", "a-01-02.jpg", "a-01-03.jpg",
                                            "a-02-01.jpg", "a-02-02.jpg", "a-02-03.jpg"};
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> pieces;
        bool oneCore;
    };
    // A grid's tiles are encoded on every core, or on the one core there is.
    const std::vector<Case> cases = {
        {{"-w", "10", "a.png", "left.png", "rest.png"}, {"left.png", "rest.png"}, false},
        {{"-g", "2", "3", "a.jpg"}, tiles, true},
        {{"-g", "2", "3", "a.jpg"}, tiles, false},
    };
    std::vector<std::string> oneCoreTiles;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[0] + (c.oneCore ? " on one core" : " on every core"));
        TracedKerfo run(folder_.Path(), c.arguments, 0, c.oneCore);
        ASSERT_EQ(run.Wait(), 0);
        const std::vector<std::string> trace = run.Trace();
        const std::size_t count = c.pieces.size();
        ASSERT_EQ(trace.size(), 2 * count + 1);
        std::set<std::string> synced;
        for (std::size_t i = 0; i < count; ++i) {
            ASSERT_EQ(trace[i].rfind("fsync ", 0), 0u) << trace[i];
            synced.insert(BaseName(trace[i]));
        }
        for (std::size_t i = 0; i < count; ++i) {
            std::istringstream words(trace[count + i]);
            std::string verb, from, to;
            words >> verb >> from >> to;
            EXPECT_EQ(verb, "rename");
            EXPECT_EQ(synced.count(BaseName(from)), 1u) << "the file renamed is one flushed";
            EXPECT_EQ(to, c.pieces[i]);
        }
        EXPECT_EQ(trace[2 * count], "fsync " + folder_.Path()) << "then the folder";
        std::vector<std::string> bytes;
        for (const std::string& piece : c.pieces) {
            bytes.push_back(ReadFile(Path(piece)));
        }
        if (c.oneCore) {
            oneCoreTiles = bytes;
        } else if (!oneCoreTiles.empty()) {
            EXPECT_TRUE(bytes == oneCoreTiles) << "the same bytes on every core as on one";
        }
    }
}

TEST_F(FaultTest, ACaughtSignalNeverLeavesATemporaryFileNorHalfAJob) {
    Make("a.png", 64, 48, 11811);
    for (const int signalNumber :
         {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXCPU, SIGALRM, SIGUSR1, SIGUSR2}) {
        SCOPED_TRACE(signalNumber);
        // Stopped at the third tile's flush: every tile is written to its
        // temporary file, two of them are on disk, none is in place.
        TracedKerfo run(folder_.Path(), {"-g", "2", "2", "a.png"}, 3);
        ASSERT_TRUE(run.WaitUntilStopped());
        EXPECT_EQ(ListFolder(folder_.Path()).size(), 5u) << "four temporary files and a.png";
        EXPECT_EQ(run.SignalAndWait(signalNumber), 128 + signalNumber);
        EXPECT_EQ(ListFolder(folder_.Path()), std::vector<std::string>{"a.png"});
        EXPECT_EQ(ReadFile(Path("a.png")), originalBytes_);
    }
    TracedKerfo killed(folder_.Path(), {"-w", "10", "a.png"}, 1);
    ASSERT_TRUE(killed.WaitUntilStopped());
    EXPECT_EQ(killed.SignalAndWait(SIGKILL), 128 + SIGKILL);
    EXPECT_EQ(ReadFile(Path("a.png")), originalBytes_)
        << "even a killed run leaves the input whole";
}

TEST_F(FaultTest, AFileSizeLimitIsAWriteErrorLikeAFullDisk) {
    SavePictureFile(MakePattern(300, 200).get(), Path("a.bmp"), 0);
    const std::string before = ReadFile(Path("a.bmp"));
    RunOptions options;
    options.workingFolder = folder_.Path();
    options.fileSizeLimit = 64 * 1024;  // a.bmp is 180 KB: its left 90 % doesn't fit
    const RunResult result = RunKerfo({"-w", "90%", "a.bmp"}, options);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              kWarning + "Couldn't save a.bmp: not every byte could be written: File too large.\n");
    EXPECT_EQ(ReadFile(Path("a.bmp")), before);
    EXPECT_EQ(ListFolder(folder_.Path()), std::vector<std::string>{"a.bmp"});
}

TEST_F(FaultTest, TwoPiecesForOneFileAreRefusedBeforeAnythingIsWritten) {
    Make("a.png", 64, 48, 11811);
    WriteFile(Path("b.png"), "b");
    ASSERT_EQ(symlink("b.png", Path("link.png").c_str()), 0);
    ASSERT_EQ(link(Path("b.png").c_str(), Path("hard.png").c_str()), 0);
    ASSERT_EQ(mkdir(Path("sub").c_str(), 0755), 0);
    for (const auto& [first, rest] :
         std::vector<std::pair<std::string, std::string>>{{"b.png", "b.png"},
                                                          {"c.png", "./c.png"},
                                                          {"c.png", "sub/../c.png"},
                                                          {"b.png", "link.png"},
                                                          {"hard.png", "b.png"}}) {
        ExpectRefused({"-w", "10", "a.png", first, rest},
                      "Couldn't save " + first + " and " + rest +
                          ": they are the same file, which can't hold two pieces.");
        EXPECT_EQ(ReadFile(Path("b.png")), "b");
    }
    ASSERT_EQ(symlink("a.png", Path("a-01-01.png").c_str()), 0);
    ExpectRefused({"-g", "1", "2", "a.png"},
                  "Couldn't save a-01-01.png: it is the picture a.png itself, which a grid cut "
                  "leaves as it is.");
}

// Found out only by the rename, each of these would fail after the other piece
// was put in place.
TEST_F(FaultTest, ATargetThatCantBeReplacedIsRefusedBeforeAnythingIsWritten) {
    Make("a.png", 64, 48, 11811);
    const bool root = geteuid() == 0;
    const unsigned nobody = 65534;  // root runs the program as this user
    const std::string target = Path("target.png");
    struct Case {
        std::string what;
        std::function<bool()> plant;  // false: it can't be set up here
        std::string reason;
        mode_t folderMode;
        bool asNobody;
    };
    const std::vector<Case> cases = {
        {"a read-only file",
         [&] {
             WriteFile(target, "t");
             return chmod(target.c_str(), 0444) == 0 &&
                    (!root || chown(target.c_str(), nobody, nobody) == 0);
         },
         "Permission denied", 0777, root},
        {"an immutable file (needs root)",
         [&] {
             WriteFile(target, "t");
             const int fd = open(target.c_str(), O_RDONLY);
             int flags = FS_IMMUTABLE_FL;
             const bool set = root && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
             close(fd);
             return set;
         },
         "Operation not permitted", 0700, false},
        {"another user's link in a sticky folder (needs root)",
         [&] {
             WriteFile(Path("victim.png"), "t");
             return root && symlink("victim.png", target.c_str()) == 0 &&
                    lchown(target.c_str(), nobody, nobody) == 0;
         },
         "Permission denied", 01777, false},
        {"another user's file in a sticky folder (needs root)",
         [&] {
             WriteFile(target, "t");
             return root && chmod(target.c_str(), 0666) == 0;
         },
         "Operation not permitted", 01777, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.plant()) {
            continue;
        }
        ASSERT_EQ(chmod(folder_.Path().c_str(), c.folderMode), 0);
        RunOptions options;
        options.workingFolder = folder_.Path();
        options.environment["XDG_DATA_HOME"] = folder_.Path();
        if (c.asNobody) {
            options.user = nobody;
        }
        const std::vector<std::string> before = ListFolder(folder_.Path());
        const RunResult result = RunKerfo({"-w", "10", "a.png", "left.png", "target.png"}, options);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err,
                  kWarning + "Couldn't save target.png: can't replace it: " + c.reason + ".\n");
        EXPECT_EQ(ListFolder(folder_.Path()), before) << "nothing may be written";
        EXPECT_TRUE(ReadFile(target) == "t")
            << "the target (or the file its link names) is untouched";
        const int fd = open(target.c_str(), O_RDONLY);
        int flags = 0;
        ioctl(fd, FS_IOC_SETFLAGS, &flags);
        close(fd);
        std::remove(target.c_str());
        std::remove(Path("victim.png").c_str());
        chmod(folder_.Path().c_str(), 0700);
    }
}

// A 16-bit-per-channel picture, with or without alpha, or 16-bit grey.
TestBitmap MakeDeep(FREE_IMAGE_TYPE type, unsigned width, unsigned height) {
    TestBitmap bitmap(FreeImage_AllocateT(type, static_cast<int>(width), static_cast<int>(height)));
    for (unsigned y = 0; y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(bitmap.get(), static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x) {
            const WORD value = static_cast<WORD>(x * 1000 + y * 37);
            if (type == FIT_UINT16) {
                reinterpret_cast<WORD*>(line)[x] = value;
            } else if (type == FIT_RGB16) {
                reinterpret_cast<FIRGB16*>(line)[x] = {value, static_cast<WORD>(value / 2),
                                                       static_cast<WORD>(65535 - value)};
            } else {
                reinterpret_cast<FIRGBA16*>(line)[x] = {value, static_cast<WORD>(value / 2),
                                                        static_cast<WORD>(65535 - value),
                                                        static_cast<WORD>(40000 + x)};
            }
        }
    }
    return bitmap;
}

TEST_F(FaultTest, PiecesAreConvertedToWhatTheirFormatStores) {
    Make("alpha.png", 40, 30, 11811, 32);
    ASSERT_EQ(Kerfo({"-w", "20", "alpha.png", "a.jpg", "a.bmp"}).exitCode, 0);
    TestBitmap jpeg = LoadPictureFile(Path("a.jpg"));
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(FreeImage_GetBPP(jpeg.get()), 24u);
    EXPECT_EQ(FreeImage_GetWidth(jpeg.get()), 20u);
    TestBitmap bmp = LoadPictureFile(Path("a.bmp"));
    ASSERT_TRUE(bmp);
    EXPECT_EQ(FreeImage_GetBPP(bmp.get()), 32u) << "BMP keeps the alpha channel";
    std::string why;
    EXPECT_TRUE(SameAsRegion(bmp.get(), original_.get(), 20, 0, &why)) << why;

    for (const FREE_IMAGE_TYPE type : {FIT_RGB16, FIT_RGBA16, FIT_UINT16}) {
        SCOPED_TRACE(type);
        SavePictureFile(MakeDeep(type, 40, 30).get(), Path("deep.png"), 11811);
        const RunResult result = Kerfo({"-h", "10", "deep.png", "top.jpg", "rest.bmp"});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const TestBitmap top = LoadPictureFile(Path("top.jpg"));
        const TestBitmap rest = LoadPictureFile(Path("rest.bmp"));
        ASSERT_TRUE(top && rest);
        EXPECT_EQ(FreeImage_GetHeight(top.get()), 10u);
        EXPECT_EQ(FreeImage_GetHeight(rest.get()), 20u);
        EXPECT_EQ(FreeImage_GetBPP(top.get()), type == FIT_UINT16 ? 8u : 24u);
        ASSERT_EQ(Kerfo({"-h", "10", "deep.png", "top16.png"}).exitCode, 0);
        const TestBitmap png = LoadPictureFile(Path("top16.png"));
        EXPECT_EQ(FreeImage_GetImageType(png.get()), type) << "PNG keeps 16 bits";
    }
}

}  // namespace
}  // namespace kerfo::test
