#pragma once
// Saving the pieces of a decoded picture: each piece is a view of the loaded
// picture (no copy of its pixels) where that is safe, saved with the
// picture's metadata and colour information, all pieces or none.

#include <vector>

#include "cut/picture_file.h"
#include "cut/piece_set.h"

namespace kerfo {

// A new bitmap holding the rectangle of the given corner and size.
Bitmap CopyRegion(FIBITMAP* bitmap, int left, int top, int width, int height);

// Saves every piece of the picture decoded from file, all or nothing (see
// PieceSet), with quality as the library's save flags, and closes the file
// before the pieces are put in place. The rectangles lie inside the picture.
// A PNG piece of a PNG picture keeps its samples as stored and carries the
// picture's gAMA, cHRM, sRGB and iCCP chunks and its transparent colour (the
// colour read with the picture); a JPEG or BMP piece, formats without gamma,
// gets samples corrected for the usual display gamma, as the library decodes
// them by default (the picture is decoded so a second time). Every piece of a
// format that stores one carries the picture's ICC profile, and a JPEG piece
// the picture's EXIF, made the piece's own (see PieceExif). Ends the run
// through Fatal when a piece can't be saved. With keepInput, no piece may
// replace the input (a grid cut's tiles). An orientation other than 1 says the
// picture was turned upright from it (see TurnedUpright): so is a second
// decoding, and the pieces' metadata says they are upright.
void SaveDecodedPieces(PictureFile& file, Bitmap picture, const PngColour& colour,
                       const std::vector<PieceSpec>& pieces, int quality, bool keepInput,
                       unsigned orientation = 1);

}  // namespace kerfo
