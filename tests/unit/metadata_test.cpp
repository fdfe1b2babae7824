// A piece's XMP packet: the properties of the picture's size and orientation
// rewritten, every other byte the picture's.

#include <gtest/gtest.h>

#include <string>

#include "formats/xmp.h"

namespace kerfo {
namespace {

// A packet of the description, its padding that many spaces and a line feed;
// $w, $h and $o stand for the width, height and orientation given.
std::string Packet(std::string description, std::size_t padding, const std::string& width,
                   const std::string& height, const std::string& orientation) {
    for (const auto& [name, value] :
         {std::pair{"$w", width}, {"$h", height}, {"$o", orientation}}) {
        for (std::size_t at; (at = description.find(name)) != std::string::npos;) {
            description.replace(at, 2, value);
        }
    }
    return "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
           "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>" +
           description + "</rdf:RDF></x:xmpmeta>" +
           (padding > 0 ? std::string(padding, ' ') + "\n" : "") + "<?xpacket end='w'?>";
}

TEST(PieceXmp, RewritesTheSizesAndOrientationAndKeepsTheRest) {
    const std::string rdf =
        "<rdf:Description xmlns:exif='http://ns.adobe.com/exif/1.0/' "
        "xmlns:tiff='http://ns.adobe.com/tiff/1.0/'";
    struct Case {
        std::string description;  // of a picture of 4000 x 3000, orientation 6
        std::size_t padding;
        std::uint32_t width;  // of a piece 12 high
        bool upright;
        std::size_t piecePadding;  // shorter values give their bytes to the padding
    };
    const std::vector<Case> cases = {
        {rdf + " exif:PixelXDimension='$w' exif:PixelYDimension=\"$h\" tiff:ImageWidth = '$w' "
               "tiff:ImageLength='$h' tiff:Orientation='$o'/>",
         100, 1500, false, 104},
        {rdf + "><exif:PixelXDimension>$w</exif:PixelXDimension><tiff:ImageLength> $h "
               "</tiff:ImageLength><tiff:Orientation>$o</tiff:Orientation></rdf:Description>",
         0, 1500, true, 0},
        // Prefixes as the packet binds them, for the element and inside it;
        // exif and tiff unbound are their usual namespaces.
        {"<rdf:Description xmlns:e='http://ns.adobe.com/exif/1.0/' xmlns:exif='urn:other'>"
         "<e:PixelXDimension>$w</e:PixelXDimension><exif:PixelYDimension>3000</"
         "exif:PixelYDimension>"
         "<d xmlns:p='http://ns.adobe.com/tiff/1.0/'/><p:ImageWidth>4000</p:ImageWidth>"
         "</rdf:Description><rdf:Description tiff:Orientation='$o' exif:PixelYDimension='$h'/>",
         5, 1500, true, 7},
        // Growth comes out of the padding, as far as it goes.
        {rdf + " tiff:ImageWidth='$w'/>", 10, 400000, false, 8},
        {rdf + " tiff:ImageWidth='$w'/>", 1, 400000, false, 0},
        // No number, no property, or never closed: left as it is.
        {rdf + "><!-- exif:PixelXDimension='4000' --><exif:PixelXDimension><![CDATA[4000]]></"
               "exif:PixelXDimension><tiff:ImageWidth><rdf:value>4000</rdf:value></"
               "tiff:ImageWidth><tiff:ImageLength>3e3</tiff:ImageLength></rdf:Description>",
         3, 1500, false, 3},
        {rdf + " exif:PixelXDimension='4000'>", 3, 1500, false, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(
            PieceXmp(Packet(c.description, c.padding, "4000", "3000", "6"), c.width, 12, c.upright),
            Packet(c.description, c.piecePadding, std::to_string(c.width), "12",
                   c.upright ? "1" : "6"));
    }
}

TEST(PieceXmp, APacketThatWouldNoLongerFitAJpegSegmentStaysAsItIs) {
    const std::string start = "<rdf:Description tiff:ImageWidth='$w'/><!--";
    const std::size_t filler = kLongestJpegXmp - Packet(start + "-->", 0, "12", "", "").size();
    const std::string full = Packet(start + std::string(filler, 'x') + "-->", 0, "12", "", "");
    ASSERT_EQ(full.size(), kLongestJpegXmp);
    EXPECT_EQ(PieceXmp(full, 4000, 1), full);
    EXPECT_NE(PieceXmp(full, 40, 1), full) << "a value of the same length is written";
}

}  // namespace
}  // namespace kerfo
