// Smoke test of the FreeImage library a build links: makes pictures in memory,
// saves each as JPEG, PNG or BMP, loads the file again, cuts a piece out of the
// loaded picture and saves that too. Lossless files must give back the very
// pixels. Built for Linux and for Windows alike, so that tests/windows/run.sh
// can compare the files the two write byte for byte.
//
// Usage: freeimage_smoke OUTPUT_FOLDER
// Exits 0 when every step went well, else 1 after a message for each fault.

#include <FreeImage.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

int faults = 0;

void Fault(const std::string& what) {
    std::fprintf(stderr, "freeimage_smoke: %s\n", what.c_str());
    ++faults;
}

void OnLibraryMessage(FREE_IMAGE_FORMAT format, const char* message) {
    const char* name = format == FIF_UNKNOWN ? "-" : FreeImage_GetFormatFromFIF(format);
    std::fprintf(stderr, "freeimage_smoke: FreeImage (%s): %s\n", name ? name : "?", message);
}

// Frees the bitmap when it goes out of scope.
struct Bitmap {
    explicit Bitmap(FIBITMAP* bitmap) : get(bitmap) {}
    ~Bitmap() {
        if (get != nullptr) {
            FreeImage_Unload(get);
        }
    }
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
    FIBITMAP* get;
};

constexpr int kWidth = 67;
constexpr int kHeight = 45;
// The piece: left, top, width and height, counted from the top left.
constexpr int kPieceLeft = 13;
constexpr int kPieceTop = 7;
constexpr int kPieceWidth = 40;
constexpr int kPieceHeight = 30;

// Gradients with pseudo-random noise on them, the same on every platform, so
// that the encoders have edges and detail to work on. 8 bits are grey.
FIBITMAP* MakePicture(unsigned bitsPerPixel) {
    FIBITMAP* bitmap = FreeImage_Allocate(kWidth, kHeight, static_cast<int>(bitsPerPixel));
    if (bitmap == nullptr) {
        return nullptr;
    }
    if (bitsPerPixel == 8) {
        RGBQUAD* palette = FreeImage_GetPalette(bitmap);
        for (int i = 0; i < 256; ++i) {
            palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
        }
    }
    const unsigned bytesPerPixel = bitsPerPixel / 8;
    std::uint32_t state = 12345;
    for (int y = 0; y < kHeight; ++y) {
        BYTE* line = FreeImage_GetScanLine(bitmap, y);
        for (int x = 0; x < kWidth; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 26);
            const BYTE red = static_cast<BYTE>(x * 255 / (kWidth - 1) / 2 + noise);
            const BYTE green = static_cast<BYTE>(y * 255 / (kHeight - 1));
            const BYTE blue = static_cast<BYTE>((x ^ y) * 6 + noise * 2);
            BYTE* pixel = line + x * bytesPerPixel;
            if (bitsPerPixel == 8) {
                pixel[0] = static_cast<BYTE>((red + green + blue) / 3);
                continue;
            }
            pixel[FI_RGBA_RED] = red;
            pixel[FI_RGBA_GREEN] = green;
            pixel[FI_RGBA_BLUE] = blue;
            if (bitsPerPixel == 32) {
                pixel[FI_RGBA_ALPHA] = static_cast<BYTE>((x + y) * 255 / (kWidth + kHeight - 2));
            }
        }
    }
    return bitmap;
}

// Whether `part` holds the pixels of `whole` from (left, top), counted from the
// top left, with the same depth.
bool SamePixels(FIBITMAP* whole, int left, int top, FIBITMAP* part) {
    const unsigned bitsPerPixel = FreeImage_GetBPP(part);
    if (FreeImage_GetBPP(whole) != bitsPerPixel) {
        return false;
    }
    const int width = static_cast<int>(FreeImage_GetWidth(part));
    const int height = static_cast<int>(FreeImage_GetHeight(part));
    const unsigned bytesPerPixel = bitsPerPixel / 8;
    const int wholeHeight = static_cast<int>(FreeImage_GetHeight(whole));
    for (int row = 0; row < height; ++row) {
        // Scan lines count from the bottom.
        const BYTE* partLine = FreeImage_GetScanLine(part, height - 1 - row);
        const BYTE* wholeLine = FreeImage_GetScanLine(whole, wholeHeight - 1 - (top + row));
        if (std::memcmp(partLine, wholeLine + left * bytesPerPixel, width * bytesPerPixel) != 0) {
            return false;
        }
    }
    return true;
}

// Saves the bitmap, loads the file back and checks its size and depth, and
// for a lossless format its pixels against `expected` from (left, top).
// Returns the loaded bitmap, or none after a fault.
FIBITMAP* SaveAndLoad(FIBITMAP* bitmap, FREE_IMAGE_FORMAT format, int flags,
                      const std::string& path, FIBITMAP* expected, int left, int top) {
    if (!FreeImage_Save(format, bitmap, path.c_str(), flags)) {
        Fault("could not save " + path);
        return nullptr;
    }
    FIBITMAP* loaded = FreeImage_Load(format, path.c_str(), 0);
    if (loaded == nullptr) {
        Fault("could not load " + path);
        return nullptr;
    }
    if (FreeImage_GetWidth(loaded) != FreeImage_GetWidth(bitmap) ||
        FreeImage_GetHeight(loaded) != FreeImage_GetHeight(bitmap) ||
        FreeImage_GetBPP(loaded) != FreeImage_GetBPP(bitmap)) {
        Fault(path + " loads with another size or depth");
    } else if (format != FIF_JPEG && !SamePixels(expected, left, top, loaded)) {
        Fault(path + " loads with other pixels");
    }
    return loaded;
}

struct Case {
    const char* name;
    unsigned bitsPerPixel;
    FREE_IMAGE_FORMAT format;
    int flags;  // The program passes its quality as the flags.
};

constexpr Case kCases[] = {
    {"colour.jpg", 24, FIF_JPEG, 0}, {"colour-q90.jpg", 24, FIF_JPEG, 90},
    {"grey.jpg", 8, FIF_JPEG, 0},    {"colour.png", 24, FIF_PNG, 0},
    {"grey.png", 8, FIF_PNG, 0},     {"alpha.png", 32, FIF_PNG, 0},
    {"colour.bmp", 24, FIF_BMP, 0},  {"grey.bmp", 8, FIF_BMP, 0},
    {"alpha.bmp", 32, FIF_BMP, 0},
};

// FreeImage numbers its formats in the order it registers them; a build that
// leaves a format out must still give every other one the number that
// FREE_IMAGE_FORMAT in FreeImage.h gives it.
struct FormatName {
    FREE_IMAGE_FORMAT format;
    const char* name;
};

constexpr FormatName kFormatNames[] = {
    {FIF_BMP, "BMP"},   {FIF_JPEG, "JPEG"}, {FIF_PNG, "PNG"},     {FIF_TIFF, "TIFF"},
    {FIF_WBMP, "WBMP"}, {FIF_PSD, "PSD"},   {FIF_GIF, "GIF"},     {FIF_SGI, "SGI"},
    {FIF_PFM, "PFM"},   {FIF_WEBP, "WebP"}, {FIF_JXR, "JPEG-XR"},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: freeimage_smoke OUTPUT_FOLDER\n");
        return 1;
    }
    const std::string folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "freeimage_smoke: could not make %s: %s\n", folder.c_str(),
                     error.message().c_str());
        return 1;
    }
    FreeImage_SetOutputMessage(OnLibraryMessage);
    std::printf("FreeImage %s\n", FreeImage_GetVersion());

    if (FreeImage_GetFIFCount() != FIF_JXR + 1) {
        Fault("FreeImage has " + std::to_string(FreeImage_GetFIFCount()) + " formats, not " +
              std::to_string(FIF_JXR + 1));
    }
    for (const FormatName& entry : kFormatNames) {
        const char* name = FreeImage_GetFormatFromFIF(entry.format);
        if (name == nullptr || std::strcmp(name, entry.name) != 0) {
            Fault("format " + std::to_string(entry.format) + " is " + (name ? name : "none") +
                  ", not " + entry.name);
        }
    }

    int files = 0;
    for (const Case& test : kCases) {
        const Bitmap picture(MakePicture(test.bitsPerPixel));
        if (picture.get == nullptr) {
            Fault(std::string("could not make the picture for ") + test.name);
            continue;
        }
        const std::string path = folder + "/" + test.name;
        const Bitmap loaded(
            SaveAndLoad(picture.get, test.format, test.flags, path, picture.get, 0, 0));
        if (loaded.get == nullptr) {
            continue;
        }
        ++files;
        const Bitmap piece(FreeImage_Copy(loaded.get, kPieceLeft, kPieceTop,
                                          kPieceLeft + kPieceWidth, kPieceTop + kPieceHeight));
        if (piece.get == nullptr || FreeImage_GetWidth(piece.get) != kPieceWidth ||
            FreeImage_GetHeight(piece.get) != kPieceHeight) {
            Fault(std::string("could not cut a piece out of ") + test.name);
            continue;
        }
        const Bitmap loadedPiece(SaveAndLoad(piece.get, test.format, test.flags,
                                             folder + "/piece-" + test.name, picture.get,
                                             kPieceLeft, kPieceTop));
        if (loadedPiece.get != nullptr) {
            ++files;
        }
    }
    std::printf("wrote %d files into %s, %d faults\n", files, folder.c_str(), faults);
    return faults == 0 ? 0 : 1;
}
