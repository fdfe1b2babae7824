#pragma once
// What a picture file's header claims, read before a single pixel is decoded,
// and whether the file can plausibly hold it. A few hundred bytes can claim a
// picture of many gigabytes; such a file is refused before the image library
// reserves the memory and spends the time to decode it.

#include <FreeImage.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/bytes.h"

namespace kerfo {

struct PictureClaim {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // The smallest file that can hold that many pixels in the header's coding;
    // 0 when the coding has no such bound.
    std::uint64_t leastFileSize = 0;
    // Bits per pixel of the bitmap the library decodes it into; 0 when the
    // header alone doesn't tell.
    unsigned bitsPerPixel = 0;
    // Memory the decoder needs besides the bitmap (a progressive JPEG keeps
    // every coefficient of the picture).
    std::uint64_t decoderBytes = 0;
    // JPEG only: the memory all the picture's coefficients take, as a lossless
    // cut reads them.
    std::uint64_t coefficientBytes = 0;
    // Scans of a progressive JPEG; each one is decoded over the whole picture.
    unsigned scans = 0;
    // JPEG only: its resolution in dots per metre as the library reads it
    // from the JFIF header (0 without one).
    std::uint32_t dotsPerMeterX = 0;
    std::uint32_t dotsPerMeterY = 0;
    // A JPEG's scans, as the coefficients of every block that they go over,
    // added up; the decoder passes over them all, even where a scan holds no
    // data. Its frame's coefficients, and how often a picture may need to go
    // over them: once in a sequential JPEG, and in a progressive one in a
    // first scan and at most 13 refinements.
    std::uint64_t coefficientPasses = 0;
    std::uint64_t coefficients = 0;
    unsigned mostPasses = 1;
    // A JPEG that ends before its end marker: its last scan is cut short, or
    // the decoder's only warning about it could be hidden behind another.
    bool cutShort = false;
    // Why the file must be refused for what its header holds besides the
    // picture (the text chunks the library would inflate); empty when nothing
    // of it must.
    std::string refusal;
    // What the library is kept from as it reads the file: a JPEG's segments
    // (EXIF, JFXX) whose first byte is changed so that it doesn't parse them,
    // and a PNG's single transparent colour (see PngColour). And a JPEG's
    // last EXIF segment's data, to be handed to it whole instead.
    std::vector<BytePatch> hiddenFromLibrary;
    std::uint64_t exifOffset = 0;
    std::uint64_t exifLength = 0;
};

// The most scans a progressive JPEG may have; every one of them costs a pass
// over the whole picture, and real encoders write about ten.
constexpr unsigned kMaxJpegScans = 500;

// What the header of a JPEG, PNG or BMP file claims (see ReadJpegClaim,
// ReadPngClaim and ReadBmpClaim); none when the header can't be read. The
// markers and chunks are read as the image library reads them, so that it
// can't find another size than the one checked; where it would read no size
// either, it says what is wrong with the file.
std::optional<PictureClaim> ReadPictureClaim(FREE_IMAGE_FORMAT format, ByteSource& source);

// True when a file that yields no claim must be refused all the same: it begins
// as a file of its format, and the library might read a size from it that was
// never checked.
bool NeedsClaim(FREE_IMAGE_FORMAT format, ByteSource& source);

// The bytes a bitmap of the claimed size takes at bitsPerPixel, rows padded to
// four bytes as the library pads them; saturates instead of overflowing.
std::uint64_t BitmapBytes(std::uint32_t width, std::uint32_t height, unsigned bitsPerPixel);

// Why a picture with this claim must not be decoded, or none when it may be:
// the file is too small for the pixels, or the pixels and the decoder's needs
// don't fit in availableMemory (none: unknown, no limit).
std::optional<std::string> RefusalOfClaim(const PictureClaim& claim, std::uint64_t fileSize,
                                          std::optional<std::uint64_t> availableMemory);

}  // namespace kerfo
