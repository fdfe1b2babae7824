// Input that is damaged, hostile or no picture at all: headers that claim more
// pixels than their file holds, damaged pictures, inputs that are no files, and
// a log file someone else planted.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>
#include <cstdint>

#include <filesystem>
#include <functional>

#include "picture_folder.h"
#include "test_support.h"

namespace kerfo::test {
namespace {

const std::string kWarning = "Kerfo Ver 1.12 - warning\n";

std::string BigEndian(std::uint32_t value, int bytes) {
    std::string text;
    for (int i = bytes - 1; i >= 0; --i) {
        text += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return text;
}

std::string LittleEndian(std::uint32_t value, int bytes) {
    std::string text;
    for (int i = 0; i < bytes; ++i) {
        text += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return text;
}

// A real JPEG whose frame header is changed to claim another size.
std::string JpegClaiming(const ScratchFolder& folder, unsigned width, unsigned height,
                         unsigned frameMarker = 0xC0) {
    SavePictureFile(MakePattern(16, 16).get(), folder / "small.jpg", 0, 90);
    std::string bytes = ReadFile(folder / "small.jpg");
    for (std::size_t at = 2; at + 9 < bytes.size();) {
        const unsigned marker = static_cast<unsigned char>(bytes[at + 1]);
        const unsigned length = static_cast<unsigned char>(bytes[at + 2]) << 8 |
                                static_cast<unsigned char>(bytes[at + 3]);
        if (marker == 0xC0) {
            bytes.replace(at + 5, 4, BigEndian(height, 2) + BigEndian(width, 2));
            bytes[at + 1] = static_cast<char>(frameMarker);
            return bytes;
        }
        at += 2 + length;
    }
    ADD_FAILURE() << "no frame header";
    return bytes;
}

// The signature and IHDR chunk of a PNG.
std::string PngHeader(unsigned width, unsigned height, unsigned depth, unsigned colourType) {
    return std::string("\x89PNG\r\n\x1a\n", 8) +
           PngChunk("IHDR", BigEndian(width, 4) + BigEndian(height, 4) + static_cast<char>(depth) +
                                static_cast<char>(colourType) + std::string(3, '\0'));
}

// A 24-bit uncompressed (or 8-bit RLE8) BMP header, padded to the file size.
std::string BmpClaiming(unsigned width, unsigned height, std::size_t fileSize, bool rle = false) {
    std::string bytes = "BM" + LittleEndian(static_cast<std::uint32_t>(fileSize), 4) +
                        LittleEndian(0, 4) + LittleEndian(54, 4) + LittleEndian(40, 4) +
                        LittleEndian(width, 4) + LittleEndian(height, 4) + LittleEndian(1, 2) +
                        LittleEndian(rle ? 8 : 24, 2) + LittleEndian(rle ? 1 : 0, 4) +
                        std::string(20, '\0');
    bytes.resize(fileSize, '\0');
    return bytes;
}

// A JPEG segment: its marker, length and payload.
std::string Segment(unsigned marker, const std::string& payload) {
    return std::string{'\xFF', static_cast<char>(marker)} +
           BigEndian(static_cast<std::uint32_t>(payload.size() + 2), 2) + payload;
}

// A JPEG of size x size pixels in one or three components, with one-code
// Huffman tables (DC: difference 0; AC: end of block, or in a progressive JPEG
// a run of 64 empty blocks), and the scans given as header and data.
std::string JpegOfScans(bool progressive, unsigned components, unsigned size,
                        const std::vector<std::pair<std::string, std::string>>& scans) {
    std::string frame =
        std::string(1, 8) + BigEndian(size, 2) + BigEndian(size, 2) + static_cast<char>(components);
    for (unsigned i = 1; i <= components; ++i) {
        frame += std::string{static_cast<char>(i), 0x11, 0};
    }
    std::string bytes = "\xFF\xD8" + Segment(0xDB, std::string(1, 0) + std::string(64, 1)) +
                        Segment(progressive ? 0xC2 : 0xC0, frame) +
                        Segment(0xC4, std::string{0x00, 1} + std::string(16, 0)) +
                        Segment(0xC4, std::string{0x10, 1} + std::string(15, 0) +
                                          static_cast<char>(progressive ? 0x60 : 0x00));
    for (const auto& [header, data] : scans) {
        bytes += Segment(0xDA, header) + data;
    }
    return bytes + "\xFF\xD9";
}

class BadInputTest : public PictureFolderTest {
  protected:
    // Runs a cut of the file, expecting it refused with the load message and
    // the reason, within the time a user would not notice, with nothing written.
    void ExpectRefused(const std::string& name, const std::string& reason) {
        SCOPED_TRACE(name);
        const std::vector<std::string> before = ListFolder(folder_.Path());
        const RunResult result = Kerfo({"-w", "10", name, "left.png", "rest.png"});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err,
                  kWarning + "Couldn't open input file: " + name + "\n" + reason + "\n");
        EXPECT_EQ(ListFolder(folder_.Path()), before);
    }
};

TEST_F(BadInputTest, HeadersClaimingMorePixelsThanTheFileHoldsAreRefusedUndecoded) {
    struct Case {
        std::string name;
        unsigned width;
        unsigned height;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"bomb30k.jpg", 30000, 30000, JpegClaiming(folder_, 30000, 30000)},
        {"bomb65k.jpg", 65500, 65500, JpegClaiming(folder_, 65500, 65500)},
        {"bomb65k.png", 65500, 65500, PngHeader(65500, 65500, 8, 2) + std::string(1000, '\0')},
        {"bomb.bmp", 536870928, 12, BmpClaiming(536870928, 12, 1128)},
        {"cut-short.bmp", 100, 100, BmpClaiming(100, 100, 54 + 300 * 99)},
        // Arithmetic coding and run lengths can squeeze more, but not this much.
        {"arithmetic.jpg", 30000, 30000, JpegClaiming(folder_, 30000, 30000, 0xC9)},
        {"rle.bmp", 30000, 30000, BmpClaiming(30000, 30000, 64, true)},
    };
    std::remove(Path("small.jpg").c_str());
    for (const Case& c : cases) {
        WriteFile(Path(c.name), c.bytes);
        ExpectRefused(c.name, "Its header claims " + std::to_string(c.width) + " x " +
                                  std::to_string(c.height) + " pixels, more than a file of " +
                                  std::to_string(c.bytes.size()) + " bytes can hold.");
    }
}

// An Exif APP1 segment whose thumbnail (in the IFD after the first) is jpeg.
std::string ExifWithThumbnail(const std::string& jpeg) {
    const std::string tiff = std::string("II\x2A\0", 4) + LittleEndian(8, 4) +  // IFD0 at 8
                             LittleEndian(0, 2) + LittleEndian(14, 4) +         // no entries, IFD1
                             LittleEndian(2, 2) +                               // two entries
                             LittleEndian(0x201, 2) + LittleEndian(4, 2) + LittleEndian(1, 4) +
                             LittleEndian(44, 4) +  // the thumbnail's offset
                             LittleEndian(0x202, 2) + LittleEndian(4, 2) + LittleEndian(1, 4) +
                             LittleEndian(static_cast<std::uint32_t>(jpeg.size()), 4) +
                             LittleEndian(0, 4) + jpeg;
    const std::string data = std::string("Exif\0\0", 6) + tiff;
    return "\xFF\xE1" + BigEndian(static_cast<std::uint32_t>(data.size() + 2), 2) + data;
}

TEST_F(BadInputTest, WhatTheLibraryWouldDecodeBesideThePixelsIsKeptFromIt) {
    // The library would parse a JPEG's EXIF (trusting its offsets) and decode
    // its thumbnail: the EXIF goes to the pieces whole, unread, here with a
    // thumbnail that claims 30000 x 30000 pixels and a first directory of
    // 18761 entries (its "II" read as a count) in a segment of 62 bytes.
    std::string picture = JpegClaiming(folder_, 16, 16);
    const std::string exif = ExifWithThumbnail(JpegClaiming(folder_, 30000, 30000));
    std::string hostile = exif.substr(0, 4) + "Exif" + std::string(2, '\0') + "II*" +
                          std::string(5, '\0') + exif.substr(18);
    picture.insert(2, hostile);
    WriteFile(Path("exif.jpg"), picture);
    const RunResult result = Kerfo({"-w", "8", "exif.jpg", "left.jpg"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string piece = ReadFile(Path("left.jpg"));
    EXPECT_NE(piece.find(hostile.substr(4)), std::string::npos) << "the EXIF goes along whole";

    // The library inflates a PNG's text chunks and copies them into every piece.

    // Ten text chunks of 8 MB of one letter each, 8 KB deflated.
    const std::string raw(8 << 20, 'a');
    uLongf size = compressBound(raw.size());
    std::string inflatesTo8MB(size, '\0');
    compress2(reinterpret_cast<Bytef*>(inflatesTo8MB.data()), &size,
              reinterpret_cast<const Bytef*>(raw.data()), raw.size(), 9);
    inflatesTo8MB.resize(size);
    std::string text = PngHeader(16, 16, 8, 0);
    for (int i = 0; i < 10; ++i) {
        text += PngChunk("zTXt", "k" + std::to_string(i) + std::string(2, '\0') + inflatesTo8MB);
    }
    WriteFile(Path("text.png"), text + std::string(2000, '\0'));
    ExpectRefused("text.png", "Its text chunks inflate to more than 64 MB of text.");
}

TEST_F(BadInputTest, ScansThatGoOverThePictureAgainAreRefusedUndecoded) {
    // The decoder passes over the whole picture in every scan, data or not:
    // scans of a few bytes each, over and over, make a small file take
    // minutes. A sequential JPEG needs each component once; a progressive one
    // each coefficient in a first scan and at most 13 refinements.
    std::vector<std::pair<std::string, std::string>> again;
    for (int i = 0; i < 20; ++i) {
        for (const char component : {1, 2, 3}) {
            again.emplace_back(std::string{1, component, 0, 0, 63, 0}, std::string(1, 0));
        }
    }
    std::vector<std::pair<std::string, std::string>> refined = {
        {std::string{1, 1, 0, 0, 0, 0x00}, std::string(8, 0)}};
    for (int i = 0; i < 20; ++i) {
        refined.emplace_back(std::string{1, 1, 0, 1, 63, 0x01}, "\x01");  // bit 1 first
        refined.emplace_back(std::string{1, 1, 0, 1, 63, 0x10}, "\x01");  // then bit 0
    }
    WriteFile(Path("again.jpg"), JpegOfScans(false, 3, 16, again));
    WriteFile(Path("refined.jpg"), JpegOfScans(true, 1, 64, refined));
    ExpectRefused("again.jpg",
                  "Its scans go over its pixels 20.0 times, more than the 1 that a picture needs.");
    ExpectRefused(
        "refined.jpg",
        "Its scans go over its pixels 39.4 times, more than the 14 that a picture needs.");
}

TEST_F(BadInputTest, PixelsThatWouldNotFitInMemoryAreRefusedUndecoded) {
    // 100000 x 100000 pixels of 64 bits, 80 GB, in a file big enough to hold
    // them compressed: a sparse file of 100 MB that takes no room on disk.
    const std::string header = PngHeader(100000, 100000, 16, 6) + BigEndian(100000000, 4) + "IDAT";
    WriteFile(Path("huge.png"), header);
    ASSERT_EQ(truncate(Path("huge.png").c_str(), 100000000 + header.size() + 4), 0);
    const RunResult result = Kerfo({"-w", "10", "huge.png", "left.png"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.rfind(kWarning +
                                   "Couldn't open input file: huge.png\nIts header claims 100000 x "
                                   "100000 pixels, which need 80.0 GB of memory; ",
                               0),
              0u)
        << result.err;
    EXPECT_FALSE(Exists(Path("left.png")));
}

TEST_F(BadInputTest, LargeFlatPicturesThatCompressWellStillCut) {
    // One grey, as compressed as the encoders make it: deflate near its most
    // (about 1029:1), a progressive JPEG with optimised tables near one bit a block.
    TestBitmap flat(FreeImage_Allocate(8000, 8000, 8));
    RGBQUAD* palette = FreeImage_GetPalette(flat.get());
    for (unsigned i = 0; i < 256; ++i) {
        palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
    }
    SavePictureFile(flat.get(), Path("flat.png"), 0, PNG_Z_BEST_COMPRESSION);
    SavePictureFile(flat.get(), Path("flat.jpg"), 0, JPEG_PROGRESSIVE | JPEG_OPTIMIZE | 10);
    for (const std::string name : {"flat.png", "flat.jpg"}) {
        const RunResult result = Kerfo({"-g", "1", "2", name});
        EXPECT_EQ(result.exitCode, 0) << name << ": " << result.err;
    }
    EXPECT_EQ(ListFolder(folder_.Path()),
              (std::vector<std::string>{"flat-01-01.jpg", "flat-01-01.png", "flat-01-02.jpg",
                                        "flat-01-02.png", "flat.jpg", "flat.png"}));
}

TEST_F(BadInputTest, DamagedPicturesAreRefusedWithTheLibrarysReason) {
    Make("whole.jpg", 400, 300, 11811);
    WriteFile(Path("half.jpg"), originalBytes_.substr(0, originalBytes_.size() / 2));
    ExpectRefused("half.jpg", "Premature end of JPEG file");

    Make("whole.png", 400, 300, 11811);
    WriteFile(Path("half.png"), originalBytes_.substr(0, originalBytes_.size() / 2));
    const RunResult result = Kerfo({"-w", "10", "half.png", "left.png"});
    EXPECT_EQ(result.exitCode, 1);
    const std::vector<std::string> lines = Lines(result.err);
    ASSERT_EQ(lines.size(), 3u) << result.err;
    EXPECT_EQ(lines[1], "Couldn't open input file: half.png");
    EXPECT_FALSE(lines[2].empty()) << "the library's reason";
    EXPECT_FALSE(Exists(Path("left.png")));
}

TEST_F(BadInputTest, AJpegCutShortIsRefusedWhateverTheDecoderWarnedOfFirst) {
    // The decoder passes on only its first warning: an unknown JFIF version
    // would hide the missing half of the picture, which would come out grey.
    Make("whole.jpg", 400, 300, 11811);
    std::string bytes = originalBytes_;
    ASSERT_EQ(bytes.substr(6, 5), std::string("JFIF\0", 5));
    bytes[11] = 2;  // version 2.01
    WriteFile(Path("half.jpg"), bytes.substr(0, bytes.size() / 2));
    std::remove(Path("whole.jpg").c_str());
    ExpectRefused("half.jpg", "Premature end of JPEG file");
}

TEST_F(BadInputTest, WhatFollowsAJpegsEndIsNoPartOfIt) {
    // As a motion photo carries its video: the decoder stops at the end
    // marker, so bytes behind it that look like scans count for nothing.
    SavePictureFile(MakePattern(64, 48).get(), Path("photo.jpg"), 0, JPEG_PROGRESSIVE | 90);
    std::string bytes = ReadFile(Path("photo.jpg"));
    for (int i = 0; i < 600; ++i) {
        bytes += "\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00";
    }
    WriteFile(Path("photo.jpg"), bytes);
    const RunResult result = Kerfo({"-w", "10", "photo.jpg", "left.jpg"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(Exists(Path("left.jpg")));
}

TEST_F(BadInputTest, InputsThatAreNoRegularFilesAreRefusedAtOnce) {
    ASSERT_EQ(mkfifo(Path("pipe.jpg").c_str(), 0600), 0);  // would block a reader forever
    ASSERT_EQ(mkdir(Path("folder.png").c_str(), 0700), 0);
    ASSERT_EQ(symlink("pipe.jpg", Path("link.jpg").c_str()), 0);
    for (const std::string name : {"pipe.jpg", "folder.png", "link.jpg"}) {
        ExpectRefused(name, "It is not a regular file.");
    }
}

// The log's folder is TEMP, /tmp by default, where anybody can plant a file.
class PlantedLogTest : public ::testing::Test {
  protected:
    RunResult KerfoLogging(const std::vector<std::string>& arguments) {
        RunOptions options;
        options.environment["TEMP"] = folder_.Path();
        std::vector<std::string> all = {"-dbg=1"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return RunKerfo(all, options);
    }
    std::string LogPath() const { return folder_ / "Kerfo.log"; }
    ScratchFolder folder_;
};

TEST_F(PlantedLogTest, ALogThatIsNoFileOfOursIsLeftAloneQuietly) {
    const std::string victim = folder_ / "victim.txt";
    WriteFile(victim, "precious\n");
    struct Plant {
        std::string what;
        std::function<bool()> make;  // false: it can't be planted here
    };
    const std::vector<Plant> plants = {
        {"a link to another file", [&] { return symlink(victim.c_str(), LogPath().c_str()) == 0; }},
        {"a FIFO", [&] { return mkfifo(LogPath().c_str(), 0666) == 0; }},
        {"a folder", [&] { return mkdir(LogPath().c_str(), 0777) == 0; }},
        {"a stranger's file (needs root to plant)",
         [&] {
             WriteFile(LogPath(), "");
             return chown(LogPath().c_str(), 65534, 65534) == 0;
         }},
    };
    for (const Plant& plant : plants) {
        SCOPED_TRACE(plant.what);
        std::filesystem::remove_all(LogPath());
        if (!plant.make()) {
            continue;
        }
        const RunResult result = KerfoLogging({"-ver"});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(ReadFile(victim), "precious\n");
        struct stat status {};
        if (lstat(LogPath().c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
            EXPECT_EQ(status.st_size, 0) << "nothing is appended";
        }
    }
    std::filesystem::remove_all(LogPath());
    ASSERT_EQ(KerfoLogging({"-ver"}).exitCode, 0);
    struct stat status {};
    ASSERT_EQ(stat(LogPath().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u) << "a new log is its owner's alone";
}

TEST_F(PlantedLogTest, ControlCharactersAreEscapedSoOneMessageIsOneLine) {
    ASSERT_EQ(KerfoLogging({"-ver", "x\n12:00:00 Cmdline: forged\r\t\x01"}).exitCode, 1);
    const std::vector<std::string> lines = Lines(ReadFile(LogPath()));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3].substr(9), "Cmdline: " + KerfoBinary() +
                                      " -dbg=1 -ver \"x\\n12:00:00 Cmdline: forged\\r\\t\\x01\"");
}

}  // namespace
}  // namespace kerfo::test
