#pragma once
// The XMP packet of a piece: the picture's own, but for what describes the
// picture as a whole.

#include <cstdint>
#include <string>
#include <string_view>

namespace kerfo {

// The XMP packet (its XML text) of a piece of width x height pixels, made
// from the picture's: the same bytes, with the piece's size in the
// properties of the picture's size (exif:PixelXDimension and
// exif:PixelYDimension, tiff:ImageWidth and tiff:ImageLength, written as
// attributes or as elements), and with upright its tiff:Orientation 1 where
// it has one. What can't be read is left as it is.
std::string PieceXmp(std::string_view xmp, std::uint32_t width, std::uint32_t height,
                     bool upright = false);

}  // namespace kerfo
