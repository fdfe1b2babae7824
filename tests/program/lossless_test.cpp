// Lossless JPEG cuts, run as the real program: the pieces hold the picture's
// own coded blocks, so decoded without smoothing across blocks they equal the
// same rectangle of the decoded picture exactly, and they keep its markers,
// subsampling and colour model. A cut that can't be lossless writes nothing.

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstring>

#include "cut/block_grid.h"
#include "cut/piece_set.h"
#include "formats/exif.h"
#include "picture_folder.h"
#include "test_support.h"

namespace kerfo::test {
namespace {

const std::string kWarning = "Kerfo Ver 1.12 - warning\n";

class LosslessTest : public PictureFolderTest {
  protected:
    // Makes a.jpg of the size, kind (8 grey, 24 colour) and subsampling flag.
    void MakeJpeg(unsigned width, unsigned height, unsigned bpp, int subsampling) {
        SavePictureFile(MakePattern(width, height, bpp).get(), Path("a.jpg"), 11811,
                        90 | subsampling);
        original_ = LoadBlocks(Path("a.jpg"));
        originalBytes_ = ReadFile(Path("a.jpg"));
    }

    // A JPEG decoded block by block: the library's fast decode, whose chroma
    // upsampling looks at no neighbouring block, so that a piece's blocks
    // decode as they did in the picture.
    static TestBitmap LoadBlocks(const std::string& path) {
        return TestBitmap(FreeImage_Load(FIF_JPEG, path.c_str(), 0));
    }

    // The piece, decoded as the picture was, equals the picture's rectangle.
    void ExpectBlocks(const std::string& name, unsigned left, unsigned top, unsigned width,
                      unsigned height) {
        SCOPED_TRACE(name);
        const TestBitmap piece = LoadBlocks(Path(name));
        ASSERT_TRUE(piece);
        EXPECT_EQ(FreeImage_GetWidth(piece.get()), width);
        EXPECT_EQ(FreeImage_GetHeight(piece.get()), height);
        std::string why;
        EXPECT_TRUE(SameAsRegion(piece.get(), original_.get(), left, top, &why)) << why;
    }

    void ExpectRefused(const std::vector<std::string>& arguments, const std::string& message,
                       std::optional<unsigned long long> fileSizeLimit = std::nullopt) {
        SCOPED_TRACE(arguments.back());
        const std::vector<std::string> before = ListFolder(folder_.Path());
        RunOptions options;
        options.workingFolder = folder_.Path();
        options.fileSizeLimit = fileSizeLimit;
        const RunResult result = RunKerfo(arguments, options);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, kWarning + message + "\n");
        EXPECT_EQ(ListFolder(folder_.Path()), before) << "nothing may be written";
    }
};

TEST_F(LosslessTest, PiecesHoldThePicturesOwnBlocks) {
    // 4:2:0 has 16 x 16 blocks, 4:2:2 16 x 8, 4:4:4 and grey 8 x 8. The
    // pictures end off the block grid on the right and at the bottom.
    struct Kind {
        std::string name;
        unsigned bpp;
        int subsampling;
        int block;
    };
    for (const Kind& kind : std::vector<Kind>{{"4:2:0", 24, JPEG_SUBSAMPLING_420, 16},
                                              {"4:2:2", 24, JPEG_SUBSAMPLING_422, 8},
                                              {"4:4:4", 24, JPEG_SUBSAMPLING_444, 8},
                                              {"grey", 8, 0, 8}}) {
        SCOPED_TRACE(kind.name);
        MakeJpeg(100, 75, kind.bpp, kind.subsampling);
        const std::string top = std::to_string(2 * kind.block);
        ASSERT_EQ(Kerfo({"-lossless", "-w", "32", "a.jpg", "left.jpg", "right.jpg"}).exitCode, 0);
        ExpectBlocks("left.jpg", 0, 0, 32, 75);
        ExpectBlocks("right.jpg", 32, 0, 68, 75);
        ASSERT_EQ(Kerfo({"-h", top, "a.jpg", "top.jpg", "rest.jpg", "-lossless"}).exitCode, 0);
        ExpectBlocks("top.jpg", 0, 0, 100, 2 * kind.block);
        ExpectBlocks("rest.jpg", 0, 2 * kind.block, 100, 75 - 2 * kind.block);
        ASSERT_EQ(Kerfo({"-lossless", "-g", "1", "6", "a.jpg"}).exitCode, 0) << "tiles of 16";
        ExpectBlocks("a-01-02.jpg", 16, 0, 16, 75);
        ExpectBlocks("a-01-06.jpg", 80, 0, 16, 75);
        // A piece alone starts at the corner, so any size is lossless.
        ASSERT_EQ(Kerfo({"-lossless", "-w", "37", "a.jpg", "alone.jpg", "-"}).exitCode, 0);
        ExpectBlocks("alone.jpg", 0, 0, 37, 75);
        EXPECT_EQ(ReadFile(Path("a.jpg")), originalBytes_);
    }
}

// A camera's EXIF segment in either byte order: the first directory gives
// the orientation (unless it is 0) and links to the EXIF directory, which
// gives the picture's size as SHORTs, and to a thumbnail's directory, whose
// data ends the segment.
std::string CameraExif(bool bigEndian, unsigned width, unsigned height, unsigned orientation = 0) {
    auto number = [bigEndian](std::uint32_t value, int bytes) {
        std::string text;
        for (int i = 0; i < bytes; ++i) {
            text += static_cast<char>(value >> (8 * (bigEndian ? bytes - 1 - i : i)));
        }
        return text;
    };
    auto entry = [&](unsigned tag, unsigned type, std::uint32_t value) {
        return number(tag, 2) + number(type, 2) + number(1, 4) +
               (type == 3 ? number(value, 2) + number(0, 2) : number(value, 4));
    };
    const std::string thumbnail = "\xFF\xD8 a thumbnail \xFF\xD9";
    const unsigned more = orientation != 0 ? 12 : 0;  // the orientation's entry
    const std::string tiff =
        (bigEndian ? "MM" : "II") + number(42, 2) + number(8, 4) +  // at 8:
        number(more != 0 ? 2 : 1, 2) + (more != 0 ? entry(0x112, 3, orientation) : "") +
        entry(0x8769, 4, 26 + more) + number(56 + more, 4) +  // at 26:
        number(2, 2) + entry(0xA002, 3, width) + entry(0xA003, 3, height) + number(0, 4) +
        number(2, 2) + entry(0x201, 4, 86 + more) + entry(0x202, 4, 16) + number(0, 4) +  // at 56
        thumbnail;
    return "\xFF\xE1" + std::string{0, static_cast<char>(tiff.size() + 8)} + "Exif" +
           std::string(2, '\0') + tiff;
}

// The pieces of TurboJPEG's transform (a crop, after the operation), all in
// one call as the cut was made before it read the blocks in place, with their
// EXIF made their own (upright where the operation turns the picture) and JFXX
// thumbnails left out, as the cut makes them.
std::vector<std::string> TransformedPieces(const std::string& jpeg,
                                           const std::vector<PieceSpec>& pieces, bool progressive,
                                           int operation = TJXOP_NONE) {
    const bool upright = operation != TJXOP_NONE;
    std::vector<tjtransform> transforms;
    for (const PieceSpec& piece : pieces) {
        transforms.push_back({{piece.left, piece.top, piece.width, piece.height},
                              operation,
                              TJXOPT_CROP | (progressive ? TJXOPT_PROGRESSIVE : 0),
                              nullptr,
                              nullptr});
    }
    std::vector<unsigned char*> buffers(pieces.size(), nullptr);
    std::vector<unsigned long> sizes(pieces.size(), 0);
    tjhandle handle = tjInitTransform();
    EXPECT_EQ(tjTransform(handle, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size(),
                          static_cast<int>(pieces.size()), buffers.data(), sizes.data(),
                          transforms.data(), TJFLAG_LIMITSCANS),
              0);
    tjDestroy(handle);
    std::vector<std::string> result;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::string piece(reinterpret_cast<const char*>(buffers[i]), sizes[i]);
        tjFree(buffers[i]);
        std::string own = piece.substr(0, 2);
        std::size_t at = 2;
        for (unsigned code; code = static_cast<unsigned char>(piece[at + 1]),
                            (code >= 0xE0 && code <= 0xEF) || code == 0xFE;) {
            const std::size_t length = static_cast<unsigned char>(piece[at + 2]) << 8 |
                                       static_cast<unsigned char>(piece[at + 3]);
            const std::string data = piece.substr(at + 4, length - 2);
            const auto width = static_cast<std::uint32_t>(pieces[i].width);
            const auto height = static_cast<std::uint32_t>(pieces[i].height);
            if (code == 0xE1 && data.substr(0, 4) == "Exif") {
                const std::string exif = PieceExif(data, width, height, upright);
                own += "\xFF\xE1" +
                       std::string{static_cast<char>((exif.size() + 2) >> 8),
                                   static_cast<char>(exif.size() + 2)} +
                       exif;
            } else if (code != 0xE0 || data.substr(0, 4) != "JFXX") {
                own += piece.substr(at, length + 2);
            }
            at += length + 2;
        }
        result.push_back(own + piece.substr(at));
    }
    return result;
}

// The kinds of JPEG a cut meets: its chroma subsampling, or grey; its bits
// per pixel and its save flags.
const std::vector<std::tuple<std::string, unsigned, int>> kKinds = {
    {"4:2:0", 24, JPEG_SUBSAMPLING_420},
    {"4:2:2", 24, JPEG_SUBSAMPLING_422},
    {"4:4:4", 24, JPEG_SUBSAMPLING_444},
    {"grey", 8, 0},
    {"CMYK", 32, 0}};

// The tiles of a.jpg's grid, of a picture of width x height pixels.
std::vector<PieceSpec> GridTiles(int rows, int columns, int width, int height) {
    std::vector<PieceSpec> tiles;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            char name[32];
            std::snprintf(name, sizeof name, "a-%02d-%02d.jpg", row + 1, column + 1);
            tiles.push_back({name, column * (width / columns), row * (height / rows),
                             width / columns, height / rows});
        }
    }
    return tiles;
}

// The JPEG with the segments put right behind its start, and the later ones
// behind its first segment (the JFIF header).
std::string InsertJpegSegments(const std::string& jpeg, const std::string& first,
                               const std::string& later = "") {
    const std::size_t at =
        4 + (static_cast<unsigned char>(jpeg[4]) << 8 | static_cast<unsigned char>(jpeg[5]));
    return jpeg.substr(0, 2) + first + jpeg.substr(2, at - 2) + later + jpeg.substr(at);
}

TEST_F(LosslessTest, PiecesAreTurboJpegsCropByteForByte) {
    // Every kind, baseline and progressive, plain and with the markers that
    // cameras and editors write: an EXIF segment (big-endian before the JFIF
    // header, little-endian after it), a JFXX thumbnail, a comment, XMP and an
    // ICC profile. A CMYK picture has an Adobe marker.
    struct Job {
        std::vector<std::string> arguments;
        std::vector<PieceSpec> pieces;
    };
    std::vector<Job> jobs = {{{"-lossless", "-w", "240", "a.jpg", "l.jpg", "r.jpg"},
                              {{"l.jpg", 0, 0, 240, 323}, {"r.jpg", 240, 0, 244, 323}}}};
    for (const auto& [rows, columns] : {std::pair{5, 5}, std::pair{10, 15}}) {
        jobs.push_back({{"-lossless", "-g", std::to_string(rows), std::to_string(columns), "a.jpg"},
                        GridTiles(rows, columns, 484, 323)});
    }
    for (const auto& [kind, bpp, subsampling] : kKinds) {
        for (const bool progressive : {false, true}) {
            for (const std::string markers : {"none", "MM", "II"}) {
                SCOPED_TRACE(kind + (progressive ? " progressive, " : " baseline, ") + markers);
                TestBitmap picture = MakePattern(484, 323, bpp);
                if (markers != "none") {
                    FreeImage_SetMetadataKeyValue(FIMD_COMMENTS, picture.get(), "Comment", "hi");
                    FreeImage_SetMetadataKeyValue(FIMD_XMP, picture.get(), "XMLPacket", "<x/>");
                    std::string profile(200, 'p');
                    FreeImage_CreateICCProfile(picture.get(), profile.data(), 200);
                }
                if (bpp == 32) {
                    FreeImage_GetICCProfile(picture.get())->flags |= FIICC_COLOR_IS_CMYK;
                }
                SavePictureFile(picture.get(), Path("a.jpg"), 11811,
                                90 | subsampling | (progressive ? JPEG_PROGRESSIVE : 0));
                std::string jpeg = ReadFile(Path("a.jpg"));
                if (markers != "none") {
                    const std::string segments = CameraExif(markers == "MM", 484, 323) +
                                                 std::string("\xFF\xE0\0\x08JFXX\0\x10", 10);
                    jpeg = markers == "MM" ? InsertJpegSegments(jpeg, segments)
                                           : InsertJpegSegments(jpeg, "", segments);
                    WriteFile(Path("a.jpg"), jpeg);
                }
                for (const Job& job : jobs) {
                    ASSERT_EQ(Kerfo(job.arguments).exitCode, 0) << job.arguments[1];
                    const std::vector<std::string> expected =
                        TransformedPieces(jpeg, job.pieces, progressive);
                    for (std::size_t i = 0; i < job.pieces.size(); ++i) {
                        ASSERT_TRUE(ReadFile(Path(job.pieces[i].name)) == expected[i])
                            << job.pieces[i].name;
                    }
                }
            }
        }
    }
}

TEST_F(LosslessTest, ShownPiecesAreTurboJpegsTurnedCropByteForByte) {
    // Each orientation is TurboJPEG's operation, after which the pieces'
    // rectangles lie; they are saved upright. The picture ends off the block
    // grid (by a pixel, so that halves stay on it) on every edge that the turn
    // leaves on the right or at the bottom. An odd orientation's picture has a
    // first EXIF segment of another: viewers go by the last.
    for (const auto& [kind, bpp, subsampling] : kKinds) {
        for (const bool progressive : {false, true}) {
            // The orientation (0: no EXIF), the operation, and whether the
            // right and the bottom edge come to the left or the top.
            for (const auto& [orientation, operation, rightMoves, bottomMoves] :
                 std::vector<std::tuple<unsigned, int, bool, bool>>{
                     {0, TJXOP_NONE, false, false},
                     {1, TJXOP_NONE, false, false},
                     {2, TJXOP_HFLIP, true, false},
                     {3, TJXOP_ROT180, true, true},
                     {4, TJXOP_VFLIP, false, true},
                     {5, TJXOP_TRANSPOSE, false, false},
                     {6, TJXOP_ROT90, false, true},
                     {7, TJXOP_TRANSVERSE, true, true},
                     {8, TJXOP_ROT270, true, false}}) {
                SCOPED_TRACE(kind + (progressive ? " progressive, " : " baseline, ") +
                             std::to_string(orientation));
                const int width = rightMoves ? 96 : 97;
                const int height = bottomMoves ? 64 : 65;
                TestBitmap picture = MakePattern(width, height, bpp);
                if (bpp == 32) {
                    FreeImage_GetICCProfile(picture.get())->flags |= FIICC_COLOR_IS_CMYK;
                }
                SavePictureFile(picture.get(), Path("a.jpg"), 11811,
                                90 | subsampling | (progressive ? JPEG_PROGRESSIVE : 0));
                std::string jpeg = ReadFile(Path("a.jpg"));
                if (orientation != 0) {
                    jpeg = InsertJpegSegments(
                        jpeg, orientation % 2 == 1 ? CameraExif(true, 97, 65, orientation + 1) : "",
                        CameraExif(false, 97, 65, orientation));
                    WriteFile(Path("a.jpg"), jpeg);
                }
                const int shownWidth = orientation >= 5 ? height : width;
                const int shownHeight = orientation >= 5 ? width : height;
                for (const auto& [arguments, pieces] :
                     std::vector<std::pair<std::vector<std::string>, std::vector<PieceSpec>>>{
                         {{"-g", "2", "2", "a.jpg"}, GridTiles(2, 2, shownWidth, shownHeight)},
                         {{"-w", "32", "a.jpg", "l.jpg", "r.jpg"},
                          {{"l.jpg", 0, 0, 32, shownHeight},
                           {"r.jpg", 32, 0, shownWidth - 32, shownHeight}}}}) {
                    std::vector<std::string> shown = {"-lossless", "-shown"};
                    shown.insert(shown.end(), arguments.begin(), arguments.end());
                    ASSERT_EQ(Kerfo(shown).exitCode, 0) << arguments[0];
                    const std::vector<std::string> expected =
                        TransformedPieces(jpeg, pieces, progressive, operation);
                    for (std::size_t i = 0; i < pieces.size(); ++i) {
                        ASSERT_TRUE(ReadFile(Path(pieces[i].name)) == expected[i])
                            << pieces[i].name;
                    }
                }
                // The image library reads the piece as upright.
                FITAG* tag = nullptr;
                const TestBitmap piece = LoadPictureFile(Path("r.jpg"));
                ASSERT_EQ(FreeImage_GetMetadata(FIMD_EXIF_MAIN, piece.get(), "Orientation", &tag) !=
                              FALSE,
                          orientation != 0);
                if (tag != nullptr) {
                    EXPECT_EQ(unsigned{*static_cast<const WORD*>(FreeImage_GetTagValue(tag))},
                              operation == TJXOP_NONE ? orientation : 1u);
                }
            }
        }
    }
}

TEST_F(LosslessTest, PiecesKeepTheMarkersAndCmyk) {
    TestBitmap picture = MakePattern(64, 48);
    FreeImage_SetMetadataKeyValue(FIMD_COMMENTS, picture.get(), "Comment", "a comment");
    FreeImage_SetMetadataKeyValue(FIMD_XMP, picture.get(), "XMLPacket",
                                  "<x:xmpmeta xmlns:x='adobe:ns:meta/'></x:xmpmeta>");
    const std::string profile(200, 'p');
    FreeImage_CreateICCProfile(picture.get(), const_cast<char*>(profile.data()),
                               static_cast<long>(profile.size()));
    SavePictureFile(picture.get(), Path("a.jpg"), 11811, 90);
    ASSERT_EQ(Kerfo({"-lossless", "-w", "16", "a.jpg", "left.jpg", "right.jpg"}).exitCode, 0);
    const std::string before = ReadFile(Path("a.jpg"));
    for (const std::string name : {"left.jpg", "right.jpg"}) {
        const std::string after = ReadFile(Path(name));
        for (const unsigned code : {0xE1u, 0xE2u, 0xFEu}) {  // XMP, ICC profile, comment
            EXPECT_FALSE(JpegSegments(before, code).empty());
            EXPECT_EQ(JpegSegments(after, code), JpegSegments(before, code)) << name << " " << code;
        }
    }

    TestBitmap cmyk = MakePattern(64, 48, 32);
    FreeImage_GetICCProfile(cmyk.get())->flags |= FIICC_COLOR_IS_CMYK;
    SavePictureFile(cmyk.get(), Path("cmyk.jpg"), 11811, 90);
    ASSERT_EQ(Kerfo({"-lossless", "-w", "24", "cmyk.jpg", "left.jpg", "right.jpg"}).exitCode, 0);
    const TestBitmap whole(FreeImage_Load(FIF_JPEG, Path("cmyk.jpg").c_str(), JPEG_CMYK));
    const TestBitmap right(FreeImage_Load(FIF_JPEG, Path("right.jpg").c_str(), JPEG_CMYK));
    ASSERT_TRUE(whole && right);
    EXPECT_TRUE(FreeImage_GetICCProfile(right.get())->flags & FIICC_COLOR_IS_CMYK) << "still CMYK";
    for (unsigned y = 0; y < 48; ++y) {
        ASSERT_EQ(
            std::memcmp(FreeImage_GetScanLine(right.get(), static_cast<int>(y)),
                        FreeImage_GetScanLine(whole.get(), static_cast<int>(y)) + 24 * 4, 40 * 4),
            0)
            << "row " << y;
    }
}

TEST_F(LosslessTest, ACutThatCannotBeLosslessIsRefusedAndWritesNothing) {
    MakeJpeg(6000, 40, 24, JPEG_SUBSAMPLING_420);
    SavePictureFile(MakePattern(40, 30).get(), Path("a.png"), 11811);
    WriteFile(Path("half.jpg"), originalBytes_.substr(0, originalBytes_.size() / 2));
    ExpectRefused({"-lossless", "-w", "3000", "a.jpg", "l.jpg", "r.jpg"},
                  "Size 3000 is 3000 pixels, where the rest can't start losslessly: the "
                  "picture's blocks are 16 pixels wide: 2992 or 3008 cut losslessly.");
    ExpectRefused({"-lossless", "-h", "20", "a.jpg", "t.jpg", "r.jpg"},
                  "Size 20 is 20 pixels, where the rest can't start losslessly: the picture's "
                  "blocks are 16 pixels high: 16 or 32 cut losslessly.");
    ExpectRefused({"-lossless", "-g", "3", "7", "a.jpg"},
                  "A grid of 3 rows and 7 columns can't be cut losslessly: its tiles are 857 x 13 "
                  "pixels, and the picture's blocks are 16 x 16, where every tile must start. "
                  "Columns that cut losslessly: 1, 3, 5, 15, 17, 22, 25, 34, 62, 75, 93, 123 and "
                  "more. Rows that cut losslessly: 1.");
    ExpectRefused({"-lossless", "-w", "16", "a.png", "l.jpg"},
                  "-lossless cuts JPEG pictures only, and a.png is not one.");
    ExpectRefused({"-lossless", "-w", "16", "a.jpg", "l.jpg", "r.png"},
                  "-lossless makes JPEG pieces only, and r.png is no JPEG name.");
    ExpectRefused({"-oq", "90", "-w", "16", "a.jpg", "l.jpg", "-lossless"},
                  "-oq can't be used with -lossless: a lossless piece keeps the picture's own "
                  "quality.");
    ExpectRefused({"-lossless", "-w", "16", "half.jpg", "l.jpg", "r.jpg"},
                  "Couldn't open input file: half.jpg\nPremature end of JPEG file");
    ExpectRefused({"-lossless", "-w", "3008", "a.jpg", "l.jpg", "r.jpg"},
                  "Couldn't save l.jpg: not every byte could be written: File too large.",
                  originalBytes_.size() / 4);
    // The picture ends inside a block on the right and at the bottom: shown
    // turned, it would start inside one.
    SavePictureFile(MakePattern(100, 75).get(), Path("t.jpg"), 11811, 90 | JPEG_SUBSAMPLING_420);
    const std::string turnable = ReadFile(Path("t.jpg"));
    for (const auto& [orientation, edges, size] :
         std::vector<std::tuple<unsigned, std::string, std::string>>{
             {3, "its right edge to the left and its bottom edge to the top", "100 x 75 pixels"},
             {6, "its bottom edge to the left", "75 pixels high"},
             {8, "its right edge to the top", "100 pixels wide"}}) {
        const std::string name = "turned" + std::to_string(orientation) + ".jpg";
        WriteFile(Path(name),
                  InsertJpegSegments(turnable, "", CameraExif(false, 100, 75, orientation)));
        ExpectRefused({"-lossless", "-shown", "-w", "16", name, "l.jpg", "r.jpg"},
                      name + " can't be cut losslessly as it is shown: its EXIF orientation " +
                          std::to_string(orientation) + " brings " + edges +
                          ", where the shown picture would start inside a block, as the "
                          "picture is " +
                          size +
                          " and its blocks are 16 x 16. -shown without -lossless cuts it, and "
                          "so does -lossless without -shown.");
    }
}

TEST(OffGridSize, NamesTheNearestSizesThatCutLosslessly) {
    struct Case {
        int pixels;
        unsigned dimension;
        std::string sizes;  // none when on the grid
    };
    for (const Case& c : std::vector<Case>{{3008, 6000, ""},
                                           {3000, 6000, "2992 or 3008 cut losslessly"},
                                           {10, 6000, "only 16 cuts losslessly"},
                                           {5990, 6000, "only 5984 cuts losslessly"},
                                           {5, 12, "no size cuts it losslessly"}}) {
        const std::optional<std::string> message =
            OffGridSize("s", c.pixels, c.dimension, 16, "wide");
        if (c.sizes.empty()) {
            EXPECT_FALSE(message) << c.pixels;
        } else {
            ASSERT_TRUE(message) << c.pixels;
            EXPECT_EQ(message->substr(message->rfind(": ") + 2), c.sizes + ".") << c.pixels;
        }
    }
}

}  // namespace
}  // namespace kerfo::test
