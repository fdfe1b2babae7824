// What picture headers claim, and whether a file and the memory can hold it.

#include "formats/picture_claim.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "formats/bmp_file.h"
#include "formats/jpeg_header.h"
#include "formats/png_chunks.h"

namespace kerfo {
namespace {

std::string Gigabytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / 1e9);
    return text;
}

}  // namespace

std::optional<PictureClaim> ReadPictureClaim(FREE_IMAGE_FORMAT format, ByteSource& source) {
    switch (format) {
        case FIF_JPEG:
            return ReadJpegClaim(source);
        case FIF_PNG:
            return ReadPngClaim(source);
        case FIF_BMP:
            return ReadBmpClaim(source);
        default:
            return std::nullopt;
    }
}

bool NeedsClaim(FREE_IMAGE_FORMAT format, ByteSource& source) {
    unsigned char bytes[8];
    if (!ReadExactly(source, 0, bytes, 8)) {
        return false;
    }
    switch (format) {
        case FIF_JPEG:
            return bytes[0] == 0xFF && bytes[1] == 0xD8;
        case FIF_PNG:
            return IsPngSignature(bytes);
        case FIF_BMP:
            return bytes[0] == 'B' && (bytes[1] == 'M' || bytes[1] == 'A');
        default:
            return false;
    }
}

std::uint64_t BitmapBytes(std::uint32_t width, std::uint32_t height, unsigned bitsPerPixel) {
    const std::uint64_t lineBytes = DivideRoundingUp(Multiply(width, bitsPerPixel), 8);
    const std::uint64_t pitch = Add(lineBytes, 3) & ~std::uint64_t{3};
    return Multiply(pitch, height);
}

std::optional<std::string> RefusalOfClaim(const PictureClaim& claim, std::uint64_t fileSize,
                                          std::optional<std::uint64_t> availableMemory) {
    char text[256];
    if (fileSize < claim.leastFileSize) {
        std::snprintf(text, sizeof text,
                      "Its header claims %u x %u pixels, more than a file of %llu bytes can hold.",
                      claim.width, claim.height, static_cast<unsigned long long>(fileSize));
        return std::string(text);
    }
    if (!claim.refusal.empty()) {
        return claim.refusal;
    }
    if (claim.cutShort) {
        return std::string("Premature end of JPEG file");  // the decoder's words for it
    }
    if (claim.scans > kMaxJpegScans) {
        std::snprintf(text, sizeof text,
                      "It has %u scans, more than the %u that a picture may have.", claim.scans,
                      kMaxJpegScans);
        return std::string(text);
    }
    if (claim.coefficientPasses > Multiply(claim.coefficients, claim.mostPasses)) {
        std::snprintf(text, sizeof text,
                      "Its scans go over its pixels %.1f times, more than the %u that a picture "
                      "needs.",
                      static_cast<double>(claim.coefficientPasses) /
                          static_cast<double>(std::max<std::uint64_t>(claim.coefficients, 1)),
                      claim.mostPasses);
        return std::string(text);
    }
    if (availableMemory && (claim.bitsPerPixel != 0 || claim.decoderBytes != 0)) {
        const std::uint64_t needed =
            Add(BitmapBytes(claim.width, claim.height, claim.bitsPerPixel), claim.decoderBytes);
        if (needed > *availableMemory) {
            std::snprintf(text, sizeof text,
                          "Its header claims %u x %u pixels, which need %s of memory; %s are "
                          "available.",
                          claim.width, claim.height, Gigabytes(needed).c_str(),
                          Gigabytes(*availableMemory).c_str());
            return std::string(text);
        }
    }
    return std::nullopt;
}

}  // namespace kerfo
