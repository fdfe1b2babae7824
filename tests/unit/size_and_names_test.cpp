// Size conversion, picture names by extension, tile names and the message cut:
// everything that needs no picture.

#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <string>

#include "app/messages.h"
#include "cut/cut_jobs.h"
#include "cut/picture_file.h"
#include "cut/size_spec.h"
#include "platform/platform.h"
#include "util/strings.h"

namespace kerfo {
namespace {

TEST(SizeToPixels, WorkedValuesOfTheExtendedArithmetic) {
    EXPECT_EQ(SizeToPixels("0.3in", 0, 300), 89);
    EXPECT_EQ(SizeToPixels("25.4mm", 0, 300), 299);
    EXPECT_EQ(SizeToPixels("2.54cm", 0, 300), 300);
    EXPECT_EQ(SizeToPixels("1cm", 0, 254), 100);
    EXPECT_EQ(SizeToPixels("29%", 100, 0), 29);
    EXPECT_EQ(SizeToPixels("50%", 1001, 0), 500);
    EXPECT_EQ(SizeToPixels("5CM", 0, 72), 141);
    EXPECT_EQ(SizeToPixels("25mm", 0, 254), 250);
}

TEST(SizeToPixels, UnitsAreReadFromTheEndWithoutRegardToCase) {
    EXPECT_EQ(SizeToPixels("2.5cm", 0, 300), SizeToPixels("2.5CM", 0, 300));
    EXPECT_EQ(SizeToPixels("2.5Cm", 0, 300), SizeToPixels("2.5cm", 0, 300));
    EXPECT_EQ(SizeToPixels("5in%", 1000, 300), 50) << "the last character decides: percent";
    EXPECT_EQ(SizeToPixels("5%cm", 1000, 254), 500) << "the last two decide: centimetres";
    EXPECT_EQ(SizeToPixels("150%", 333, 0), 499);
    EXPECT_EQ(SizeToPixels("%", 1000, 0), 0);
    EXPECT_EQ(SizeToPixels("-2cm", 0, 72), -56) << "truncated toward zero";
}

TEST(SizeToPixels, PixelsAreTheLeadingWholeNumber) {
    EXPECT_EQ(SizeToPixels("100", 5, 5), 100);
    EXPECT_EQ(SizeToPixels("100px", 5, 5), 100);
    EXPECT_EQ(SizeToPixels("12.7", 5, 5), 12);
    EXPECT_EQ(SizeToPixels("5", 5, 5), 5);
    EXPECT_EQ(SizeToPixels("", 5, 5), 0);
    EXPECT_EQ(SizeToPixels("abc", 5, 5), 0);
    EXPECT_EQ(SizeToPixels("  -7", 5, 5), -7);
}

TEST(SizeToPixels, SizesBeyondThirtyTwoBitsSaturate) {
    EXPECT_EQ(SizeToPixels("99999999999", 10, 10), INT_MAX);
    EXPECT_EQ(SizeToPixels("-99999999999", 10, 10), INT_MIN);
    EXPECT_EQ(SizeToPixels("1e30in", 10, 300), INT_MAX);
    EXPECT_EQ(SizeToPixels("-1e30cm", 10, 300), INT_MIN);
    EXPECT_EQ(SizeToPixels("1e300%", INT_MAX, 0), INT_MAX);
    EXPECT_EQ(SizeToPixels("nan%", 100, 0), 0);
}

TEST(SizeToPixels, WithoutResolutionPhysicalUnitsGiveZero) {
    EXPECT_EQ(SizeToPixels("3in", 100, DotsPerInch(0)), 0);
    EXPECT_EQ(SizeSpecUnit("3IN"), SizeUnit::Inches);
    EXPECT_TRUE(IsPhysicalUnit(SizeSpecUnit("3mm")));
    EXPECT_FALSE(IsPhysicalUnit(SizeSpecUnit("3%")));
    EXPECT_FALSE(IsPhysicalUnit(SizeSpecUnit("3")));
}

TEST(DotsPerInch, WorkedValues) {
    const std::pair<std::uint32_t, int> cases[] = {
        {0, 0},     {1, 1},     {39, 1},      {40, 2},      {2834, 72},
        {2835, 73}, {3780, 97}, {11811, 300}, {23622, 600}, {39370, 1000},
    };
    for (const auto& [dotsPerMetre, dpi] : cases) {
        EXPECT_EQ(DotsPerInch(dotsPerMetre), dpi) << dotsPerMetre << " dots per metre";
    }
    EXPECT_GT(DotsPerInch(UINT32_MAX), 0);
}

TEST(FormatForName, ExtensionsInAnyCase) {
    EXPECT_EQ(FormatForName("a.JPG"), FIF_JPEG);
    EXPECT_EQ(FormatForName("a.Jpeg"), FIF_JPEG);
    EXPECT_EQ(FormatForName("a.PnG"), FIF_PNG);
    EXPECT_EQ(FormatForName("a.BMP"), FIF_BMP);
    EXPECT_EQ(FormatForName(".jpg"), FIF_JPEG);
    EXPECT_EQ(FormatForName("photos/a.jpg"), FIF_JPEG);
    EXPECT_FALSE(FormatForName("jpg"));
    EXPECT_FALSE(FormatForName("a.jpe"));
    EXPECT_FALSE(FormatForName("a.gif"));
    EXPECT_FALSE(FormatForName("a.tif"));
    EXPECT_FALSE(FormatForName("a.jpg/b"));
    EXPECT_FALSE(FormatForName(""));
}

TEST(PictureExtension, IsAViewOfTheBaseNamesLastDot) {
    const std::string path = "/pics/a.b.jpg";
    const std::string_view extension = PictureExtension(path);
    EXPECT_EQ(extension, ".jpg");
    EXPECT_EQ(extension.data(), path.data() + path.size() - 4) << "a view, not a copy";
    EXPECT_EQ(PictureExtension("/pics.old/photo"), "");
    if (platform::kPathsHaveDrives) {
        // Either separator ends a folder.
        EXPECT_EQ(PictureExtension("C:\\pics\\a.b.jpg"), ".jpg");
        EXPECT_EQ(PictureExtension("C:\\pics.old\\photo"), "");
        EXPECT_EQ(PictureExtension("C:\\pics.old/photo"), "");
        EXPECT_EQ(PictureExtension("C:/pics.old\\photo"), "");
    }
    EXPECT_EQ(PictureExtension("photo.JPEG"), ".JPEG");
    EXPECT_EQ(PictureExtension("My.Photo.JPG"), ".JPG");
    EXPECT_EQ(PictureExtension(""), "");
}

TEST(FormatTileName, TwoDigitsAtLeast) {
    EXPECT_EQ(FormatTileName("/pics/photo", 1, 1, ".jpg"), "/pics/photo-01-01.jpg");
    EXPECT_EQ(FormatTileName("My.Photo", 2, 12, ".JPG"), "My.Photo-02-12.JPG");
    EXPECT_EQ(FormatTileName("x", 100, 7, ".png"), "x-100-07.png");
    const std::string longStem(3000, 's');
    EXPECT_EQ(FormatTileName(longStem, 3, 4, ".bmp"), longStem + "-03-04.bmp")
        << "a long name is never cut or overflowed";
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatMessageText(format, args);
    va_end(args);
    return text;
}

TEST(FormatMessageText, CutsAtFiveHundredCharacters) {
    const std::string fits(499, 'a');
    EXPECT_EQ(Format("%s", fits.c_str()), fits);
    const std::string tooLong(500, 'b');
    EXPECT_EQ(Format("%s", tooLong.c_str()), std::string(496, 'b') + " ...");
    const std::string farTooLong(5000, 'c');
    EXPECT_EQ(Format("%s!", farTooLong.c_str()), std::string(496, 'c') + " ...");
    EXPECT_EQ(Format("%s", ""), "");
    EXPECT_EQ(Format("Size %s is %d pixels", "5cm", 141), "Size 5cm is 141 pixels");
}

TEST(Fatal, ThrowsTheFormattedText) {
    try {
        Fatal("Couldn't open input file: %s", "x.jpg");
        FAIL() << "Fatal returned";
    } catch (const FatalError& error) {
        EXPECT_STREQ(error.what(), "Couldn't open input file: x.jpg");
    }
    EXPECT_STREQ(MessageTitle(), "Kerfo Ver 1.12");
}

TEST(CompareNoCase, OrderAndLength) {
    EXPECT_EQ(CompareNoCase("-W", "-w"), 0);
    EXPECT_EQ(CompareNoCase("abc", "ABD"), -1);
    EXPECT_EQ(CompareNoCase("abd", "ABC"), 1);
    EXPECT_LT(CompareNoCase("ab", "abc"), 0);
    EXPECT_GT(CompareNoCase("abc", "ab"), 0);
    EXPECT_EQ(CompareNoCase("", ""), 0);
}

}  // namespace
}  // namespace kerfo
