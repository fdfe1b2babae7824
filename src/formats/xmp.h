#pragma once
// The XMP packet of a piece: the picture's own, but for what describes the
// picture as a whole.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kerfo {

// The longest XMP packet that one APP1 segment of a JPEG holds: 65533 bytes
// of data, less the 29 of the namespace that starts them.
constexpr std::size_t kLongestJpegXmp = 65533 - 29;

// The XMP packet (its XML text) of a piece of width x height pixels, made
// from the picture's: the same bytes, with the piece's size in the
// properties of the picture's size (exif:PixelXDimension and
// exif:PixelYDimension, tiff:ImageWidth and tiff:ImageLength, written as
// attributes or as elements, their prefixes as the packet binds those
// namespaces), and with upright its tiff:Orientation 1 where it has one.
// Where the packet has padding (spaces before its <?xpacket end=...?>
// trailer), a value longer or shorter than the picture's takes its bytes
// from the padding or gives them to it, so that the packet keeps its length
// as far as the padding goes. A packet that would grow beyond what it was
// and beyond kLongestJpegXmp, and one that can't be read, are left as they
// are.
std::string PieceXmp(std::string_view xmp, std::uint32_t width, std::uint32_t height,
                     bool upright = false);

}  // namespace kerfo
