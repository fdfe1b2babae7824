// Feeds arbitrary picture files to the program's picture loading: the header
// checks, the refusal of implausible and damaged pictures, the program's own
// BMP reader and the image library's decoders, and the rewriting of a JPEG's
// EXIF for its pieces. Whatever the bytes, loading either refuses
// with a message or gives a bitmap of the size the header claims, and never
// takes more memory than the limit it is given (the fuzzer's malloc limit
// catches any allocation beyond it).
//
// Input: byte 0 chooses the format ('J' JPEG, 'P' PNG, anything else BMP), the
// rest is the file.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/messages.h"
#include "cut/cut_jobs.h"
#include "cut/exif.h"
#include "cut/picture_file.h"

namespace {

// Well below the fuzzer's malloc limit (-malloc_limit_mb in scripts/test.sh).
constexpr std::uint64_t kMemoryLimit = 64ull << 20;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const FREE_IMAGE_FORMAT format = data[0] == 'J' ? FIF_JPEG : data[0] == 'P' ? FIF_PNG : FIF_BMP;
    try {
        const kerfo::Bitmap picture =
            kerfo::LoadPictureFromMemory(data + 1, size - 1, format, "fuzz", kMemoryLimit);
        Require(picture != nullptr, "a load that doesn't refuse gives a bitmap");
        Require(FreeImage_HasPixels(picture.get()), "the bitmap has its pixels");
        const int width = static_cast<int>(FreeImage_GetWidth(picture.get()));
        const int height = static_cast<int>(FreeImage_GetHeight(picture.get()));
        const kerfo::Bitmap piece =
            kerfo::CopyRegion(picture.get(), width / 4, height / 4, width / 2, height / 2);
        Require(width < 2 || height < 2 || piece != nullptr, "a rectangle inside can be copied");
        // A piece's EXIF, rewritten from the picture's, whatever its offsets say.
        const std::string exif =
            kerfo::PieceExif(kerfo::RawExif(picture.get()), static_cast<std::uint32_t>(width / 2),
                             static_cast<std::uint32_t>(height / 2));
        Require(exif.size() <= kerfo::RawExif(picture.get()).size(), "a piece's EXIF is no longer");
    } catch (const kerfo::FatalError&) {
        // Refused with a message: what the program does with such a file.
    }
    return 0;
}
