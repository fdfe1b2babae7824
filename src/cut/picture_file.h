#pragma once
// Picture files and the image library: the format follows the file name's
// extension (.jpg, .jpeg, .bmp or .png, any letter case); a picture is
// checked by the readers in formats/ before the library decodes it, and the
// library encodes the pieces.

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/bitmap.h"
#include "formats/bytes.h"
#include "formats/picture_claim.h"
#include "formats/png_chunks.h"

namespace kerfo {

// True when a message of the image library says that pixels were lost: the
// JPEG decoder fills what it couldn't read with grey and only warns. Warnings
// about the markers around the pixels (an ICC profile, the JFIF version, junk
// before the end marker) leave the picture whole. The decoder passes on only
// its first warning, so a damage behind such a warning goes unseen.
bool ReportsDamage(std::string_view message);

// The EXIF segment that a picture carries into its JPEG pieces (the data of an
// APP1 segment: "Exif", two zeros and the TIFF structure), as a load attaches
// it: a view into the bitmap's metadata, empty when it has none.
std::string_view RawExif(FIBITMAP* bitmap);

// Gives the bitmap that EXIF segment, in place of its own.
void SetRawExif(FIBITMAP* bitmap, std::string_view exif);

// The XMP packet that a picture carries into its JPEG and PNG pieces, as the
// library reads it from a JPEG's APP1 segment or a PNG's iTXt chunk: a view
// into the bitmap's metadata, empty when it has none.
std::string_view XmpPacket(FIBITMAP* bitmap);

// Gives the bitmap that XMP packet, in place of its own.
void SetXmpPacket(FIBITMAP* bitmap, std::string_view xmp);

// The library's format for a file name by its last characters, or none.
std::optional<FREE_IMAGE_FORMAT> FormatForName(std::string_view path);

// The extension of the path's base name: a view into path from the base name's
// last dot to its end, or an empty view when the base name has no dot.
std::string_view PictureExtension(std::string_view path);

// Which samples a PNG is decoded to: as the file stores them, or corrected for
// the usual display gamma (2.2) as the file's gAMA chunk asks. Other formats
// have one kind.
enum class Samples { AsStored, ForDisplay };

// What a job needs to know of a picture: its size and resolution, and the
// grid that its pieces start on (see cut/block_grid.h): a JPEG's MCU for a
// lossless cut, one pixel for a decoded picture.
struct PictureFacts {
    unsigned width = 0;
    unsigned height = 0;
    std::uint32_t dotsPerMeterX = 0;
    std::uint32_t dotsPerMeterY = 0;
    int blockWidth = 1;
    int blockHeight = 1;
};

// Ends the run through Fatal with "Couldn't open input file: %s", and the
// reason on the next line where there is one.
[[noreturn]] void RefuseInput(const char* path, const std::string& reason);

// A picture to load: its bytes for the header checks, and the library's way
// of reading them.
class PictureInput : public ByteSource {
  public:
    virtual FreeImageIO* IO() = 0;
    virtual fi_handle Handle() = 0;
    bool Rewind() { return IO()->seek_proc(Handle(), 0, SEEK_SET) == 0; }
    // The bytes that the library gets changed as it reads.
    virtual void Hide(const std::vector<BytePatch>* patches) = 0;
};

// A picture file opened for reading, closed with the object or by Close.
class PictureFile {
  public:
    // Opens the picture. Ends the run through Fatal when the name has no
    // supported extension ("Input file: %s - must end in .jpg or .jpeg") or
    // the file is missing or no regular file (see RefuseInput). A memory
    // limit stands for the memory the process can still have in the checks
    // of Load.
    explicit PictureFile(const char* path, std::optional<std::uint64_t> memoryLimit = std::nullopt);
    ~PictureFile();
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

    const std::string& Path() const { return path_; }
    FREE_IMAGE_FORMAT Format() const { return format_; }
    // The file's bytes and stream, until Close.
    PictureInput& Input() { return *input_; }
    std::FILE* Stream() const;

    // Checks the header and decodes the picture, as LoadPicture does; the PNG
    // colour chunks read on the way go to colour unless that is null.
    Bitmap Load(Samples samples, PngColour* colour = nullptr);

    // Closes the file, once every read of it is done: a piece may then
    // replace it, also where an open file can't be replaced (Windows).
    void Close();

  private:
    std::string path_;
    FREE_IMAGE_FORMAT format_;
    std::unique_ptr<PictureInput> input_;
    std::optional<std::uint64_t> memoryLimit_;
};

// Loads the picture, with the ICC profile it embeds attached (a PNG's and a
// BMP's too, which the library leaves out; a CMYK profile is dropped, since
// the library decodes CMYK to RGB). A BMP is read by the program itself (see
// formats/bmp_file.h); a grey or RGB PNG's transparent colour is kept from the
// library, which would make an alpha channel of it, so that the samples are
// those stored (PieceSet::Save gives PNG pieces the colour back). Ends the run
// through Fatal ("Couldn't open input file: %s", with the reason on the next
// line where there is one) when the name has no supported extension, the file
// is missing or no regular file, its header claims more pixels than the file
// can hold or the memory available takes, or the library can't read it or
// reports it damaged.
Bitmap LoadPicture(const char* path, Samples samples = Samples::AsStored);

// The bitmap as a viewer shows a picture of that EXIF orientation (1 to 8):
// turned and mirrored, with its metadata, ICC profile and resolution (its
// two dots per metre swapped where it turns a quarter); the bitmap itself for
// orientation 1. Ends the run through Fatal when memory runs out.
Bitmap TurnedUpright(Bitmap bitmap, unsigned orientation);

// Encodes bitmap to stream in format, with flags as the library's save options
// (for JPEG, the quality). A picture whose pixels the format cannot hold is
// converted first, keeping its ICC profile. A PNG gets colour's chunks and
// transparent colour where colour is given (see PngChunkInserter). Ends the
// run through Fatal ("Couldn't save %s: ...", with name) when the library
// can't write it or a byte fails to reach the stream.
void EncodePicture(std::FILE* stream, FIBITMAP* bitmap, FREE_IMAGE_FORMAT format, int flags,
                   const PngColour* colour, const char* name);

}  // namespace kerfo
