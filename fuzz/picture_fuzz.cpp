// Feeds arbitrary picture files to the program's picture loading: the header
// checks, the refusal of implausible and damaged pictures, the program's own
// BMP reader and the image library's decoders behind them, and the rewriting of
// a JPEG's EXIF for its pieces; then cuts what loads into a left and a right
// half and saves them as the program saves pieces (views or copies of the
// picture, converted for their format, with the picture's metadata and colour
// chunks). Whatever the bytes, loading either refuses with a message or gives
// a bitmap of the size the header claims, and never takes more memory than the
// limit it is given (the fuzzer's malloc limit catches any allocation beyond
// it); saving either saves or refuses with a message.
//
// Input: byte 0 chooses the format ('J' JPEG, 'P' PNG, anything else BMP), the
// rest is the file. The pieces are JPEG, PNG or BMP files by the input's
// length (modulo 3), so that mutations reach all three. The picture and its
// pieces are files in a folder of their own in /dev/shm (else /tmp), removed
// after each input.
//
// Mutations (structure_mutator.cpp): most change the file's structure, a PNG
// chunk or a JPEG segment at a time, the rest are the fuzzer's own byte
// mutations.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cut/picture_source.h"
#include "cut/pieces.h"
#include "error/fatal.h"
#include "formats/exif.h"

namespace {

// Well below the fuzzer's malloc limit (-malloc_limit_mb in scripts/test.sh).
constexpr std::uint64_t kMemoryLimit = 64ull << 20;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

// The folder of the picture and its pieces, removed with the object.
class Folder {
  public:
    Folder() {
        std::string name = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        name += "/kerfo-fuzz-XXXXXX";
        Require(mkdtemp(name.data()) != nullptr, "a folder for the pieces");
        path_ = name;
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    std::string operator/(const char* name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    Require(file != nullptr, "the picture's file opens");
    const bool written = std::fwrite(data, 1, size, file) == size;
    Require(std::fclose(file) == 0 && written, "the picture's file is written");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const Folder folder;
    const FREE_IMAGE_FORMAT format = data[0] == 'J' ? FIF_JPEG : data[0] == 'P' ? FIF_PNG : FIF_BMP;
    const std::string input = folder / (format == FIF_JPEG  ? "picture.jpg"
                                        : format == FIF_PNG ? "picture.png"
                                                            : "picture.bmp");
    const char* const pieceNames[3][2] = {
        {"left.jpg", "right.jpg"}, {"left.png", "right.png"}, {"left.bmp", "right.bmp"}};
    const char* const* names = pieceNames[size % 3];
    try {
        WriteFile(input, data + 1, size - 1);
        kerfo::PictureSource source(input.c_str(), false, false, kMemoryLimit);
        FIBITMAP* const picture = source.Decoded();
        Require(picture != nullptr, "a load that doesn't refuse gives a bitmap");
        Require(FreeImage_HasPixels(picture), "the bitmap has its pixels");
        const int width = static_cast<int>(FreeImage_GetWidth(picture));
        const int height = static_cast<int>(FreeImage_GetHeight(picture));
        const kerfo::Bitmap piece =
            kerfo::CopyRegion(picture, width / 4, height / 4, width / 2, height / 2);
        Require(width < 2 || height < 2 || piece != nullptr, "a rectangle inside can be copied");
        // A piece's EXIF, rewritten from the picture's, whatever its offsets say.
        const std::string exif =
            kerfo::PieceExif(kerfo::RawExif(picture), static_cast<std::uint32_t>(width / 2),
                             static_cast<std::uint32_t>(height / 2));
        Require(exif.size() <= kerfo::RawExif(picture).size(), "a piece's EXIF is no longer");

        // The halves of kerfo -w 50%, or the whole of a picture too narrow for them.
        std::vector<kerfo::PieceSpec> pieces;
        if (width < 2) {
            pieces.push_back({folder / names[0], 0, 0, width, height});
        } else {
            pieces.push_back({folder / names[0], 0, 0, width / 2, height});
            pieces.push_back({folder / names[1], width / 2, 0, width - width / 2, height});
        }
        source.SavePieces(pieces, 90, false);
    } catch (const kerfo::FatalError&) {
        // Refused with a message: what the program does with such a file.
    }
    return 0;
}
