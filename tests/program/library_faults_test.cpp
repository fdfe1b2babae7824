// The image library's faults in the code the program reaches, published ones
// and those the fuzzer found: each fuzz input that shows one (in
// fuzz/picture-seeds, named after the published fault; its first byte is the
// fuzz target's format choice, the rest the file) is cut as a user would cut
// it, and the program either cuts it, where the fault can't happen
// (Debian's package mends it, or the program hides the segment from the
// library), or refuses it before the library reads or writes it; it never
// dies.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace kerfo::test {
namespace {

enum class Outcome { Cut, Refused };

struct LibraryFault {
    const char* seed;  // in fuzz/
    Outcome outcome;
    const char* pieces = nullptr;  // the pieces' extension; none: the picture's
    const char* refusal = "Couldn't open input file: picture";
    // The data of the tRNS chunk the left piece must carry (8 bytes), where it
    // matters.
    const char* transparency = nullptr;
};

// The data of the first chunk of that type in a PNG file; empty when none.
std::string FirstChunkData(const std::string& png, const std::string& type) {
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::size_t length = static_cast<unsigned char>(png[at]) << 24 |
                                   static_cast<unsigned char>(png[at + 1]) << 16 |
                                   static_cast<unsigned char>(png[at + 2]) << 8 |
                                   static_cast<unsigned char>(png[at + 3]);
        if (png.compare(at + 4, 4, type) == 0) {
            return png.substr(at + 8, length);
        }
        at += 12 + length;
    }
    return {};
}

// What each seed holds and why it ends as it does: see the fuzz build's notes
// in the README ("Your files are safe").
const LibraryFault kFaults[] = {
    // BMP: RLE8 runs past the row and a delta past the last row (Debian's
    // package mends the library's decoder, which the program's own BMP reader
    // stands in for; it refuses them).
    {"picture-seeds/CVE-2020-21427", Outcome::Refused},
    // BMP: RLE4 of 65536 x 65537 pixels, whose count overflows the decoder's int.
    {"picture-seeds/CVE-2023-47994", Outcome::Refused},
    // JPEG: five components, written whole into a bitmap of one byte a pixel.
    {"picture-seeds/CVE-2021-40265", Outcome::Refused},
    // JPEG: a frame of 65500 x 65500 pixels in 400 bytes.
    {"picture-seeds/CVE-2023-47995", Outcome::Refused},
    // Exif segments, hidden from the library's Exif reader.
    {"picture-seeds/CVE-2023-47992", Outcome::Cut},
    {"picture-seeds/CVE-2023-47993", Outcome::Cut},
    {"picture-seeds/CVE-2023-47996", Outcome::Cut},
    {"picture-seeds/CVE-2024-28570", Outcome::Cut},
    {"picture-seeds/CVE-2024-28571", Outcome::Cut},
    {"picture-seeds/CVE-2024-28572", Outcome::Cut},
    // An Exif segment between the scans of a progressive JPEG, whose
    // thumbnail's length runs past the segment: hidden from the library too
    // (the decoder then refuses the damaged scans).
    {"picture-seeds/jpeg-exif-after-first-scan", Outcome::Refused},
    // APP1 segments shorter than the Exif signature compared with them.
    {"picture-seeds/CVE-2024-28573", Outcome::Refused},
    {"picture-seeds/CVE-2024-28577", Outcome::Refused},
    // IPTC: a record version of 1 byte, read as 2.
    {"picture-seeds/CVE-2024-9029", Outcome::Refused},
    // IPTC: a record version of 3 bytes; the library drops the tag.
    {"picture-seeds/CVE-2021-40264", Outcome::Cut},
    {"picture-seeds/CVE-2024-28568", Outcome::Cut},
    // BMP of 29 million dpi, which the JPEG encoder turns into 16 bits.
    {"picture-seeds/jpeg-piece-resolution", Outcome::Refused, ".jpg", "Couldn't save left.jpg"},
    // A 4-bit grey PNG with two tRNS chunks (levels 7, then 10): the decoder
    // takes the first, and so must the pieces, which the library writes with
    // a palette of the 16 levels: entry 7 is the transparent one.
    {"picture-seeds/png-two-trns", Outcome::Cut, nullptr, "", "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x00"},
    {"picture-seeds/png-two-trns", Outcome::Cut, ".jpg"},
};

class LibraryFaultTest : public ::testing::TestWithParam<LibraryFault> {};

TEST_P(LibraryFaultTest, IsCutOrRefusedWithoutHarm) {
    const LibraryFault& fault = GetParam();
    const std::string seed = ReadFile(std::string(KERFO_FUZZ_DIR) + "/" + fault.seed);
    ASSERT_FALSE(seed.empty());
    const std::string picture = std::string("picture") + (seed[0] == 'J'   ? ".jpg"
                                                          : seed[0] == 'P' ? ".png"
                                                                           : ".bmp");
    const std::string pieces = fault.pieces ? fault.pieces : picture.substr(picture.size() - 4);
    ScratchFolder folder;
    WriteFile(folder / picture, seed.substr(1));

    RunOptions options;
    options.workingFolder = folder.Path();
    const RunResult result =
        RunKerfo({"-w", "50%", picture, "left" + pieces, "right" + pieces}, options);
    if (fault.outcome == Outcome::Cut) {
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_TRUE(std::filesystem::exists(folder / ("left" + pieces)));
        EXPECT_TRUE(std::filesystem::exists(folder / ("right" + pieces)));
        if (fault.transparency) {
            EXPECT_EQ(FirstChunkData(ReadFile(folder / ("left" + pieces)), "tRNS"),
                      std::string(fault.transparency, 8));
        }
        // The grid's tiles, in the picture's format, go through the same readers.
        const RunResult grid = RunKerfo({"-g", "2", "2", picture}, options);
        EXPECT_EQ(grid.exitCode, 0) << grid.err;
    } else {
        EXPECT_EQ(result.exitCode, 1) << result.err;
        EXPECT_NE(result.err.find(fault.refusal), std::string::npos) << result.err;
        EXPECT_FALSE(std::filesystem::exists(folder / ("left" + pieces)));
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, LibraryFaultTest, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<LibraryFault>& info) {
                             std::string name = info.param.seed;
                             name.erase(0, name.find('/') + 1);
                             if (info.param.pieces && info.param.outcome == Outcome::Cut) {
                                 name += std::string("_") + (info.param.pieces + 1);
                             }
                             for (char& c : name) {
                                 c = c == '-' ? '_' : c;
                             }
                             return name;
                         });

}  // namespace
}  // namespace kerfo::test
