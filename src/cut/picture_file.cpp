// Loading and saving pictures by extension.

#include "cut/picture_file.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/messages.h"
#include "platform/safe_file.h"
#include "util/strings.h"

namespace kerfo {
namespace {

bool TailIs(std::string_view path, const char* tail) {
    const std::size_t length = std::strlen(tail);
    if (path.size() < length) {
        return false;
    }
    const std::string tailText(path.substr(path.size() - length));
    return CompareNoCase(tailText.c_str(), tail) == 0;
}

// The library reads and writes through these, so that every byte that fails to
// reach the file shows.
unsigned DLL_CALLCONV ReadToFile(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    return static_cast<unsigned>(std::fread(buffer, size, count, static_cast<std::FILE*>(handle)));
}

unsigned DLL_CALLCONV WriteToFile(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    return static_cast<unsigned>(
        std::fwrite(buffer, size, count, static_cast<std::FILE*>(handle)));
}

int DLL_CALLCONV SeekInFile(fi_handle handle, long offset, int origin) {
    return std::fseek(static_cast<std::FILE*>(handle), offset, origin);
}

long DLL_CALLCONV TellInFile(fi_handle handle) {
    return std::ftell(static_cast<std::FILE*>(handle));
}

FreeImageIO FileIO() {
    FreeImageIO io{};
    io.read_proc = ReadToFile;
    io.write_proc = WriteToFile;
    io.seek_proc = SeekInFile;
    io.tell_proc = TellInFile;
    return io;
}

bool IsGrey(FIBITMAP* bitmap) {
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
    if (type == FIT_UINT16) {
        return true;
    }
    if (type != FIT_BITMAP) {
        return false;
    }
    const FREE_IMAGE_COLOR_TYPE colour = FreeImage_GetColorType(bitmap);
    return colour == FIC_MINISBLACK || colour == FIC_MINISWHITE;
}

bool HasAlpha(FIBITMAP* bitmap) {
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
    return type == FIT_RGBA16 || (type == FIT_BITMAP && FreeImage_GetBPP(bitmap) == 32);
}

// A copy of the bitmap in a form the format stores, or none when the bitmap
// can be saved as it is: 8-bit grey for a grey picture where the format takes
// it, 32 bits for one with an alpha channel where the format takes that, and
// 24-bit colour otherwise.
Bitmap ConvertForFormat(FIBITMAP* bitmap, FREE_IMAGE_FORMAT format) {
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
    const unsigned bitsPerPixel = FreeImage_GetBPP(bitmap);
    if (type == FIT_BITMAP ? FreeImage_FIFSupportsExportBPP(format, static_cast<int>(bitsPerPixel))
                           : FreeImage_FIFSupportsExportType(format, type)) {
        return nullptr;
    }
    if (IsGrey(bitmap) && FreeImage_FIFSupportsExportBPP(format, 8)) {
        return Bitmap(type == FIT_UINT16 ? FreeImage_ConvertTo8Bits(bitmap)
                                         : FreeImage_ConvertToGreyscale(bitmap));
    }
    if (HasAlpha(bitmap) && FreeImage_FIFSupportsExportBPP(format, 32)) {
        return Bitmap(FreeImage_ConvertTo32Bits(bitmap));
    }
    return Bitmap(FreeImage_ConvertTo24Bits(bitmap));
}

}  // namespace

std::optional<FREE_IMAGE_FORMAT> FormatForName(std::string_view path) {
    if (path.size() <= 3) {
        return std::nullopt;
    }
    if (TailIs(path, ".jpg")) {
        return FIF_JPEG;
    }
    if (path.size() > 4 && TailIs(path, ".jpeg")) {
        return FIF_JPEG;
    }
    if (TailIs(path, ".bmp")) {
        return FIF_BMP;
    }
    if (TailIs(path, ".png")) {
        return FIF_PNG;
    }
    return std::nullopt;
}

Bitmap LoadPicture(const char* path) {
    const std::optional<FREE_IMAGE_FORMAT> format = FormatForName(path);
    if (!format) {
        Fatal("Input file: %s - must end in .jpg or .jpeg", path);
    }
    Bitmap picture(FreeImage_Load(*format, path, 0));
    if (!picture) {
        Fatal("Couldn't open input file: %s", path);
    }
    return picture;
}

bool SavePicture(FIBITMAP* bitmap, const char* path, int flags) {
    const std::optional<FREE_IMAGE_FORMAT> format = FormatForName(path);
    if (!format) {
        Fatal("Save: file (%s) - must end in .jpg, .jpeg or .bmp", path);
    }
    if (bitmap == nullptr) {
        Fatal("Couldn't save %s: there is no picture to save.", path);
    }
    const Bitmap converted = ConvertForFormat(bitmap, *format);
    FIBITMAP* const toSave = converted ? converted.get() : bitmap;

    platform::ReplacementFile file(path);
    if (!file.Open()) {
        Fatal("Couldn't save %s: %s.", path, file.Error().c_str());
    }
    FreeImageIO io = FileIO();
    if (!FreeImage_SaveToHandle(*format, toSave, &io, file.Stream(), flags)) {
        Fatal("Couldn't save %s: the image library could not write this picture in that format.",
              path);
    }
    if (!file.Commit()) {
        Fatal("Couldn't save %s: %s.", path, file.Error().c_str());
    }
    return true;
}

std::string_view PictureExtension(std::string_view path) {
    std::size_t end = path.find_last_not_of('/');
    if (end == std::string_view::npos) {
        return {};
    }
    const std::string_view trimmed = path.substr(0, end + 1);
    const std::size_t slash = trimmed.rfind('/');
    const std::size_t baseStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = trimmed.rfind('.');
    if (dot == std::string_view::npos || dot < baseStart) {
        return {};
    }
    return trimmed.substr(dot);
}

}  // namespace kerfo
