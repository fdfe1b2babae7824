// A piece's XMP packet: the properties of the picture's size and orientation
// rewritten, every other byte the picture's.

#include <gtest/gtest.h>

#include <string>

#include "formats/xmp.h"

namespace kerfo {
namespace {

// A packet of the description, its padding that many spaces and a line feed.
std::string Packet(const std::string& description, std::size_t padding) {
    return "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta "
           "xmlns:x='adobe:ns:meta/'><rdf:RDF "
           "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>" +
           description + "</rdf:RDF></x:xmpmeta>" +
           (padding > 0 ? std::string(padding, ' ') + "\n" : "") + "<?xpacket end='w'?>";
}

const std::string kExif = " xmlns:exif='http://ns.adobe.com/exif/1.0/'";
const std::string kTiff = " xmlns:tiff='http://ns.adobe.com/tiff/1.0/'";

TEST(PieceXmp, RewritesTheSizesAndOrientationAndKeepsTheRest) {
    struct Case {
        std::string description;
        std::size_t padding;
        std::uint32_t width;
        bool upright;
        std::string expected;
        std::size_t expectedPadding;  // the shorter values' bytes go to the padding
    };
    const std::string exifRdf = "<rdf:Description" + kExif + kTiff;
    const std::vector<Case> cases = {
        {exifRdf + " exif:PixelXDimension='4000' exif:PixelYDimension=\"3000\" tiff:ImageWidth ="
                   " '4000' tiff:ImageLength='3000' tiff:Orientation='6'/>",
         100, 1500, false,
         exifRdf + " exif:PixelXDimension='1500' exif:PixelYDimension=\"12\" tiff:ImageWidth ="
                   " '1500' tiff:ImageLength='12' tiff:Orientation='6'/>",
         104},
        {exifRdf + "><exif:PixelXDimension>4000</exif:PixelXDimension><tiff:ImageLength> 3000 "
                   "</tiff:ImageLength><tiff:Orientation>8</tiff:Orientation></rdf:Description>",
         0, 1500, true,
         exifRdf + "><exif:PixelXDimension>1500</exif:PixelXDimension><tiff:ImageLength> 12 "
                   "</tiff:ImageLength><tiff:Orientation>1</tiff:Orientation></rdf:Description>",
         0},
        // Prefixes as the packet binds them, for the element and inside it;
        // exif and tiff unbound are their usual namespaces.
        {"<rdf:Description xmlns:e='http://ns.adobe.com/exif/1.0/' xmlns:exif='urn:other'><e:"
         "PixelXDimension>4000</e:PixelXDimension><exif:PixelYDimension>3000</"
         "exif:PixelYDimension><d xmlns:p='http://ns.adobe.com/tiff/1.0/'/><p:ImageWidth>4000</"
         "p:ImageWidth></rdf:Description><rdf:Description tiff:Orientation='3' "
         "exif:PixelYDimension='3000'/>",
         5, 1500, true,
         "<rdf:Description xmlns:e='http://ns.adobe.com/exif/1.0/' xmlns:exif='urn:other'><e:"
         "PixelXDimension>1500</e:PixelXDimension><exif:PixelYDimension>3000</"
         "exif:PixelYDimension><d xmlns:p='http://ns.adobe.com/tiff/1.0/'/><p:ImageWidth>4000</"
         "p:ImageWidth></rdf:Description><rdf:Description tiff:Orientation='1' "
         "exif:PixelYDimension='12'/>",
         7},
        // Growth comes out of the padding, as far as it goes.
        {exifRdf + " tiff:ImageWidth='12'/>", 10, 4000, false,
         exifRdf + " tiff:ImageWidth='4000'/>", 8},
        {exifRdf + " tiff:ImageWidth='12'/>", 1, 4000, false, exifRdf + " tiff:ImageWidth='4000'/>",
         0},
        // No number, or no property: left as it is.
        {exifRdf + "><!-- exif:PixelXDimension='4000' --><exif:PixelXDimension><![CDATA[4000]]></"
                   "exif:PixelXDimension><tiff:ImageWidth><rdf:value>4000</rdf:value></"
                   "tiff:ImageWidth><tiff:ImageLength>3e3</tiff:ImageLength></rdf:Description>",
         3, 1500, false, "", 0},
        {exifRdf + " exif:PixelXDimension='4000'>", 3, 1500, false, "", 0},  // never closed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        const std::string expected = c.expected.empty() ? Packet(c.description, c.padding)
                                                        : Packet(c.expected, c.expectedPadding);
        EXPECT_EQ(PieceXmp(Packet(c.description, c.padding), c.width, 12, c.upright), expected);
    }
}

TEST(PieceXmp, APacketThatWouldNoLongerFitAJpegSegmentStaysAsItIs) {
    const std::string short12 = Packet("<rdf:Description tiff:ImageWidth='12'/><!---->", 0);
    const std::string full = Packet("<rdf:Description tiff:ImageWidth='12'/><!--" +
                                        std::string(kLongestJpegXmp - short12.size(), 'x') + "-->",
                                    0);
    ASSERT_EQ(full.size(), kLongestJpegXmp);
    EXPECT_EQ(PieceXmp(full, 4000, 1), full);
    EXPECT_NE(PieceXmp(full, 40, 1), full) << "a value of the same length is written";
}

}  // namespace
}  // namespace kerfo
