#pragma once
// Picture files: the format follows the file name's extension (.jpg, .jpeg,
// .bmp or .png, any letter case), and the image library decodes and encodes.

#include <FreeImage.h>

#include <memory>
#include <optional>
#include <string_view>

namespace kerfo {

struct UnloadBitmap {
    void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};

// A bitmap of the image library, released with the object.
using Bitmap = std::unique_ptr<FIBITMAP, UnloadBitmap>;

// The library's format for a file name by its last characters, or none.
std::optional<FREE_IMAGE_FORMAT> FormatForName(std::string_view path);

// Loads the picture. Ends the run through Fatal when the name has no supported
// extension or the library cannot read the file.
Bitmap LoadPicture(const char* path);

// Saves the bitmap in the format its name gives, with flags as the library's
// save options (for JPEG, the quality). A picture whose pixels the format
// cannot hold is converted first. The file is replaced only once it has been
// written whole. Returns true; ends the run through Fatal when the name has no
// supported extension or the picture cannot be written.
bool SavePicture(FIBITMAP* bitmap, const char* path, int flags);

// The extension of the path's base name: a view into path from the base name's
// last dot to its end, or an empty view when the base name has no dot.
std::string_view PictureExtension(std::string_view path);

}  // namespace kerfo
