#pragma once
// BMP files, read by the program itself: the image library reads only the
// 40-byte header, takes a 32-bit BMP's fourth byte for alpha even where it is 0 throughout, reads
// colour masks as its own few layouts, and decodes damaged run-length data into whatever it makes
// of it. Here every header is read (OS/2 1.x and 2.x, Windows 3 to V5), palettes of 1, 2, 4 and 8
// bits, rows stored bottom or top first, colour masks as the file gives them, and run-length data
// with its damage found.

#include <FreeImage.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/bitmap.h"
#include "formats/bytes.h"
#include "formats/picture_claim.h"

namespace kerfo {

struct BmpLayout {
    // Why the program can't read the file's pixels; empty when it can.
    std::string refusal;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool topFirst = false;
    unsigned bitsPerPixel = 0;  // in the file
    enum class Coding { Rows, RunLength8, RunLength4 } coding = Coding::Rows;
    std::uint64_t pixelOffset = 0;
    std::uint64_t headerEnd = 0;  // of the headers, masks and palette
    // The colours of a picture of 8 bits or fewer; the masks of red, green,
    // blue and alpha (0: none) of one of 16 or 32 bits.
    std::vector<RGBQUAD> palette;
    std::array<std::uint32_t, 4> masks{};
    // A 32-bit picture without masks: its fourth byte is alpha, unless it is 0
    // in every pixel, as where it is unused (screenshots, the clipboard); the
    // alpha mask is set, and DecodeBmp drops it for such a picture.
    bool alphaUnlessAllClear = false;
    std::uint32_t dotsPerMeterX = 0;
    std::uint32_t dotsPerMeterY = 0;
    // A V5 header's embedded ICC profile, where it lies in the file.
    std::uint64_t profileOffset = 0;
    std::uint32_t profileSize = 0;
    // The bitmap the pixels are decoded into: its type and bits per pixel.
    FREE_IMAGE_TYPE type = FIT_BITMAP;
    unsigned bitmapBits = 0;
};

// The layout that a BMP file's headers give; none when they can't be read (no
// BMP, or a header too damaged to tell the picture's size).
std::optional<BmpLayout> ReadBmpLayout(ByteSource& source);

// What a BMP's headers claim: the info header's size, depth and compression.
// An uncompressed BMP holds every row; run-length data can skip 255 columns
// and 255 rows in 4 bytes at most. None when the headers can't be read.
std::optional<PictureClaim> ReadBmpClaim(ByteSource& source);

struct DecodedBmp {
    Bitmap bitmap;       // none when refused
    std::string damage;  // why it is refused
};

// Decodes the pixels of a layout without a refusal into a bitmap with the
// file's resolution and embedded profile: palette pictures into palette
// bitmaps (2 bits into 8), others into 24 bits, 32 with an alpha mask, or 16
// bits a channel where a mask is wider than 8 bits. Run-length data that runs
// past a row or the picture, or ends before the picture does, is refused.
DecodedBmp DecodeBmp(ByteSource& source, const BmpLayout& layout);

}  // namespace kerfo
