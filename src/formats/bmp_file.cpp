// BMP files read without the image library.
//
// A BMP file:
//   file   = file header (14 bytes: "BM", file size, 2 reserved, pixel offset)
//            info header (its size first: 12 OS/2 1.x, 16 to 64 OS/2 2.x,
//            40 Windows 3, 52 and 56 with masks, 108 V4, 124 V5)
//            [colour masks, for BITFIELDS after a 40-byte header] [palette]
//            pixels (at the pixel offset: rows padded to 4 bytes, bottom row
//            first unless the height is negative; or RLE8/RLE4 codes)
//            [a V5 header's ICC profile, where its offset says]
// A file has one of each header; there is nothing a file can hold twice.

#include "formats/bmp_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace kerfo {
namespace {

// The compressions an info header names.
constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRunLength8 = 1;
constexpr std::uint32_t kRunLength4 = 2;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kJpeg = 4;
constexpr std::uint32_t kPng = 5;
constexpr std::uint32_t kAlphaBitFields = 6;

// A V5 header's colour space "MBED": the profile is in the file.
constexpr std::uint32_t kEmbeddedProfile = 0x4D424544;

// The largest embedded profile taken, as for a PNG's.
constexpr std::uint32_t kMostProfileBytes = 8000000;

unsigned CountBits(std::uint32_t mask) {
    unsigned bits = 0;
    for (; mask != 0; mask &= mask - 1) {
        ++bits;
    }
    return bits;
}

unsigned LowestBit(std::uint32_t mask) {
    unsigned shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

// Whether the masks are fields of their own within pixels of that many bits:
// each a run of set bits, no two sharing one, and some colour among them.
bool MasksAreFields(const std::array<std::uint32_t, 4>& masks, unsigned bits) {
    std::uint32_t all = 0;
    for (const std::uint32_t mask : masks) {
        const std::uint32_t field = mask >> LowestBit(mask);
        if ((bits < 32 && (mask >> bits) != 0) || (field & (field + 1)) != 0 || (all & mask) != 0) {
            return false;
        }
        all |= mask;
    }
    return (masks[0] | masks[1] | masks[2]) != 0;
}

std::string Formatted(const char* format, unsigned a, unsigned b = 0) {
    char text[200];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

// Why a compression and depth can't be read; empty when they can.
std::string CodingRefusal(std::uint32_t compression, unsigned bits, bool os2) {
    if (os2 && compression == 3) {
        return "Its pixels are coded with OS/2's Huffman coding, which Kerfo can't read.";
    }
    if (os2 && compression == 4) {
        return "Its pixels are coded with OS/2's 24-bit run-length coding, which Kerfo can't read.";
    }
    switch (compression) {
        case kRgb:
            if (bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 ||
                bits == 32) {
                return {};
            }
            return Formatted("Kerfo can't read BMP pixels of %u bits.", bits);
        case kRunLength8:
        case kRunLength4:
        case kBitFields:
        case kAlphaBitFields: {
            const bool fits = compression == kRunLength8   ? bits == 8
                              : compression == kRunLength4 ? bits == 4
                                                           : bits == 16 || bits == 32;
            return fits ? std::string()
                        : Formatted(
                              "Its header is damaged: compression %u doesn't go with "
                              "%u-bit pixels.",
                              compression, bits);
        }
        case kJpeg:
            return "Its pixels are a JPEG picture inside the BMP, which Kerfo can't read.";
        case kPng:
            return "Its pixels are a PNG picture inside the BMP, which Kerfo can't read.";
        default:
            return Formatted("Its pixels are coded in a way Kerfo doesn't know (compression %u).",
                             compression);
    }
}

// Scales one colour field of a pixel to 8 or 16 bits, as a decoder spreads
// its values over the whole range; a field wider than that keeps its top bits.
class Field {
  public:
    Field(std::uint32_t mask, unsigned outBits)
        : mask_(mask), shift_(LowestBit(mask)), bits_(CountBits(mask)) {
        if (bits_ > outBits) {
            drop_ = bits_ - outBits;
        } else if (bits_ > 0) {
            const std::uint64_t most = (std::uint64_t{1} << bits_) - 1;
            const std::uint64_t out = (std::uint64_t{1} << outBits) - 1;
            table_.resize(static_cast<std::size_t>(most) + 1);
            for (std::uint64_t v = 0; v <= most; ++v) {
                table_[static_cast<std::size_t>(v)] =
                    static_cast<std::uint16_t>((v * out + most / 2) / most);
            }
        }
    }
    std::uint32_t operator()(std::uint32_t pixel) const {
        if (bits_ == 0) {
            return 0;  // a colour the pixels don't have
        }
        const std::uint32_t value = (pixel & mask_) >> shift_;
        return table_.empty() ? value >> drop_ : table_[value];
    }

  private:
    std::uint32_t mask_;
    unsigned shift_;
    unsigned bits_;
    unsigned drop_ = 0;
    std::vector<std::uint16_t> table_;
};

// Converts one row of pixels as the file stores them into the bitmap's row.
void ConvertRow(const BmpLayout& layout, const std::vector<Field>& fields, const unsigned char* row,
                BYTE* line) {
    const std::uint32_t width = layout.width;
    const unsigned bits = layout.bitsPerPixel;
    if (bits == 2) {
        for (std::uint32_t x = 0; x < width; ++x) {
            line[x] = static_cast<BYTE>(row[x / 4] >> (6 - 2 * (x % 4)) & 3);
        }
        return;
    }
    if (bits <= 8 || bits == 24) {
        std::memcpy(line, row, (static_cast<std::size_t>(width) * bits + 7) / 8);
        return;
    }
    const bool alpha = layout.masks[3] != 0;
    for (std::uint32_t x = 0; x < width; ++x) {
        const std::uint32_t pixel =
            bits == 16 ? LittleEndian16(row + 2 * x) : LittleEndian32(row + 4 * std::size_t{x});
        if (layout.type == FIT_BITMAP) {
            BYTE* out = line + static_cast<std::size_t>(x) * (alpha ? 4 : 3);
            out[FI_RGBA_RED] = static_cast<BYTE>(fields[0](pixel));
            out[FI_RGBA_GREEN] = static_cast<BYTE>(fields[1](pixel));
            out[FI_RGBA_BLUE] = static_cast<BYTE>(fields[2](pixel));
            if (alpha) {
                out[FI_RGBA_ALPHA] = static_cast<BYTE>(fields[3](pixel));
            }
        } else if (alpha) {
            FIRGBA16& out = reinterpret_cast<FIRGBA16*>(line)[x];
            out = {static_cast<WORD>(fields[0](pixel)), static_cast<WORD>(fields[1](pixel)),
                   static_cast<WORD>(fields[2](pixel)), static_cast<WORD>(fields[3](pixel))};
        } else {
            FIRGB16& out = reinterpret_cast<FIRGB16*>(line)[x];
            out = {static_cast<WORD>(fields[0](pixel)), static_cast<WORD>(fields[1](pixel)),
                   static_cast<WORD>(fields[2](pixel))};
        }
    }
}

// Whether any pixel of an uncompressed 32-bit BMP has a fourth byte other than
// 0. A file cut short is left for the decoding to refuse.
bool AnyFourthByteSet(ByteSource& source, const BmpLayout& layout) {
    const std::uint64_t stride = std::uint64_t{layout.width} * 4;
    std::vector<unsigned char> row(static_cast<std::size_t>(stride));
    for (std::uint32_t r = 0; r < layout.height; ++r) {
        if (!ReadExactly(source, layout.pixelOffset + r * stride, row.data(), row.size())) {
            return false;
        }
        for (std::size_t x = 3; x < row.size(); x += 4) {
            if (row[x] != 0) {
                return true;
            }
        }
    }
    return false;
}

// Reads the rows of an uncompressed BMP, each padded to four bytes.
std::string DecodeRows(ByteSource& source, const BmpLayout& layout, FIBITMAP* bitmap) {
    const unsigned outBits = layout.type == FIT_BITMAP ? 8 : 16;
    std::vector<Field> fields;
    for (std::size_t i = 0; i < 4; ++i) {
        fields.emplace_back(layout.masks[i], outBits);
    }
    const std::uint64_t rowBits = std::uint64_t{layout.width} * layout.bitsPerPixel;
    const std::uint64_t stride = (rowBits + 31) / 32 * 4;
    std::vector<unsigned char> row(static_cast<std::size_t>((rowBits + 7) / 8));
    for (std::uint32_t r = 0; r < layout.height; ++r) {
        if (!ReadExactly(source, layout.pixelOffset + r * stride, row.data(), row.size())) {
            return "It is cut short: its rows end before the picture does.";
        }
        const std::uint32_t y = layout.topFirst ? layout.height - 1 - r : r;
        ConvertRow(layout, fields, row.data(), FreeImage_GetScanLine(bitmap, static_cast<int>(y)));
    }
    return {};
}

// Decodes run-length data, rows bottom first: runs of one value (of two
// alternating ones in 4 bits), runs of values as they stand, moves, ends of
// rows and the end of the picture. Pixels that the data skips keep colour 0.
// A run may reach into the padding of the row as it would be stored
// uncompressed (ImageMagick codes that too), whose pixels are dropped.
std::string DecodeRunLength(ByteSource& source, const BmpLayout& layout, FIBITMAP* bitmap) {
    const bool four = layout.coding == BmpLayout::Coding::RunLength4;
    const std::uint32_t width = layout.width;
    const std::uint32_t height = layout.height;
    const std::uint64_t rowEnd =
        (std::uint64_t{width} * layout.bitsPerPixel + 31) / 32 * 32 / layout.bitsPerPixel;
    const std::string pastRow = "Its run-length data runs past the end of a row.";
    const std::string pastPicture = "Its run-length data runs past the end of the picture.";
    const std::string cutShort =
        "It is cut short: its run-length data ends before the picture does.";
    ForwardReader reader(source);
    reader.Seek(layout.pixelOffset);
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    auto put = [&](unsigned index) {
        BYTE* line = FreeImage_GetScanLine(bitmap, static_cast<int>(y));
        if (x >= width) {
            // the padding
        } else if (!four) {
            line[x] = static_cast<BYTE>(index);
        } else if (x % 2 == 0) {
            line[x / 2] = static_cast<BYTE>((line[x / 2] & 0x0F) | index << 4);
        } else {
            line[x / 2] = static_cast<BYTE>((line[x / 2] & 0xF0) | index);
        }
        ++x;
    };
    for (;;) {
        unsigned char count = 0;
        unsigned char value = 0;
        if (!reader.Next(count)) {
            // Data that ends with the last row done lacks only its end mark.
            return y == height || (y + 1 == height && x >= width) ? std::string() : cutShort;
        }
        if (!reader.Next(value)) {
            return cutShort;
        }
        if (count == 0 && value == 0) {  // the end of a row
            if (y >= height) {
                return pastPicture;
            }
            ++y;
            x = 0;
            continue;
        }
        if (count == 0 && value == 1) {  // the end of the picture
            return {};
        }
        if (count == 0 && value == 2) {  // a move right and up
            unsigned char right = 0;
            unsigned char up = 0;
            if (!reader.Next(right) || !reader.Next(up)) {
                return cutShort;
            }
            if (right > rowEnd - x || up > height - y) {
                return pastPicture;
            }
            x += right;
            y += up;
            continue;
        }
        const unsigned pixels = count != 0 ? count : value;
        if (y >= height) {
            return pastPicture;
        }
        if (pixels > rowEnd - x) {
            return pastRow;
        }
        if (count != 0) {
            for (unsigned i = 0; i < pixels; ++i) {
                put(!four ? value : i % 2 == 0 ? value >> 4 : value & 0x0F);
            }
            continue;
        }
        // Values as they stand, padded to an even number of bytes.
        const unsigned bytes = four ? (pixels + 1) / 2 : pixels;
        unsigned char byte = 0;
        for (unsigned i = 0; i < pixels; ++i) {
            if ((!four || i % 2 == 0) && !reader.Next(byte)) {
                return cutShort;
            }
            put(!four ? byte : i % 2 == 0 ? byte >> 4 : byte & 0x0F);
        }
        if (bytes % 2 != 0 && !reader.Next(byte)) {
            return cutShort;
        }
    }
}

}  // namespace

std::optional<BmpLayout> ReadBmpLayout(ByteSource& source) {
    unsigned char file[14 + 4];
    if (!ReadExactly(source, 0, file, sizeof file) || file[0] != 'B') {
        return std::nullopt;
    }
    BmpLayout layout;
    if (file[1] == 'A') {
        layout.refusal =
            "It is an OS/2 bitmap array, a file of several pictures, which Kerfo "
            "can't read.";
        return layout;
    }
    const std::uint32_t headerSize = LittleEndian32(file + 14);
    const bool core = headerSize == 12;
    const bool windows = headerSize == 40 || headerSize == 52 || headerSize == 56 ||
                         headerSize == 108 || headerSize == 124;
    const bool os2 = !windows && headerSize >= 16 && headerSize <= 64;
    unsigned char header[124] = {};
    if (file[1] != 'M' || !(core || windows || os2) ||
        !ReadExactly(source, 14, header, headerSize)) {
        return std::nullopt;
    }
    // OS/2's first header has 16-bit sizes and no compression; the others
    // share the Windows fields as far as they reach.
    const auto signedAt = [&header](std::size_t at) {
        return static_cast<std::int32_t>(LittleEndian32(header + at));
    };
    const std::int64_t width = core ? std::int64_t{LittleEndian16(header + 4)} : signedAt(4);
    const std::int64_t height = core ? std::int64_t{LittleEndian16(header + 6)} : signedAt(8);
    const unsigned bits = LittleEndian16(header + (core ? 10 : 14));
    const std::uint32_t compression = core ? kRgb : LittleEndian32(header + 16);
    if (width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min()) {
        return std::nullopt;
    }
    layout.width = static_cast<std::uint32_t>(width);
    layout.height = static_cast<std::uint32_t>(height < 0 ? -height : height);
    layout.topFirst = height < 0;
    layout.bitsPerPixel = bits;
    layout.pixelOffset = LittleEndian32(file + 10);
    layout.dotsPerMeterX = static_cast<std::uint32_t>(std::max(0, signedAt(24)));
    layout.dotsPerMeterY = static_cast<std::uint32_t>(std::max(0, signedAt(28)));
    layout.refusal = CodingRefusal(compression, bits, os2);
    if (layout.refusal.empty() && layout.topFirst &&
        (compression == kRunLength8 || compression == kRunLength4)) {
        layout.refusal = "Its header is damaged: run-length coded rows can't be stored top first.";
    }
    if (!layout.refusal.empty()) {
        return layout;
    }
    layout.coding = compression == kRunLength8   ? BmpLayout::Coding::RunLength8
                    : compression == kRunLength4 ? BmpLayout::Coding::RunLength4
                                                 : BmpLayout::Coding::Rows;

    // The colour masks: the usual ones without bit fields; with them, in the
    // header from its second version on, otherwise right behind it.
    layout.headerEnd = 14 + std::uint64_t{headerSize};
    if (compression == kBitFields || compression == kAlphaBitFields) {
        if (headerSize >= 52) {
            for (std::size_t i = 0; i < (headerSize >= 56 ? 4 : 3); ++i) {
                layout.masks[i] = LittleEndian32(header + 40 + 4 * i);
            }
        } else {
            const std::size_t count = compression == kAlphaBitFields ? 4 : 3;
            unsigned char masks[16];
            if (!ReadExactly(source, layout.headerEnd, masks, 4 * count)) {
                return std::nullopt;
            }
            for (std::size_t i = 0; i < count; ++i) {
                layout.masks[i] = LittleEndian32(masks + 4 * i);
            }
            layout.headerEnd += 4 * count;
        }
        if (!MasksAreFields(layout.masks, bits)) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "Its colour masks 0x%X, 0x%X, 0x%X and 0x%X are no separate fields of "
                          "its %u-bit pixels.",
                          layout.masks[0], layout.masks[1], layout.masks[2], layout.masks[3], bits);
            layout.refusal = text;
            return layout;
        }
    } else if (bits == 16) {
        layout.masks = {0x7C00, 0x03E0, 0x001F, 0};
    } else if (bits == 32) {
        layout.masks = {0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000};
        layout.alphaUnlessAllClear = true;
    }
    if (layout.pixelOffset < layout.headerEnd) {
        layout.refusal = "Its header is damaged: its pixels would start inside it.";
        return layout;
    }

    // The palette: as many colours as the header says (all that the depth
    // has when it says 0), as far as they lie before the pixels.
    if (bits <= 8) {
        const std::size_t entrySize = core ? 3 : 4;
        const std::uint32_t used = core ? 0 : LittleEndian32(header + 32);
        std::uint64_t count = used != 0 && used < (1u << bits) ? used : 1u << bits;
        count = std::min<std::uint64_t>(count, (layout.pixelOffset - layout.headerEnd) / entrySize);
        std::vector<unsigned char> colours(static_cast<std::size_t>(count) * entrySize);
        if (!ReadExactly(source, layout.headerEnd, colours.data(), colours.size())) {
            return std::nullopt;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned char* entry = colours.data() + i * entrySize;
            layout.palette.push_back({entry[0], entry[1], entry[2], 0});
        }
        layout.headerEnd += colours.size();
    }
    if (headerSize >= 124 && LittleEndian32(header + 56) == kEmbeddedProfile) {
        layout.profileOffset = 14 + std::uint64_t{LittleEndian32(header + 112)};
        layout.profileSize = LittleEndian32(header + 116);
    }

    const bool wide = std::any_of(layout.masks.begin(), layout.masks.end(),
                                  [](std::uint32_t mask) { return CountBits(mask) > 8; });
    const bool alpha = layout.masks[3] != 0;
    if (bits <= 8) {
        layout.bitmapBits = bits == 2 ? 8 : bits;
    } else if (wide) {
        layout.type = alpha ? FIT_RGBA16 : FIT_RGB16;
        layout.bitmapBits = alpha ? 64 : 48;
    } else {
        layout.bitmapBits = alpha ? 32 : 24;
    }
    return layout;
}

DecodedBmp DecodeBmp(ByteSource& source, const BmpLayout& given) {
    DecodedBmp result;
    BmpLayout layout = given;
    if (layout.alphaUnlessAllClear && !AnyFourthByteSet(source, layout)) {
        layout.masks[3] = 0;
        layout.bitmapBits = 24;
    }
    const int width = static_cast<int>(layout.width);
    const int height = static_cast<int>(layout.height);
    Bitmap bitmap(layout.type == FIT_BITMAP
                      ? FreeImage_Allocate(width, height, static_cast<int>(layout.bitmapBits))
                      : FreeImage_AllocateT(layout.type, width, height));
    if (!bitmap) {
        result.damage = "There is not enough memory for its pixels.";
        return result;
    }
    FreeImage_SetDotsPerMeterX(bitmap.get(), layout.dotsPerMeterX);
    FreeImage_SetDotsPerMeterY(bitmap.get(), layout.dotsPerMeterY);
    if (!layout.palette.empty()) {
        std::copy_n(
            layout.palette.begin(),
            std::min<std::size_t>(layout.palette.size(), FreeImage_GetColorsUsed(bitmap.get())),
            FreeImage_GetPalette(bitmap.get()));
    }
    result.damage = layout.coding == BmpLayout::Coding::Rows
                        ? DecodeRows(source, layout, bitmap.get())
                        : DecodeRunLength(source, layout, bitmap.get());
    if (!result.damage.empty()) {
        return result;
    }
    if (layout.profileSize > 0 && layout.profileSize <= kMostProfileBytes) {
        std::vector<char> profile(layout.profileSize);
        // A profile, as far as its header tells: its own size, its signature.
        if (ReadExactly(source, layout.profileOffset, profile.data(), profile.size()) &&
            profile.size() >= 132 &&
            BigEndian32(reinterpret_cast<const unsigned char*>(profile.data())) == profile.size() &&
            std::memcmp(profile.data() + 36, "acsp", 4) == 0) {
            FreeImage_CreateICCProfile(bitmap.get(), profile.data(),
                                       static_cast<long>(profile.size()));
        }
    }
    result.bitmap = std::move(bitmap);
    return result;
}

std::optional<PictureClaim> ReadBmpClaim(ByteSource& source) {
    const std::optional<BmpLayout> layout = ReadBmpLayout(source);
    if (!layout) {
        return std::nullopt;
    }
    PictureClaim claim;
    claim.refusal = layout->refusal;
    claim.width = layout->width;
    claim.height = layout->height;
    claim.bitsPerPixel = layout->bitmapBits;
    if (!claim.refusal.empty()) {
        return claim;
    }
    const std::uint64_t start = layout->pixelOffset;
    if (layout->coding != BmpLayout::Coding::Rows) {
        // Run-length coding can skip 255 columns and 255 rows in 4 bytes, its
        // longest step; a picture of more pixels per byte is no picture's.
        claim.leastFileSize =
            Add(start, DivideRoundingUp(Multiply(claim.width, claim.height), 255 * 255) * 4);
        // Other programs count the pixels of run-length data in 32 bits (the
        // image library's decoder overflows past them); more is no picture's.
        if (Multiply(claim.width, claim.height) > std::numeric_limits<std::int32_t>::max()) {
            claim.refusal =
                "It claims " + std::to_string(Multiply(claim.width, claim.height)) +
                " pixels of run-length data, more than 2147483647, the most that Kerfo reads.";
        }
    } else {
        // Every row is there, padded to four bytes; a writer may leave out the
        // last row's padding.
        const std::uint64_t rowBits = Multiply(claim.width, layout->bitsPerPixel);
        const std::uint64_t stride = DivideRoundingUp(rowBits, 32) * 4;
        claim.leastFileSize =
            Add(Add(start, Multiply(stride, claim.height - 1)), DivideRoundingUp(rowBits, 8));
    }
    return claim;
}

}  // namespace kerfo
