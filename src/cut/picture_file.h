#pragma once
// Picture files: the format follows the file name's extension (.jpg, .jpeg,
// .bmp or .png, any letter case), and the image library decodes and encodes.

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cut/png_chunks.h"
#include "platform/safe_file.h"

namespace kerfo {

struct UnloadBitmap {
    void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};

// A bitmap of the image library, released with the object.
using Bitmap = std::unique_ptr<FIBITMAP, UnloadBitmap>;

// True when a message of the image library says that pixels were lost: the
// JPEG decoder fills what it couldn't read with grey and only warns. Warnings
// about the markers around the pixels (an ICC profile, the JFIF version, junk
// before the end marker) leave the picture whole. The decoder passes on only
// its first warning, so a damage behind such a warning goes unseen.
bool ReportsDamage(std::string_view message);

// The EXIF segment that a picture carries into its JPEG pieces (the data of an
// APP1 segment: "Exif", two zeros and the TIFF structure), as LoadPicture
// attaches it: a view into the bitmap's metadata, empty when it has none.
std::string_view RawExif(FIBITMAP* bitmap);

// Gives the bitmap that EXIF segment, in place of its own.
void SetRawExif(FIBITMAP* bitmap, std::string_view exif);

// The library's format for a file name by its last characters, or none.
std::optional<FREE_IMAGE_FORMAT> FormatForName(std::string_view path);

// Which samples a PNG is decoded to: as the file stores them, or corrected for
// the usual display gamma (2.2) as the file's gAMA chunk asks. Other formats
// have one kind.
enum class Samples { AsStored, ForDisplay };

// Loads the picture, with the ICC profile it embeds attached (a PNG's and a
// BMP's too, which the library leaves out; a CMYK profile is dropped, since
// the library decodes CMYK to RGB). A BMP is read by the program itself (see
// cut/bmp_file.h); a grey or RGB PNG's transparent colour is kept from the
// library, which would make an alpha channel of it, so that the samples are
// those stored (PieceSet::Save gives PNG pieces the colour back). Ends the run through Fatal
// ("Couldn't open input file: %s", with the reason on the next line where there is one) when the
// name has no supported extension, the file is missing or no regular file, its header claims more
// pixels than the file can hold or the memory available takes, or the library can't read it or
// reports it damaged.
Bitmap LoadPicture(const char* path, Samples samples = Samples::AsStored);

// The colour chunks of a PNG file; none when it can't be read.
PngColour ReadPngColourOf(const char* path);

// The same checks and load for a picture file held in memory (the fuzz
// target's way in); name stands for the file in messages, and availableMemory
// stands for the memory the process can still have.
Bitmap LoadPictureFromMemory(const unsigned char* data, std::size_t size, FREE_IMAGE_FORMAT format,
                             const char* name, std::optional<std::uint64_t> availableMemory);

// The pieces of one job, saved all or nothing. Every name is checked before
// anything is written; each piece goes to a temporary file beside its target
// as soon as it is cut (so the bitmap can be released), and only when every
// piece is saved are they all renamed over their targets. On any failure the
// temporary files are removed and no target is touched.
class PieceSet {
  public:
    // Checks the names, ending the run through Fatal unless each ends in a
    // picture extension ("Save: file (%s) - must end in .jpg, .jpeg or .bmp"),
    // none is a folder or a file that can't be replaced (read-only, immutable,
    // another user's in a sticky folder) and no two name the same file; nor the
    // file kept, when one is given (the picture of a grid cut, which stays as
    // it is).
    explicit PieceSet(std::vector<std::string> names, const char* kept = nullptr);

    const std::string& Name(std::size_t index) const { return names_[index]; }
    FREE_IMAGE_FORMAT Format(std::size_t index) const { return formats_[index]; }

    // Saves bitmap as piece index in the format its name gives, with flags as
    // the library's save options (for JPEG, the quality). A picture whose
    // pixels the format cannot hold is converted first, keeping its ICC
    // profile. A PNG piece of a PNG picture gets that picture's colour chunks
    // and transparent colour (see PngChunkInserter). Ends the run through
    // Fatal when it cannot be written.
    void Save(std::size_t index, FIBITMAP* bitmap, int flags, const PngColour* pngColour = nullptr);

    // Saves as piece index what write writes to the stream it is given.
    // write returns 0, or the errno value of a write that failed; it may also
    // end the run through Fatal, which leaves no trace of the piece.
    void SaveWith(std::size_t index, const std::function<int(std::FILE*)>& write);

    // Puts every saved piece in place. Ends the run through Fatal when one
    // can't be, saying which were.
    void Commit();

  private:
    std::vector<std::string> names_;
    std::vector<FREE_IMAGE_FORMAT> formats_;
    std::vector<std::unique_ptr<platform::ReplacementFile>> files_;
};

// Saves one picture as a set of one piece. Returns true; ends the run through
// Fatal when it cannot be written.
bool SavePicture(FIBITMAP* bitmap, const char* path, int flags);

// The extension of the path's base name: a view into path from the base name's
// last dot to its end, or an empty view when the base name has no dot.
std::string_view PictureExtension(std::string_view path);

}  // namespace kerfo
