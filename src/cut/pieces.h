#pragma once
// Saving the pieces of a picture: each piece is a view of the loaded picture
// (no copy of its pixels), saved with the picture's metadata and colour
// information, all pieces or none.

#include <string>
#include <vector>

#include "cut/picture_file.h"

namespace kerfo {

// A rectangle of the picture and the name it is saved under.
struct PieceSpec {
    std::string name;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Saves every piece of the picture loaded from input, all or nothing (see
// PieceSet), with quality as the library's save flags. The rectangles lie
// inside the picture. A PNG piece of a PNG picture keeps its samples as stored
// and carries the picture's gAMA, cHRM, sRGB and iCCP chunks and its
// transparent colour; a JPEG or BMP piece, formats without gamma, gets samples
// corrected for the usual display gamma, as the library decodes them by
// default. Every piece of a format that stores one carries the picture's ICC
// profile, and a JPEG piece the picture's EXIF, made the piece's own (see
// PieceExif). Ends the run through Fatal when a piece can't be saved.
// With keepInput, no piece may replace the input (a grid cut's tiles).
void SavePieces(const char* input, Bitmap picture, const std::vector<PieceSpec>& pieces,
                int quality, bool keepInput = false);

}  // namespace kerfo
