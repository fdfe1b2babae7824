// Tiles of a size, every pixel kept, overlap and the picture as shown, run as
// the real program: every piece compared with the same rectangle that
// ImageMagick cuts (after -auto-orient, for -shown), and the refusals.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "picture_folder.h"
#include "test_support.h"

namespace kerfo::test {
namespace {

struct Rect {
    std::string name;
    int left, top, width, height;
};

// Where the tiles of one column (row) lie.
struct Span {
    int start, length;
};

// The tiles of stem's grid of those columns and rows, named as kerfo names them.
std::vector<Rect> Tiles(const std::string& stem, const std::string& extension,
                        const std::vector<Span>& columns, const std::vector<Span>& rows) {
    std::vector<Rect> tiles;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            char numbers[48];
            std::snprintf(numbers, sizeof numbers, "-%02zu-%02zu", r + 1, c + 1);
            tiles.push_back({stem + numbers + extension, columns[c].start, rows[r].start,
                             columns[c].length, rows[r].length});
        }
    }
    return tiles;
}

// The mean difference of two readings of MagickPixels, per 16-bit sample.
double MeanDifference(const std::string& a, const std::string& b) {
    double total = 0;
    for (std::size_t i = 0; i + 1 < a.size() && i + 1 < b.size(); i += 2) {
        const int x = static_cast<unsigned char>(a[i]) << 8 | static_cast<unsigned char>(a[i + 1]);
        const int y = static_cast<unsigned char>(b[i]) << 8 | static_cast<unsigned char>(b[i + 1]);
        total += std::abs(x - y);
    }
    return total / static_cast<double>(a.size() / 2) / 257;  // in 8-bit levels
}

class TilesTest : public PictureFolderTest {
  protected:
    void ClearFolder() {
        for (const std::string& name : ListFolder(folder_.Path())) {
            std::filesystem::remove(Path(name));
        }
    }

    // a.png: 103 x 61, no resolution. q.jpg: 64 x 48 (4:2:0, blocks of 16 x
    // 16). oN.jpg: 64 x 40 with the EXIF orientation N.
    void MakePicture(const std::string& name) {
        if (name == "a.png") {
            Make(name, 103, 61, 0);
        } else if (name == "q.jpg") {
            Make(name, 64, 48, 0);
        } else {
            Make(name, 64, 40, 0);
            const std::string orientation = name.substr(1, 1);
            ASSERT_EQ(test::Run("/usr/bin/exiftool", {"-q", "-overwrite_original", "-n",
                                                      "-Orientation=" + orientation, Path(name)})
                          .exitCode,
                      0);
        }
    }
};

TEST_F(TilesTest, EveryTileIsTheRectangleImageMagickCuts) {
    struct Case {
        std::vector<std::string> arguments;  // the picture is the last
        std::vector<Rect> pieces;            // in the picture as shown with -shown
    };
    const std::vector<Case> cases = {
        {{"-tile", "40", "25", "a.png"},
         Tiles("a", ".png", {{0, 40}, {40, 40}, {80, 23}}, {{0, 25}, {25, 25}, {50, 11}})},
        {{"-TILE", "50%", "50%", "a.png"},
         Tiles("a", ".png", {{0, 51}, {51, 51}, {102, 1}}, {{0, 30}, {30, 30}, {60, 1}})},
        {{"-g", "2", "3", "-whole", "a.png"},
         Tiles("a", ".png", {{0, 34}, {34, 34}, {68, 35}}, {{0, 30}, {30, 31}})},
        {{"-g", "2", "2", "-overlap", "5", "a.png"},
         Tiles("a", ".png", {{0, 56}, {51, 51}}, {{0, 35}, {30, 30}})},
        {{"-g", "2", "2", "-whole", "-overlap", "3", "a.png"},
         Tiles("a", ".png", {{0, 54}, {51, 52}}, {{0, 33}, {30, 31}})},
        {{"-overlap", "5", "-tile", "40", "25", "a.png"},
         Tiles("a", ".png", {{0, 40}, {35, 40}, {70, 33}}, {{0, 25}, {20, 25}, {40, 21}})},
        {{"-lossless", "-tile", "32", "16", "q.jpg"},
         Tiles("q", ".jpg", {{0, 32}, {32, 32}}, {{0, 16}, {16, 16}, {32, 16}})},
        {{"-lossless", "-g", "3", "4", "-whole", "q.jpg"},
         Tiles("q", ".jpg", {{0, 16}, {16, 16}, {32, 16}, {48, 16}},
               {{0, 16}, {16, 16}, {32, 16}})},
        // Without -shown a picture is cut as it is stored.
        {{"-w", "25%", "o6.jpg", "l.png", "r.png"},
         {{"l.png", 0, 0, 16, 40}, {"r.png", 16, 0, 48, 40}}},
        {{"-shown", "-g", "2", "2", "o6.jpg"},
         Tiles("o6", ".jpg", {{0, 20}, {20, 20}}, {{0, 32}, {32, 32}})},
        {{"-shown", "-tile", "30", "50", "-overlap", "4", "o8.jpg"},
         Tiles("o8", ".jpg", {{0, 30}, {26, 14}}, {{0, 50}, {46, 18}})},
    };
    std::vector<Case> all = cases;
    // Every orientation: the left quarter as the viewer shows it.
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const int width = orientation >= 5 ? 40 : 64;
        const int height = orientation >= 5 ? 64 : 40;
        const std::string picture = "o" + std::to_string(orientation) + ".jpg";
        all.push_back({{"-shown", "-w", "25%", picture, "l.png", "r.png"},
                       {{"l.png", 0, 0, width / 4, height},
                        {"r.png", width / 4, 0, width - width / 4, height}}});
    }
    for (const Case& job : all) {
        const std::string picture = job.arguments.back() == "r.png"
                                        ? job.arguments[job.arguments.size() - 3]
                                        : job.arguments.back();
        SCOPED_TRACE(::testing::PrintToString(job.arguments));
        ClearFolder();
        MakePicture(picture);
        const RunResult result = Kerfo(job.arguments);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        std::vector<std::string> expected = {picture};
        for (const Rect& piece : job.pieces) {
            expected.push_back(piece.name);
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(ListFolder(folder_.Path()), expected);
        const bool shown =
            std::find(job.arguments.begin(), job.arguments.end(), "-shown") != job.arguments.end();
        for (const Rect& piece : job.pieces) {
            SCOPED_TRACE(piece.name);
            const std::string cut = MagickPixels(Path(piece.name));
            const std::string reference = MagickPixels(Path(picture), piece.left, piece.top,
                                                       piece.width, piece.height, shown);
            ASSERT_EQ(cut.size(), reference.size()) << "the piece's size";
            if (piece.name.find(".png") != std::string::npos) {
                EXPECT_TRUE(cut == reference) << "pixels differ";
                continue;
            }
            EXPECT_LT(MeanDifference(cut, reference), 3.0);
            // A JPEG piece of a picture turned upright says it is upright.
            const char* orientation = picture[0] == 'o' && shown ? "1" : nullptr;
            if (orientation != nullptr) {
                EXPECT_EQ(
                    test::Run("/usr/bin/exiftool", {"-n", "-s3", "-Orientation", Path(piece.name)})
                        .out,
                    std::string(orientation) + "\n");
            }
        }
    }
}

TEST_F(TilesTest, BadTilesAreRefusedBeforeAnythingIsWritten) {
    struct Case {
        std::vector<std::string> arguments;
        const char* message;
    };
    const Case cases[] = {
        {{"-tile", "0", "5", "a.png"}, "Tile size 0 is 0 pixels: a tile must be at least 1 pixel"},
        {{"-tile", "20", "62", "a.png"}, "can't be larger than the picture"},
        {{"-tile", "20", "20", "-overlap", "20", "a.png"}, "as large as a tile"},
        {{"-g", "2", "2", "-overlap", "30", "a.png"}, "which is 30 pixels high"},
        {{"-g", "2", "2", "-overlap", "0", "a.png"}, "must share at least 1 pixel"},
        {{"-w", "50%", "-whole", "a.png"}, "-whole works with -g only"},
        {{"-h", "5", "-overlap", "2", "a.png"}, "-overlap works with -g or -tile only"},
        {{"a.png", "-tile"}, "-tile needs a tile's width and height"},
        {{"-g", "2", "2", "a.png", "-overlap"}, "-overlap needs a size"},
        {{"-lossless", "-tile", "20", "16", "q.jpg"}, "Widths that cut losslessly: 16 or 32."},
        {{"-lossless", "-tile", "32", "16", "-overlap", "8", "q.jpg"},
         "they start every 24 x 8 pixels"},
        {{"-lossless", "-g", "1", "3", "-whole", "q.jpg"},
         "Columns that cut losslessly with -whole: 1, 2 or 4."},
    };
    for (const Case& job : cases) {
        SCOPED_TRACE(::testing::PrintToString(job.arguments));
        ClearFolder();
        MakePicture("a.png");
        MakePicture("q.jpg");
        const RunResult result = Kerfo(job.arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE(result.err.find(job.message), std::string::npos) << result.err;
        EXPECT_EQ(ListFolder(folder_.Path()), (std::vector<std::string>{"a.png", "q.jpg"}));
    }
}

}  // namespace
}  // namespace kerfo::test
