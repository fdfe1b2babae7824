// Pieces look like the picture: they carry its ICC profile and its metadata,
// PNG pieces keep its stored samples and its gamma chunks, and pieces saved as
// views of the picture are the same bytes as pieces the library copies.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "formats/exif.h"
#include "picture_folder.h"
#include "test_support.h"

namespace kerfo::test {
namespace {

std::string BigEndian(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

// A small ICC profile that libpng accepts: a header for the colour space
// ("RGB " or "GRAY") and one copyright tag holding the text.
std::string IccProfile(const std::string& colourSpace, const std::string& text) {
    std::string tag = "text" + std::string(4, '\0') + text + '\0';
    tag.resize((tag.size() + 3) / 4 * 4, '\0');
    std::string header(128, '\0');
    const std::size_t size = 128 + 4 + 12 + tag.size();
    header.replace(0, 4, BigEndian(static_cast<std::uint32_t>(size)));
    header.replace(8, 4, BigEndian(0x02100000));
    header.replace(12, 4, "mntr");
    header.replace(16, 4, colourSpace);
    header.replace(20, 4, "XYZ ");
    header.replace(36, 4, "acsp");
    header.replace(68, 12, BigEndian(0xF6D6) + BigEndian(0x10000) + BigEndian(0xD32D));
    return header + BigEndian(1) + "cprt" + BigEndian(144) +
           BigEndian(static_cast<std::uint32_t>(tag.size())) + tag;
}

// The iCCP chunk of a profile, compressed as PNG has it.
std::string IccpChunk(const std::string& profile) {
    uLongf size = compressBound(profile.size());
    std::string compressed(size, '\0');
    compress(reinterpret_cast<Bytef*>(compressed.data()), &size,
             reinterpret_cast<const Bytef*>(profile.data()), profile.size());
    compressed.resize(size);
    return PngChunk("iCCP", std::string("test profile\0\0", 14) + compressed);
}

// The ICC profile a piece carries: a JPEG's as the library reads it, a PNG's
// inflated from its iCCP chunk (which the library doesn't read).
std::string ProfileOf(const std::string& path) {
    if (path.size() > 4 && path.substr(path.size() - 4) == ".png") {
        const std::string chunk = PngChunksOfType(ReadFile(path), "iCCP");
        if (chunk.empty()) {
            return {};
        }
        const std::string data = chunk.substr(8, chunk.size() - 12);
        const std::size_t start = data.find('\0') + 2;
        std::string profile(1 << 20, '\0');
        uLongf size = profile.size();
        uncompress(reinterpret_cast<Bytef*>(profile.data()), &size,
                   reinterpret_cast<const Bytef*>(data.data() + start), data.size() - start);
        profile.resize(size);
        return profile;
    }
    const TestBitmap bitmap = LoadPictureFile(path);
    const FIICCPROFILE* profile = FreeImage_GetICCProfile(bitmap.get());
    return std::string(static_cast<const char*>(profile->data), profile->size);
}

class ColourTest : public PictureFolderTest {};

// A grey PNG of 11 x 5 pixels of every level, of 1 to 8 bits, whose white is
// transparent (its tRNS chunk).
std::string GreyPngWithWhiteTransparent(unsigned depth) {
    const unsigned levels = 1u << depth;
    std::string rows;
    for (unsigned y = 0; y < 5; ++y) {
        std::string row(1 + (11 * depth + 7) / 8, '\0');  // filter 0, then the samples
        for (unsigned x = 0; x < 11; ++x) {
            const unsigned bit = x * depth;
            row[1 + bit / 8] |= static_cast<char>((x + 3 * y) % levels << (8 - depth - bit % 8));
        }
        rows += row;
    }
    uLongf size = compressBound(rows.size());
    std::string data(size, '\0');
    compress(reinterpret_cast<Bytef*>(data.data()), &size,
             reinterpret_cast<const Bytef*>(rows.data()), rows.size());
    data.resize(size);
    return std::string("\x89PNG\r\n\x1a\n", 8) +
           PngChunk("IHDR", BigEndian(11) + BigEndian(5) + static_cast<char>(depth) +
                                std::string(4, '\0')) +
           PngChunk("tRNS", BigEndian(levels - 1).substr(2)) + PngChunk("IDAT", data) +
           PngChunk("IEND", "");
}

TEST_F(ColourTest, PngPiecesKeepTheTransparentGreyLevel) {
    for (const unsigned depth : {1u, 2u, 4u}) {
        SCOPED_TRACE(depth);
        WriteFile(Path("grey.png"), GreyPngWithWhiteTransparent(depth));
        ASSERT_EQ(Kerfo({"-w", "4", "grey.png", "left.png", "right.png"}).exitCode, 0);
        const std::string left = MagickPixels(Path("left.png"));
        ASSERT_FALSE(left.empty());
        EXPECT_TRUE(left == MagickPixels(Path("grey.png"), 0, 0, 4, 5));
        EXPECT_TRUE(MagickPixels(Path("right.png")) == MagickPixels(Path("grey.png"), 4, 0, 7, 5));
    }
}

TEST_F(ColourTest, EveryPieceCarriesThePicturesIccProfile) {
    const std::string profile = IccProfile("RGB ", "the picture's own colours");
    TestBitmap picture = MakePattern(96, 64);
    SavePictureFile(picture.get(), Path("plain.png"), 11811);
    WriteFile(Path("a.png"), InsertPngChunks(ReadFile(Path("plain.png")), IccpChunk(profile)));
    FreeImage_CreateICCProfile(picture.get(), const_cast<char*>(profile.data()),
                               static_cast<long>(profile.size()));
    SavePictureFile(picture.get(), Path("a.jpg"), 11811, 90);
    // 16 bits a channel, as photo editors save them: JPEG pieces need 8.
    const TestBitmap deep(FreeImage_ConvertToType(picture.get(), FIT_RGB16));
    SavePictureFile(deep.get(), Path("plain.png"), 11811);
    WriteFile(Path("d.png"), InsertPngChunks(ReadFile(Path("plain.png")), IccpChunk(profile)));
    // ImageMagick's BMP embeds it in the header (V5).
    ASSERT_EQ(test::Run("/usr/bin/convert", {Path("a.png"), "BMP:" + Path("b.bmp")}).exitCode, 0);

    for (const std::string input : {"a.png", "a.jpg", "d.png", "b.bmp"}) {
        for (const std::string format : {".png", ".jpg"}) {
            SCOPED_TRACE(input + " into " + format);
            const RunResult result = Kerfo({"-w", "40", input, "left" + format, "right" + format});
            ASSERT_EQ(result.exitCode, 0) << result.err;
            EXPECT_EQ(ProfileOf(Path("left" + format)), profile);
            EXPECT_EQ(ProfileOf(Path("right" + format)), profile);
        }
        if (input == "b.bmp") {
            continue;  // BMP tiles can't hold it
        }
        ASSERT_EQ(Kerfo({"-g", "2", "2", input}).exitCode, 0);
        const std::string tile = input.substr(0, 1) + "-02-02" + input.substr(1);
        EXPECT_EQ(ProfileOf(Path(tile)), profile) << tile;
    }
}

TEST_F(ColourTest, ACmykProfileDoesNotGoWithThePiecesTheLibraryMadeRgb) {
    TestBitmap cmyk = MakePattern(48, 32, 32);
    const std::string profile = IccProfile("CMYK", "ink");
    FreeImage_CreateICCProfile(cmyk.get(), const_cast<char*>(profile.data()),
                               static_cast<long>(profile.size()))
        ->flags |= FIICC_COLOR_IS_CMYK;
    SavePictureFile(cmyk.get(), Path("cmyk.jpg"), 11811, 90);
    const TestBitmap asStored(FreeImage_Load(FIF_JPEG, Path("cmyk.jpg").c_str(), JPEG_CMYK));
    ASSERT_EQ(std::string(static_cast<const char*>(FreeImage_GetICCProfile(asStored.get())->data),
                          FreeImage_GetICCProfile(asStored.get())->size),
              profile)
        << "the picture carries its CMYK profile";
    ASSERT_EQ(Kerfo({"-w", "20", "cmyk.jpg", "left.jpg", "right.png"}).exitCode, 0);
    EXPECT_EQ(ProfileOf(Path("left.jpg")), "");
    EXPECT_EQ(ProfileOf(Path("right.png")), "");
}

TEST_F(ColourTest, PiecesAreTheBytesTheLibraryWritesForACopy) {
    // A JPEG with every kind of metadata the library keeps: a comment, XMP,
    // IPTC, raw EXIF and an ICC profile.
    TestBitmap picture = MakePattern(101, 67);
    FreeImage_SetMetadataKeyValue(FIMD_COMMENTS, picture.get(), "Comment", "a comment");
    FreeImage_SetMetadataKeyValue(FIMD_XMP, picture.get(), "XMLPacket",
                                  "<x:xmpmeta xmlns:x='adobe:ns:meta/'></x:xmpmeta>");
    FreeImage_SetMetadataKeyValue(FIMD_IPTC, picture.get(), "Caption-Abstract", "a caption");
    const std::string profile = IccProfile("RGB ", "kept");
    FreeImage_CreateICCProfile(picture.get(), const_cast<char*>(profile.data()),
                               static_cast<long>(profile.size()));
    SavePictureFile(picture.get(), Path("a.jpg"), 11811, 90);
    const TestBitmap loaded = LoadPictureFile(Path("a.jpg"));

    struct Piece {
        std::string name;
        int left, top, right, bottom;
    };
    const std::vector<std::pair<std::vector<std::string>, std::vector<Piece>>> jobs = {
        {{"-w", "37", "a.jpg", "l.jpg", "r.png"},
         {{"l.jpg", 0, 0, 37, 67}, {"r.png", 37, 0, 101, 67}}},
        {{"-h", "20", "a.jpg", "t.bmp", "b.jpg"},
         {{"t.bmp", 0, 0, 101, 20}, {"b.jpg", 0, 20, 101, 67}}},
    };
    for (const auto& [arguments, pieces] : jobs) {
        ASSERT_EQ(Kerfo(arguments).exitCode, 0);
        for (const Piece& piece : pieces) {
            SCOPED_TRACE(piece.name);
            const TestBitmap copy(
                FreeImage_Copy(loaded.get(), piece.left, piece.top, piece.right, piece.bottom));
            const std::string expected = Path("expected-" + piece.name);
            SavePictureFile(copy.get(), expected, FreeImage_GetDotsPerMeterX(loaded.get()), 100);
            EXPECT_TRUE(ReadFile(Path(piece.name)) == ReadFile(expected)) << "bytes differ";
        }
    }
}

// The samples of a bitmap's rows, as the file stores them (palette indices
// for a palette picture), from (left, top) on, width pixels wide.
std::string Samples(FIBITMAP* bitmap, unsigned left, unsigned top, unsigned width,
                    unsigned height) {
    const unsigned bytesPerPixel = FreeImage_GetBPP(bitmap) / 8;
    std::string samples;
    for (unsigned y = top; y < top + height; ++y) {
        const BYTE* line =
            FreeImage_GetScanLine(bitmap, static_cast<int>(FreeImage_GetHeight(bitmap) - 1 - y));
        samples.append(reinterpret_cast<const char*>(line) + left * bytesPerPixel,
                       width * bytesPerPixel);
    }
    return samples;
}

TEST_F(ColourTest, PngPiecesKeepTheStoredSamplesAndTheGammaChunks) {
    struct Kind {
        std::string name;
        std::function<TestBitmap()> make;
    };
    const std::vector<Kind> kinds = {
        {"grey", [] { return MakePattern(40, 30, 8); }},
        {"rgb", [] { return MakePattern(40, 30, 24); }},
        {"alpha", [] { return MakePattern(40, 30, 32); }},
        {"grey16",
         [] {
             TestBitmap deep(FreeImage_AllocateT(FIT_UINT16, 40, 30));
             for (unsigned y = 0; y < 30; ++y) {
                 WORD* line = reinterpret_cast<WORD*>(FreeImage_GetScanLine(deep.get(), y));
                 for (unsigned x = 0; x < 40; ++x) {
                     line[x] = static_cast<WORD>(x * 1500 + y * 7);
                 }
             }
             return deep;
         }},
        {"palette",
         [] {
             TestBitmap colours = MakePattern(40, 30, 8);
             RGBQUAD* palette = FreeImage_GetPalette(colours.get());
             for (unsigned i = 0; i < 256; ++i) {
                 palette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i),
                               static_cast<BYTE>(i * 3), 0};
             }
             return colours;
         }},
    };
    // Gamma 1.0, as data pictures have it, which the library corrects on
    // loading; and the usual 1/2.2 with an sRGB chunk, which it leaves.
    const std::vector<std::pair<std::string, std::string>> gammas = {
        {"linear", PngChunk("gAMA", BigEndian(100000)) +
                       PngChunk("cHRM", BigEndian(31270) + BigEndian(32900) + BigEndian(64000) +
                                            BigEndian(33000) + BigEndian(30000) + BigEndian(60000) +
                                            BigEndian(15000) + BigEndian(6000))},
        {"usual", PngChunk("sRGB", std::string(1, '\0')) + PngChunk("gAMA", BigEndian(45455))},
    };
    for (const Kind& kind : kinds) {
        for (const auto& [gammaName, chunks] : gammas) {
            SCOPED_TRACE(kind.name + ", gamma " + gammaName);
            SavePictureFile(kind.make().get(), Path("plain.png"), 11811);
            const std::string picture = InsertPngChunks(ReadFile(Path("plain.png")), chunks);
            WriteFile(Path("a.png"), picture);
            ASSERT_EQ(Kerfo({"-w", "15", "a.png", "left.png", "right.bmp"}).exitCode, 0);

            const TestBitmap stored(
                FreeImage_Load(FIF_PNG, Path("a.png").c_str(), PNG_IGNOREGAMMA));
            const TestBitmap left(
                FreeImage_Load(FIF_PNG, Path("left.png").c_str(), PNG_IGNOREGAMMA));
            ASSERT_TRUE(stored && left);
            EXPECT_EQ(FreeImage_GetImageType(left.get()), FreeImage_GetImageType(stored.get()));
            EXPECT_EQ(FreeImage_GetBPP(left.get()), FreeImage_GetBPP(stored.get()));
            EXPECT_TRUE(Samples(left.get(), 0, 0, 15, 30) == Samples(stored.get(), 0, 0, 15, 30))
                << "the PNG piece keeps the stored samples";
            if (FreeImage_GetBPP(stored.get()) == 8) {
                EXPECT_EQ(std::memcmp(FreeImage_GetPalette(left.get()),
                                      FreeImage_GetPalette(stored.get()), 256 * sizeof(RGBQUAD)),
                          0)
                    << "and the stored palette";
            }
            const std::string leftBytes = ReadFile(Path("left.png"));
            for (const std::string type : {"gAMA", "cHRM", "sRGB"}) {
                EXPECT_EQ(PngChunksOfType(leftBytes, type), PngChunksOfType(picture, type)) << type;
            }

            // The BMP piece holds what the library shows: the samples
            // corrected for the display (converted as BMP stores them).
            const TestBitmap shown(FreeImage_Load(FIF_PNG, Path("a.png").c_str(), 0));
            TestBitmap shownPart(FreeImage_Copy(shown.get(), 15, 0, 40, 30));
            if (FreeImage_GetImageType(shownPart.get()) == FIT_UINT16) {
                shownPart.reset(FreeImage_ConvertTo8Bits(shownPart.get()));
            }
            const TestBitmap right = LoadPictureFile(Path("right.bmp"));
            std::string why;
            EXPECT_TRUE(SameAsRegion(right.get(), shownPart.get(), 0, 0, &why)) << why;
        }
    }
}

// Adds a directory of the tags (tag, type, count, value) to the end of a TIFF
// structure, their longer values behind it; returns where it starts.
using Tags = std::vector<std::tuple<unsigned, unsigned, unsigned, std::string>>;
std::uint32_t AddDirectory(std::string& tiff, const Tags& tags, bool linkNext) {
    const auto at = static_cast<std::uint32_t>(tiff.size());
    const auto valuesAt = static_cast<std::uint32_t>(at + 2 + 12 * tags.size() + 4);
    std::string directory = BigEndian(static_cast<std::uint32_t>(tags.size())).substr(2);
    std::string values;
    for (const auto& [tag, type, count, value] : tags) {
        directory += BigEndian(tag << 16 | type) + BigEndian(count);
        directory += value.size() <= 4
                         ? value + std::string(4 - value.size(), '\0')
                         : BigEndian(valuesAt + static_cast<std::uint32_t>(values.size()));
        values += value.size() <= 4 ? "" : value;
    }
    tiff += directory +
            BigEndian(linkNext ? valuesAt + static_cast<std::uint32_t>(values.size()) : 0) + values;
    return at;
}

// An APP1 segment of the data.
std::string App1(const std::string& data) {
    return "\xFF\xE1" + BigEndian(static_cast<std::uint32_t>(data.size() + 2)).substr(2) + data;
}

// A camera's EXIF (an APP1 segment) for a picture of width x height pixels
// (the width a SHORT, or a LONG; or the size tags given for the EXIF
// directory and the first one), the EXIF and GPS directories, the first
// directory (maker, orientation, resolution, the links), and last a
// thumbnail's directory and JPEG data.
std::string CameraExif(unsigned width, unsigned height, const std::string& thumbnail,
                       bool longWidth = false, Tags sizes = {}, Tags first = {}) {
    if (sizes.empty()) {
        sizes = {{0xA002, longWidth ? 4u : 3u, 1, BigEndian(longWidth ? width : width << 16)},
                 {0xA003, 4, 1, BigEndian(height)}};
    }
    sizes.insert(sizes.begin(), {0x9003, 2, 20, std::string("2026:12:09 10:00:00", 20)});
    std::string tiff = std::string("MM\0*", 4) + BigEndian(0);
    const std::uint32_t exif = AddDirectory(tiff, sizes, false);
    const std::uint32_t gps = AddDirectory(tiff, {{0x0001, 2, 2, std::string("N", 2)}}, false);
    tiff.replace(4, 4, BigEndian(static_cast<std::uint32_t>(tiff.size())));
    first.insert(first.end(), {{0x10F, 2, 6, std::string("Kerfo", 6)},
                               {0x112, 3, 1, BigEndian(6 << 16)},
                               {0x11A, 5, 1, BigEndian(300) + BigEndian(1)},
                               {0x8769, 4, 1, BigEndian(exif)},
                               {0x8825, 4, 1, BigEndian(gps)}});
    AddDirectory(tiff, first, !thumbnail.empty());
    if (!thumbnail.empty()) {
        const auto data = static_cast<std::uint32_t>(tiff.size() + 2 + 2 * 12 + 4);
        AddDirectory(tiff,
                     {{0x201, 4, 1, BigEndian(data)},
                      {0x202, 4, 1, BigEndian(static_cast<std::uint32_t>(thumbnail.size()))}},
                     false);
        tiff += thumbnail;
    }
    return App1(std::string("Exif\0\0", 6) + tiff);
}

TEST_F(ColourTest, EveryJpegPiecesExifGivesItsOwnSizeAndNoThumbnailOfThePicture) {
    SavePictureFile(MakePattern(16, 16).get(), Path("thumbnail.jpg"), 0, 90);
    SavePictureFile(MakePattern(96, 64).get(), Path("plain.jpg"), 11811, 90);
    const std::string plain = ReadFile(Path("plain.jpg"));
    WriteFile(
        Path("a.jpg"),
        plain.substr(0, 2) + CameraExif(96, 64, ReadFile(Path("thumbnail.jpg"))) + plain.substr(2));
    const std::vector<std::pair<std::vector<std::string>,
                                std::vector<std::tuple<std::string, unsigned, unsigned>>>>
        jobs = {
            {{"-w", "40", "a.jpg", "l.jpg", "r.jpg"}, {{"l.jpg", 40, 64}, {"r.jpg", 56, 64}}},
            {{"-g", "2", "2", "a.jpg"}, {{"a-01-01.jpg", 48, 32}, {"a-02-02.jpg", 48, 32}}},
            {{"-lossless", "-w", "32", "a.jpg", "l.jpg", "r.jpg"},
             {{"l.jpg", 32, 64}, {"r.jpg", 64, 64}}},
        };
    for (const auto& [arguments, pieces] : jobs) {
        ASSERT_EQ(Kerfo(arguments).exitCode, 0);
        // TurboJPEG's lossless crop sets the size tags itself, as LONG.
        const bool lossless = arguments[0] == "-lossless";
        for (const auto& [name, width, height] : pieces) {
            EXPECT_TRUE(JpegSegments(ReadFile(Path(name)), 0xE1) ==
                        CameraExif(width, height, "", lossless))
                << arguments[0] << " " << name;
        }
    }
}

TEST(PieceExif, UprightSaysOrientationOneAndASizeBeyondAShortMakesItALong) {
    const std::string exif = CameraExif(96, 64, "").substr(4);
    const std::string upright = PieceExif(exif, 96, 64, true);
    EXPECT_EQ(ExifOrientation(upright), 1u);
    const std::size_t orientation = exif.find(std::string("\x01\x12\0\x03", 4)) + 8;
    EXPECT_EQ(upright, std::string(exif).replace(orientation, 2, std::string("\0\x01", 2)));
    EXPECT_EQ(PieceExif(exif, 70000, 64), CameraExif(70000, 64, "", true).substr(4));
}

// exiftool's reading of the files' metadata, file by file: each tag, by its
// group and name, to its value (a text without its quotes).
std::map<std::string, std::map<std::string, std::string>> ExifTool(std::vector<std::string> paths) {
    paths.insert(paths.begin(), {"-n", "-j", "-G1", "-a"});
    std::map<std::string, std::map<std::string, std::string>> files;
    std::string file;
    for (const std::string& line : Lines(Run("/usr/bin/exiftool", paths).out)) {
        const std::size_t colon = line.find("\": ");
        if (line.compare(0, 3, "  \"") == 0 && colon != std::string::npos) {
            std::string value =
                line.substr(colon + 3, line.size() - colon - 3 - (line.back() == ','));
            value = value[0] == '"' ? value.substr(1, value.size() - 2) : value;
            file = line.compare(3, colon - 3, "SourceFile") == 0 ? value : file;
            files[file][line.substr(3, colon - 3)] = value;
        }
    }
    return files;
}

TEST_F(ColourTest, EveryPiecesExifAndXmpGiveItsSizeInTheFormsCamerasWrite) {
    SavePictureFile(MakePattern(97, 64).get(), Path("plain.jpg"), 11811, 90);
    const std::string plain = ReadFile(Path("plain.jpg"));
    const std::string rdf =
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www."
        "w3.org/1999/02/22-rdf-syntax-ns#' xmlns:e='http://ns.adobe.com/exif/"
        "1.0/' xmlns:tiff='http://ns.adobe.com/tiff/1.0/'><rdf:Description";
    // The sizes: one SHORT or LONG each, two LONGs, or two SHORTs (the second
    // a zero or the same); XMP attributes with padding, or elements.
    const std::vector<std::tuple<Tags, Tags, std::string>> cameras = {
        {{{0xA002, 4, 2, BigEndian(97) + BigEndian(0)},
          {0xA003, 4, 2, BigEndian(64) + BigEndian(64)}},
         {{0x100, 3, 1, BigEndian(97 << 16)}, {0x101, 4, 1, BigEndian(64)}},
         rdf +
             " e:PixelXDimension='97' e:PixelYDimension='64' tiff:ImageWidth='97' "
             "tiff:ImageLength='64' tiff:Orientation='6'/></rdf:RDF></x:xmpmeta>" +
             std::string(99, ' ') + "\n<?xpacket end='w'?>"},
        {{{0xA002, 3, 2, BigEndian(97 << 16)}, {0xA003, 3, 2, BigEndian(64 << 16 | 64)}},
         {{0x100, 3, 2, BigEndian(97 << 16)}, {0x101, 3, 2, BigEndian(64 << 16 | 64)}},
         rdf + "><e:PixelXDimension>97</e:PixelXDimension><e:PixelYDimension>64</e:PixelYDimension>"
               "<tiff:ImageWidth>97</tiff:ImageWidth><tiff:ImageLength>64</tiff:ImageLength>"
               "</rdf:Description></rdf:RDF></x:xmpmeta>"},
    };
    for (const auto& [sizes, firstSizes, xmp] : cameras) {
        WriteFile(Path("a.jpg"), plain.substr(0, 2) +
                                     CameraExif(0, 0, "", false, sizes, firstSizes) +
                                     App1(std::string("http://ns.adobe.com/xap/1.0/", 29) + xmp) +
                                     plain.substr(2));
        ASSERT_EQ(Kerfo({"-w", "50%", "a.jpg", "l.jpg", "r.png"}).exitCode, 0);
        ASSERT_EQ(Kerfo({"-g", "2", "2", "a.jpg"}).exitCode, 0);
        const std::vector<std::string> files = {Path("a.jpg"), Path("l.jpg"), Path("r.png"),
                                                Path("a-01-01.jpg"), Path("a-02-02.jpg")};
        auto metadata = ExifTool(files);
        const auto picture = metadata[files[0]];
        ASSERT_TRUE(picture.count("ExifIFD:ExifImageWidth") &&
                    picture.count("XMP-tiff:ImageWidth"));
        const std::set<std::string> kGroups = {"IFD0", "ExifIFD", "GPS", "XMP-exif", "XMP-tiff"};
        for (std::size_t i = 1; i < files.size(); ++i) {
            auto& piece = metadata[files[i]];
            const std::string frame = i == 2 ? "PNG:Image" : "File:Image";
            const std::map<std::string, std::string> size = {{"97", piece[frame + "Width"]},
                                                             {"64", piece[frame + "Height"]}};
            for (const auto& [tag, value] : picture) {
                const std::string group = tag.substr(0, tag.find(':'));
                if (kGroups.count(group) == 0 || (i == 2 && group.compare(0, 4, "XMP-") != 0)) {
                    continue;  // a PNG piece has no EXIF
                }
                // In a size, each number of the picture's size is the piece's.
                const bool isSize = tag.find("Width") != tag.npos || tag.find("Height") != tag.npos;
                std::istringstream numbers(value);
                std::string expected;
                for (std::string number; numbers >> number;) {
                    const bool own = isSize && size.count(number) != 0;
                    expected += (expected.empty() ? "" : " ") + (own ? size.at(number) : number);
                }
                EXPECT_EQ(piece[tag], isSize ? expected : value) << files[i] << " " << tag;
            }
        }
    }
}

}  // namespace
}  // namespace kerfo::test
