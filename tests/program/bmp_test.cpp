// BMPs of every layout, as ImageMagick writes them and as others do, cut into
// PNG and BMP pieces that ImageMagick reads as it reads the same rectangle of
// the picture; damaged ones refused, with nothing written.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "picture_folder.h"
#include "test_support.h"

namespace kerfo::test {
namespace {

std::string Little(std::uint32_t value, int bytes) {
    std::string text;
    for (int i = 0; i < bytes; ++i) {
        text += static_cast<char>(value >> (8 * i));
    }
    return text;
}

// A layout that ImageMagick doesn't write: pixels of bits masked by the
// masks, or 13 x 3 pixels of run-length data with a palette of 16 colours.
struct Layout {
    Layout(unsigned headerSize = 40, unsigned bits = 24, unsigned compression = 0,
           std::array<std::uint32_t, 4> masks = {0xFF0000, 0xFF00, 0xFF, 0}, bool topFirst = false,
           std::string runs = {})
        : headerSize(headerSize),
          bits(bits),
          compression(compression),
          masks(masks),
          topFirst(topFirst),
          runs(std::move(runs)) {}
    unsigned headerSize;
    unsigned bits;
    unsigned compression;                // 0 none, 1 and 2 run lengths, 3 bit fields
    std::array<std::uint32_t, 4> masks;  // red, green, blue, alpha
    bool topFirst;
    std::string runs;
};

std::string MakeBmp(const Layout& layout) {
    const unsigned width = layout.runs.empty() ? 37 : 13;
    const unsigned height = layout.runs.empty() ? 23 : 3;
    std::string pixels = layout.runs;
    for (unsigned y = 0; layout.runs.empty() && y < height; ++y) {
        std::string row;
        for (unsigned x = 0; x < width; ++x) {
            std::uint32_t pixel = 0;
            for (unsigned c = 0; c < 4; ++c) {
                const std::uint32_t mask = layout.masks[c];
                const unsigned shift = mask == 0 ? 0 : __builtin_ctz(mask);
                pixel |= ((x * 97 + y * 41 + c * 131) * 13 % ((mask >> shift) + 1)) << shift;
            }
            row += Little(pixel, static_cast<int>(layout.bits / 8));
        }
        row.resize((width * layout.bits + 31) / 32 * 4, '\0');
        pixels += row;
    }
    std::string palette;
    for (unsigned i = 0; !layout.runs.empty() && i < 16; ++i) {
        palette += {static_cast<char>(i * 8), static_cast<char>(255 - i * 16),
                    static_cast<char>(i * 16), 0};
    }
    std::string masks;
    for (const std::uint32_t mask : layout.masks) {
        masks += Little(mask, 4);
    }
    std::string header = Little(layout.headerSize, 4) + Little(width, 4) +
                         Little(layout.topFirst ? 0 - height : height, 4) + Little(1, 2) +
                         Little(layout.bits, 2) + Little(layout.compression, 4) +
                         Little(static_cast<std::uint32_t>(pixels.size()), 4) + Little(2835, 4) +
                         Little(2835, 4) + Little(palette.size() / 4, 4) + Little(0, 4);
    if (layout.headerSize > 40) {
        header += masks + "BGRs";  // the colour space: sRGB
    } else if (layout.compression == 3) {
        header += masks.substr(0, 12);
    }
    header.resize(std::max<std::size_t>(header.size(), layout.headerSize), '\0');
    const std::uint32_t offset = static_cast<std::uint32_t>(14 + header.size() + palette.size());
    return "BM" + Little(offset + static_cast<std::uint32_t>(pixels.size()), 4) + Little(0, 4) +
           Little(offset, 4) + header + palette + pixels;
}

// Checks that two of ImageMagick's readings agree in the top bits of every
// channel: as many as the picture's field has (bits; 0 for an alpha it hasn't),
// and at most as many as the piece's format holds.
void ExpectSameInTopBits(const std::string& piece, const std::string& picture,
                         const std::array<unsigned, 4>& bits, unsigned most) {
    ASSERT_EQ(piece.size(), picture.size());
    ASSERT_FALSE(piece.empty());
    for (std::size_t i = 0; i + 1 < piece.size(); i += 2) {
        const unsigned field = bits[i / 2 % 4];
        const unsigned drop = 16 - (field == 0 ? 16 : std::min(field, most));
        const unsigned a =
            static_cast<unsigned char>(piece[i]) << 8 | static_cast<unsigned char>(piece[i + 1]);
        const unsigned b = static_cast<unsigned char>(picture[i]) << 8 |
                           static_cast<unsigned char>(picture[i + 1]);
        ASSERT_EQ(a >> drop, b >> drop) << "pixel " << i / 8 << ", channel " << i / 2 % 4;
    }
}

class BmpTest : public PictureFolderTest {};

TEST_F(BmpTest, EveryLayoutIsCutAsImageMagickReadsItAndDamagedOnesAreRefused) {
    const char runs[] =
        "\x0D\x12\0\0"              // a run of 13, the end of the row
        "\0\x05\x34\x56\x70\0"      // 5 as they are, padded
        "\0\x02\x02\0\x06\x89\0\0"  // a move 2 right, a run of 6
        "\x04\xAB\0\x01\0\0";       // the end of the picture, early
    const std::string goodRuns(runs, sizeof runs - 1);
    using Bits = std::array<unsigned, 4>;  // of red, green, blue and alpha (0: none)
    struct Case {
        Case(std::string name, std::vector<std::string> magick, Bits bits = {8, 8, 8, 0})
            : name(std::move(name)), magick(std::move(magick)), bits(bits) {}
        Case(std::string name, Layout layout, Bits bits = {8, 8, 8, 0}, std::string refusal = {})
            : name(std::move(name)), layout(std::move(layout)), bits(bits), refusal(refusal) {}
        std::string name;
        std::vector<std::string> magick;  // the picture and how ImageMagick writes it, or
        Layout layout;                    // the layout made here
        Bits bits;
        std::string refusal;
    };
    const std::vector<Case> cases = {
        {"v3-24.bmp", {"rgb.png", "BMP3:"}},
        {"v5-24.bmp", {"rgb.png", "BMP:"}},
        {"os2-24.bmp", {"rgb.png", "BMP2:"}},
        {"v3-1.bmp", {"rgb.png", "-type", "bilevel", "BMP3:"}},
        {"v3-4.bmp", {"rgb.png", "-colors", "16", "BMP3:"}},
        {"v5-8.bmp", {"rgb.png", "-colors", "200", "BMP:"}},
        {"v3-rle8.bmp", {"rgb.png", "-colors", "200", "-compress", "RLE", "BMP3:"}},
        {"v5-565.bmp", {"rgb.png", "-define", "bmp:subtype=RGB565", "BMP:"}, {5, 6, 5, 0}},
        {"v5-555.bmp", {"rgb.png", "-define", "bmp:subtype=RGB555", "BMP:"}, {5, 5, 5, 0}},
        {"v5-alpha.bmp", {"alpha.png", "BMP:"}, {8, 8, 8, 8}},
        {"rgb32.bmp", Layout(40, 32)},  // the fourth byte 0, and no alpha
        // The fourth byte set: alpha, as in the library's own 32-bit BMPs.
        {"rgb32-alpha.bmp", Layout(40, 32, 0, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}), {8, 8, 8, 8}},
        {"rgb32-odd.bmp", Layout(40, 32, 3, {0xFF000000, 0x00000FF0, 0x00FF0000, 0})},
        {"rgb16-231.bmp", Layout(40, 16, 3, {0x30, 0x0E, 0x01, 0}), {2, 3, 1, 0}},
        {"rgb16-3103.bmp", Layout(40, 16, 3, {0xE000, 0x1FF8, 0x0007, 0}), {3, 10, 3, 0}},
        {"rgb32-111110.bmp", Layout(108, 32, 3, {0xFFE00000, 0x1FFC00, 0x3FF, 0}), {11, 11, 10, 0}},
        {"argb16-4444.bmp", Layout(124, 16, 3, {0xF00, 0xF0, 0xF, 0xF000}), {4, 4, 4, 4}},
        {"top-down.bmp", Layout(40, 24, 0, {0xFF0000, 0xFF00, 0xFF, 0}, true)},
        {"rle4.bmp", Layout(40, 4, 2, {}, false, goodRuns)},
        {"rle4-past-row.bmp",
         Layout(40, 4, 2, {}, false, std::string("\x11\x12\0\x01", 4)),
         {},
         "Its run-length data runs past the end of a row."},
        {"rle4-cut-short.bmp",
         Layout(40, 4, 2, {}, false, std::string("\x0D\x12\0\0\x0D\x34", 6)),
         {},
         "It is cut short: its run-length data ends before the picture does."},
        {"rle8-past-picture.bmp",
         Layout(40, 8, 1, {}, false, std::string("\x0D\x05\0\x02\0\x05", 6)),
         {},
         "Its run-length data runs past the end of the picture."},
    };
    SavePictureFile(MakePattern(37, 23).get(), Path("rgb.png"), 2835);
    SavePictureFile(MakePattern(37, 23, 32).get(), Path("alpha.png"), 2835);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.magick.empty()) {
            WriteFile(Path(c.name), MakeBmp(c.layout));
        } else {
            std::vector<std::string> arguments = {Path(c.magick[0])};
            arguments.insert(arguments.end(), c.magick.begin() + 1, c.magick.end() - 1);
            arguments.push_back(c.magick.back() + Path(c.name));
            ASSERT_EQ(test::Run("/usr/bin/convert", arguments).exitCode, 0);
        }
        const std::vector<std::string> before = ListFolder(folder_.Path());
        const RunResult result = Kerfo({"-w", "5", c.name, "left.png", "rest.bmp"});
        if (!c.refusal.empty()) {
            EXPECT_EQ(result.exitCode, 1);
            EXPECT_EQ(result.err, "Kerfo Ver 1.12 - warning\nCouldn't open input file: " + c.name +
                                      "\n" + c.refusal + "\n");
            EXPECT_EQ(ListFolder(folder_.Path()), before) << "nothing may be written";
            continue;
        }
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const int width = c.layout.runs.empty() ? 37 : 13;
        const int height = c.layout.runs.empty() ? 23 : 3;
        ExpectSameInTopBits(MagickPixels(Path("left.png")),
                            MagickPixels(Path(c.name), 0, 0, 5, height), c.bits, 16);
        ExpectSameInTopBits(MagickPixels(Path("rest.bmp")),
                            MagickPixels(Path(c.name), 5, 0, width - 5, height), c.bits, 8);
    }
}

}  // namespace
}  // namespace kerfo::test
