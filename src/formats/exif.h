#pragma once
// The EXIF of a piece: the picture's own, tag for tag (orientation, camera,
// dates, GPS, resolution), but for what describes the picture as a whole: its
// size in pixels, and the embedded thumbnail, which shows the whole picture
// and so goes with no piece.

#include <cstdint>
#include <string>
#include <string_view>

namespace kerfo {

// The EXIF segment of a piece of width x height pixels, made from the
// picture's segment exif (the data of an APP1 segment: "Exif", two zeros and
// the TIFF structure): the same bytes, with the piece's size in the tags of
// the picture's size (PixelXDimension and PixelYDimension of the EXIF
// directory, ImageWidth and ImageLength where the first directory has them;
// each a SHORT or a LONG of one number, or of two as some cameras write them,
// where a second number that repeats the first gets the piece's size too; a
// size beyond a SHORT makes a SHORT entry a LONG where the entry holds its
// value, and leaves it as it is otherwise), and without the thumbnail: the
// first directory links to no second one, and the second directory and the
// thumbnail's data are cut off the end of the segment where nothing else
// follows them, or else overwritten with zeros. What can't be read of the
// structure is left as it is.
// With upright, the piece is shown as it is stored: its Orientation (a SHORT
// of the first directory, where it has one) says 1.
std::string PieceExif(std::string_view exif, std::uint32_t width, std::uint32_t height,
                      bool upright = false);

// The Orientation of an EXIF segment (as above): how a viewer turns the
// stored picture to show it, 1 (as stored) to 8, from its first directory; 1
// where it has none or one out of that range.
unsigned ExifOrientation(std::string_view exif);

// Writes the piece's size into an EXIF segment (as above) as libjpeg-turbo's
// lossless crop writes it into the picture's first segment (transupp.c's
// adjust_exif_parameters), so that lossless pieces match that crop byte for
// byte: PixelXDimension and PixelYDimension of the EXIF directory, each made
// a LONG of the size's low 16 bits, found only where the first directory's
// and the EXIF directory's offsets are below 65536. Changes exif in place.
void SetCropExifSize(std::string& exif, std::uint32_t width, std::uint32_t height);

}  // namespace kerfo
