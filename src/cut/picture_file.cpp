// Loading and saving pictures by extension.

#include "cut/picture_file.h"

#include <cerrno>
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

// The file the library writes a picture to, and the first write error met, so
// that a byte that fails to reach the file is reported with its reason.
struct OutputFile {
    std::FILE* stream;
    int error = 0;
};

OutputFile& OutputOf(fi_handle handle) {
    return *static_cast<OutputFile*>(handle);
}

unsigned DLL_CALLCONV ReadFromOutput(void* buffer, unsigned size, unsigned count,
                                     fi_handle handle) {
    return static_cast<unsigned>(std::fread(buffer, size, count, OutputOf(handle).stream));
}

unsigned DLL_CALLCONV WriteToOutput(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    OutputFile& output = OutputOf(handle);
    const std::size_t written = std::fwrite(buffer, size, count, output.stream);
    if (written < count && output.error == 0) {
        output.error = errno != 0 ? errno : EIO;
    }
    return static_cast<unsigned>(written);
}

int DLL_CALLCONV SeekInOutput(fi_handle handle, long offset, int origin) {
    return std::fseek(OutputOf(handle).stream, offset, origin);
}

long DLL_CALLCONV TellInOutput(fi_handle handle) {
    return std::ftell(OutputOf(handle).stream);
}

FreeImageIO FileIO() {
    FreeImageIO io{};
    io.read_proc = ReadFromOutput;
    io.write_proc = WriteToOutput;
    io.seek_proc = SeekInOutput;
    io.tell_proc = TellInOutput;
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

// Whether the format's encoder takes standard bitmaps of this depth. The JPEG
// encoder claims 32 bits but takes them only as CMYK, which loaded pictures
// never are.
bool TakesDepth(FREE_IMAGE_FORMAT format, unsigned bitsPerPixel) {
    if (format == FIF_JPEG) {
        return bitsPerPixel == 8 || bitsPerPixel == 24;
    }
    return FreeImage_FIFSupportsExportBPP(format, static_cast<int>(bitsPerPixel));
}

// Whether the format's encoder takes the bitmap as it is.
bool StoresAsIs(FIBITMAP* bitmap, FREE_IMAGE_FORMAT format) {
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
    if (type != FIT_BITMAP) {
        return FreeImage_FIFSupportsExportType(format, type);
    }
    return TakesDepth(format, FreeImage_GetBPP(bitmap));
}

// A copy of the bitmap in a form the format stores, or none when the bitmap
// can be saved as it is: 8-bit grey for a grey picture where the format takes
// it, 32 bits for one with an alpha channel where the format takes that, and
// 24-bit colour otherwise.
Bitmap ConvertForFormat(FIBITMAP* bitmap, FREE_IMAGE_FORMAT format) {
    if (StoresAsIs(bitmap, format)) {
        return nullptr;
    }
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
    if (IsGrey(bitmap) && TakesDepth(format, 8)) {
        return Bitmap(type == FIT_UINT16 ? FreeImage_ConvertTo8Bits(bitmap)
                                         : FreeImage_ConvertToGreyscale(bitmap));
    }
    if (HasAlpha(bitmap) && TakesDepth(format, 32)) {
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
    OutputFile output{file.Stream()};
    errno = 0;
    const bool encoded = FreeImage_SaveToHandle(*format, toSave, &io, &output, flags) != 0;
    if (output.error != 0) {
        Fatal("Couldn't save %s: not every byte could be written: %s.", path,
              std::strerror(output.error));
    }
    if (!encoded) {
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
