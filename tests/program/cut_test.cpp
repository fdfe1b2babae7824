// Cuts run as the real program on pictures the tests make, every piece checked
// against the input pixel for pixel (lossy JPEG pieces by their mean error).

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

#include "picture_folder.h"
#include "test_support.h"

namespace kerfo::test {
namespace {

constexpr unsigned k300Dpi = 11811;  // dots per metre

class CutTest : public PictureFolderTest {
  protected:
    // Checks that the file holds exactly the region of the input at (left, top)
    // of the given size.
    void ExpectPiece(const std::string& name, unsigned left, unsigned top, unsigned width,
                     unsigned height) {
        SCOPED_TRACE(name);
        const TestBitmap piece = LoadPictureFile(Path(name));
        ASSERT_TRUE(piece) << "can't read " << name;
        EXPECT_EQ(FreeImage_GetWidth(piece.get()), width);
        EXPECT_EQ(FreeImage_GetHeight(piece.get()), height);
        std::string why;
        EXPECT_TRUE(SameAsRegion(piece.get(), original_.get(), left, top, &why)) << why;
    }

    // The same for a lossy piece: right size, and close to the region.
    void ExpectLossyPiece(const std::string& name, unsigned left, unsigned top, unsigned width,
                          unsigned height) {
        SCOPED_TRACE(name);
        const TestBitmap piece = LoadPictureFile(Path(name));
        ASSERT_TRUE(piece) << "can't read " << name;
        ASSERT_EQ(FreeImage_GetWidth(piece.get()), width);
        ASSERT_EQ(FreeImage_GetHeight(piece.get()), height);
        EXPECT_LT(MeanDifference(piece.get(), original_.get(), left, top), 6.0);
    }

    bool InputUntouched(const std::string& name) { return ReadFile(Path(name)) == originalBytes_; }
};

TEST_F(CutTest, OneNameReplacesTheInputWithTheLeftPiece) {
    Make("a.png", 64, 48, k300Dpi);
    const RunResult result = Kerfo({"-w", "20", "a.png"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out + result.err, "") << "a completed job says nothing";
    ExpectPiece("a.png", 0, 0, 20, 48);
    EXPECT_EQ(ListFolder(folder_.Path()), std::vector<std::string>{"a.png"});
}

TEST_F(CutTest, TwoNamesSaveTheFirstPieceAndLeaveTheInput) {
    Make("a.bmp", 64, 48, 0);
    ASSERT_EQ(Kerfo({"-h", "7", "a.bmp", "top.bmp"}).exitCode, 0);
    ExpectPiece("top.bmp", 0, 0, 64, 7);
    EXPECT_TRUE(InputUntouched("a.bmp"));
}

TEST_F(CutTest, ThreeNamesSaveBothPiecesEachInTheFormatOfItsName) {
    Make("a.png", 64, 48, k300Dpi);
    ASSERT_EQ(Kerfo({"-h", "10", "a.png", "top.PNG", "rest.bmp"}).exitCode, 0);
    ExpectPiece("top.PNG", 0, 0, 64, 10);
    ExpectPiece("rest.bmp", 0, 10, 64, 38);
    EXPECT_EQ(ReadFile(Path("rest.bmp")).substr(0, 2), "BM");
    EXPECT_EQ(ReadFile(Path("top.PNG")).substr(1, 3), "PNG");
    EXPECT_TRUE(InputUntouched("a.png"));

    ASSERT_EQ(Kerfo({"-w", "25", "a.png", "left.png", "right.png"}).exitCode, 0);
    ExpectPiece("left.png", 0, 0, 25, 48);
    ExpectPiece("right.png", 25, 0, 39, 48);
}

TEST_F(CutTest, RestWrittenOverTheInputComesFromThePictureInMemory) {
    Make("a.png", 64, 48, k300Dpi);
    ASSERT_EQ(Kerfo({"-w", "30", "a.png", "a.png", "rest.png"}).exitCode, 0);
    ExpectPiece("a.png", 0, 0, 30, 48);
    ExpectPiece("rest.png", 30, 0, 34, 48);
}

TEST_F(CutTest, DashSkipsAPiece) {
    Make("a.png", 64, 48, k300Dpi);
    ASSERT_EQ(Kerfo({"-w", "16", "a.png", "-", "rest.png"}).exitCode, 0);
    ExpectPiece("rest.png", 16, 0, 48, 48);
    ASSERT_EQ(Kerfo({"-w", "16", "a.png", "-", "-"}).exitCode, 0);
    ASSERT_EQ(Kerfo({"-w", "0", "a.png", "-", "whole.png"}).exitCode, 0)
        << "with the first piece skipped the rest may be the whole picture";
    ExpectPiece("whole.png", 0, 0, 64, 48);
    ASSERT_EQ(Kerfo({"-w", "16", "a.png", "-x.png"}).exitCode, 0) << "-x.png is a name";
    ExpectPiece("-x.png", 0, 0, 16, 48);
    EXPECT_TRUE(InputUntouched("a.png"));
    EXPECT_EQ(ListFolder(folder_.Path()),
              (std::vector<std::string>{"-x.png", "a.png", "rest.png", "whole.png"}));
}

TEST_F(CutTest, PercentOfAnOddHeight) {
    Make("tall.png", 3, 1001, k300Dpi);
    ASSERT_EQ(Kerfo({"-h", "50%", "tall.png", "top.png", "rest.png"}).exitCode, 0);
    ExpectPiece("top.png", 0, 0, 3, 500);
    ExpectPiece("rest.png", 0, 500, 3, 501);
}

TEST_F(CutTest, PhysicalUnitsUseThePicturesOwnResolution) {
    Make("a.png", 400, 50, k300Dpi);  // 300 dpi
    ASSERT_EQ(Kerfo({"-w", "0.5cm", "a.png", "cm.png"}).exitCode, 0);
    ExpectPiece("cm.png", 0, 0, 59, 50);
    ASSERT_EQ(Kerfo({"-w", "0.3IN", "a.png", "in.png"}).exitCode, 0);
    ExpectPiece("in.png", 0, 0, 89, 50);
    ASSERT_EQ(Kerfo({"-w", "25.4mm", "a.png", "mm.png"}).exitCode, 0);
    ExpectPiece("mm.png", 0, 0, 299, 50);
}

TEST_F(CutTest, JpegPiecesHaveTheRightSizeAndPixels) {
    Make("photo.jpg", 96, 64, 2835);
    ASSERT_EQ(Kerfo({"-w", "40", "photo.jpg", "left.jpeg", "right.JPG"}).exitCode, 0);
    ExpectLossyPiece("left.jpeg", 0, 0, 40, 64);
    ExpectLossyPiece("right.JPG", 40, 0, 56, 64);
    ASSERT_EQ(Kerfo({"-h", "24", "photo.jpg", "top.png"}).exitCode, 0);
    // A PNG piece of a JPEG holds the decoded pixels exactly.
    ExpectPiece("top.png", 0, 0, 96, 24);
}

TEST_F(CutTest, QualityIsHandedToTheEncoder) {
    Make("photo.jpg", 96, 64, 2835);
    ASSERT_EQ(Kerfo({"-w", "96", "photo.jpg", "best.jpg"}).exitCode, 0);
    ASSERT_EQ(Kerfo({"-oq", "10", "-w", "96", "photo.jpg", "poor.jpg"}).exitCode, 0);
    EXPECT_LT(ReadFile(Path("poor.jpg")).size(), ReadFile(Path("best.jpg")).size() / 2);
}

TEST_F(CutTest, NamesWithoutASupportedExtension) {
    Make("a.png", 64, 48, k300Dpi);
    RunResult result = Kerfo({"-w", "10", "a.gif"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "Kerfo Ver 1.12 - warning\nInput file: a.gif - must end in .jpg or .jpeg\n");
    result = Kerfo({"-w", "10", "jpg"});
    EXPECT_EQ(result.err,
              "Kerfo Ver 1.12 - warning\nInput file: jpg - must end in .jpg or .jpeg\n");

    result = Kerfo({"-w", "10", "a.png", "left.png", "rest.gif"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(
        result.err,
        "Kerfo Ver 1.12 - warning\nSave: file (rest.gif) - must end in .jpg, .jpeg or .bmp\n");
    EXPECT_EQ(ListFolder(folder_.Path()), std::vector<std::string>{"a.png"})
        << "every name is checked before the first piece is written";
}

TEST_F(CutTest, AFileThatIsNotOfItsNamesFormat) {
    Make("a.png", 64, 48, k300Dpi);
    WriteFile(Path("fake.jpg"), originalBytes_);
    const RunResult result = Kerfo({"-w", "10", "fake.jpg"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "Kerfo Ver 1.12 - warning\nCouldn't open input file: fake.jpg\n"
              "Not a JPEG file: starts with 0x89 0x50\n")
        << "the library's reason on the next line";
    EXPECT_EQ(ReadFile(Path("fake.jpg")), originalBytes_);
}

TEST_F(CutTest, GridTilesAreNamedByRowAndColumnAndCutRowByRow) {
    Make("photo.png", 100, 75, k300Dpi);
    ASSERT_EQ(Kerfo({"-g", "2", "3", "photo.png"}).exitCode, 0);
    std::vector<std::string> expected = {"photo.png"};
    for (unsigned row = 1; row <= 2; ++row) {
        for (unsigned column = 1; column <= 3; ++column) {
            const std::string name =
                "photo-0" + std::to_string(row) + "-0" + std::to_string(column) + ".png";
            expected.push_back(name);
            ExpectPiece(name, (column - 1) * 33, (row - 1) * 37, 33, 37);
        }
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ListFolder(folder_.Path()), expected);
    EXPECT_TRUE(InputUntouched("photo.png"));
}

TEST_F(CutTest, GridOfOneTileAndNamesThatKeepTheirCase) {
    Make("My.Photo.BMP", 30, 20, 0);
    ASSERT_EQ(Kerfo({"-g", "1", "1", "My.Photo.BMP"}).exitCode, 0);
    ExpectPiece("My.Photo-01-01.BMP", 0, 0, 30, 20);
    EXPECT_TRUE(InputUntouched("My.Photo.BMP"));
}

TEST_F(CutTest, GridTilesGoBesideTheInputInItsFolder) {
    mkdir(Path("sub").c_str(), 0755);
    Make("sub/p.jpeg", 40, 40, 2835);
    ASSERT_EQ(Kerfo({"-g", "2", "2", "sub/p.jpeg"}).exitCode, 0);
    EXPECT_EQ(ListFolder(Path("sub")),
              (std::vector<std::string>{"p-01-01.jpeg", "p-01-02.jpeg", "p-02-01.jpeg",
                                        "p-02-02.jpeg", "p.jpeg"}));
    ExpectLossyPiece("sub/p-02-01.jpeg", 0, 20, 20, 20);
}

TEST_F(CutTest, GridNumbersGrowPastTwoDigits) {
    Make("s.png", 12, 120, 0);
    ASSERT_EQ(Kerfo({"-g", "120", "12", "s.png"}).exitCode, 0);
    EXPECT_EQ(ListFolder(folder_.Path()).size(), 120u * 12 + 1);
    ExpectPiece("s-12-12.png", 11, 11, 1, 1);
    ExpectPiece("s-99-01.png", 0, 98, 1, 1);
    ExpectPiece("s-120-12.png", 11, 119, 1, 1);
}

}  // namespace
}  // namespace kerfo::test
