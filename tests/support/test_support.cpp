// What the tests share on every system; running a program is in
// process_posix.cpp and process_win32.cpp.

#include "test_support.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#ifndef _WIN32
extern char** environ;
#endif

namespace kerfo::test {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

char** ProcessEnvironment() {
#ifdef _WIN32
    return _environ;
#else
    return environ;
#endif
}

// The order of variable names: Windows matches them in any case and wants
// its environment blocks sorted so, by their upper-case forms.
struct NameOrder {
    bool operator()(const std::string& a, const std::string& b) const {
#ifdef _WIN32
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [](unsigned char x, unsigned char y) { return std::toupper(x) < std::toupper(y); });
#else
        return a < b;
#endif
    }
};

}  // namespace

std::vector<std::string> ChildEnvironment(const RunOptions& options) {
    std::map<std::string, std::string, NameOrder> variables;
    if (!options.clearEnvironment) {
        for (char** entry = ProcessEnvironment(); *entry != nullptr; ++entry) {
            const std::string text = *entry;
            // Windows keeps the current folder of each drive in variables
            // whose names begin with '=' ("=C:=C:\\work").
            const std::size_t equals = text.find('=', 1);
            if (equals != std::string::npos) {
                variables[text.substr(0, equals)] = text.substr(equals + 1);
            }
        }
    }
    // A test that wants a display names one: otherwise a developer's desktop
    // would get a dialog for every box the tests make the program show.
    variables.erase("DISPLAY");
    variables.erase("WAYLAND_DISPLAY");
    for (const auto& [name, value] : options.environment) {
        if (value) {
            variables[name] = *value;
        } else {
            variables.erase(name);
        }
    }
    std::vector<std::string> result;
    for (const auto& [name, value] : variables) {
        result.push_back(name + "=" + value);
    }
    return result;
}

RunResult RunKerfo(const std::vector<std::string>& arguments, const RunOptions& options) {
    if (!options.user) {
        return Run(KerfoBinary(), arguments, options);
    }
    // Another user may not enter the folders of the build (a clone in /root,
    // say): that user runs a copy that anybody may run.
    static const ScratchFolder shared;
    static const std::string copy = [] {
        using std::filesystem::perms;
        const perms anybodyRuns = perms::owner_all | perms::group_read | perms::group_exec |
                                  perms::others_read | perms::others_exec;
        const std::string path = shared / "kerfo";
        WriteFile(path, ReadFile(KerfoBinary()));
        std::filesystem::permissions(shared.Path(), anybodyRuns);
        std::filesystem::permissions(path, anybodyRuns);
        return path;
    }();
    return Run(copy, arguments, options);
}

ScratchFolder::ScratchFolder() {
    const std::filesystem::path temp = std::filesystem::temp_directory_path();
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "kerfo-test-%08x", static_cast<unsigned>(random()));
        const std::filesystem::path folder = temp / name;
        std::error_code error;
        if (std::filesystem::create_directory(folder, error)) {
            // The owner's alone, as mkdtemp makes it.
            std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace, error);
            path_ = folder.string();
            return;
        }
    }
    throw std::runtime_error("could not make a scratch folder in " + temp.string());
}

std::string ScratchFolder::operator/(const std::string& name) const {
    std::string path = path_ + kSeparator + name;
    std::replace(path.begin() + static_cast<std::ptrdiff_t>(path_.size()), path.end(), '/',
                 kSeparator);
    return path;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
#ifdef _WIN32
    // With the prefix that lifts the classic limit of 260 characters, for the
    // tests' deep folders.
    std::filesystem::remove_all(L"\\\\?\\" + std::filesystem::path(path_).wstring(), ignored);
#else
    std::filesystem::remove_all(path_, ignored);
#endif
}

TestBitmap MakePattern(unsigned width, unsigned height, unsigned bpp) {
    TestBitmap bitmap(FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height),
                                         static_cast<int>(bpp)));
    if (!bitmap)
        throw std::runtime_error("FreeImage_Allocate failed");
    if (bpp == 8) {
        RGBQUAD* palette = FreeImage_GetPalette(bitmap.get());
        for (unsigned i = 0; i < 256; ++i) {
            palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
        }
    }
    const unsigned bytes = bpp / 8;
    for (unsigned y = 0; y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(bitmap.get(), static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x) {
            BYTE* pixel = line + x * bytes;
            if (bpp == 8) {
                pixel[0] = static_cast<BYTE>(x * 7 + y * 13);
                continue;
            }
            pixel[FI_RGBA_RED] = static_cast<BYTE>(x * 5 + y);
            pixel[FI_RGBA_GREEN] = static_cast<BYTE>(y * 3 + x / 7);
            pixel[FI_RGBA_BLUE] = static_cast<BYTE>((x ^ y) * 11);
            if (bpp == 32)
                pixel[FI_RGBA_ALPHA] = static_cast<BYTE>(255 - (x + y) % 97);
        }
    }
    return bitmap;
}

namespace {

FREE_IMAGE_FORMAT FormatOf(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    auto endsWith = [&](const std::string& tail) {
        return lower.size() >= tail.size() &&
               lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
    };
    if (endsWith(".jpg") || endsWith(".jpeg"))
        return FIF_JPEG;
    if (endsWith(".png"))
        return FIF_PNG;
    if (endsWith(".bmp"))
        return FIF_BMP;
    throw std::runtime_error("no picture extension: " + path);
}

// The pixel at (x, y) counted from the top, as RGBA whatever the depth.
RGBQUAD PixelAt(FIBITMAP* bitmap, unsigned x, unsigned y) {
    const unsigned height = FreeImage_GetHeight(bitmap);
    const BYTE* line = FreeImage_GetScanLine(bitmap, static_cast<int>(height - 1 - y));
    const unsigned bpp = FreeImage_GetBPP(bitmap);
    RGBQUAD colour{};
    colour.rgbReserved = 255;
    if (bpp == 8) {
        const RGBQUAD* palette = FreeImage_GetPalette(bitmap);
        colour = palette[line[x]];
        colour.rgbReserved = 255;
    } else {
        const BYTE* pixel = line + x * (bpp / 8);
        colour.rgbRed = pixel[FI_RGBA_RED];
        colour.rgbGreen = pixel[FI_RGBA_GREEN];
        colour.rgbBlue = pixel[FI_RGBA_BLUE];
        if (bpp == 32)
            colour.rgbReserved = pixel[FI_RGBA_ALPHA];
    }
    return colour;
}

}  // namespace

void SavePictureFile(FIBITMAP* bitmap, const std::string& path, unsigned dotsPerMetre, int flags) {
    FreeImage_SetDotsPerMeterX(bitmap, dotsPerMetre);
    FreeImage_SetDotsPerMeterY(bitmap, dotsPerMetre);
    if (!FreeImage_Save(FormatOf(path), bitmap, path.c_str(), flags)) {
        throw std::runtime_error("could not save " + path);
    }
}

TestBitmap LoadPictureFile(const std::string& path) {
    // A JPEG as viewers decode it (and kerfo does): the accurate DCT and
    // smooth chroma.
    const FREE_IMAGE_FORMAT format = FormatOf(path);
    return TestBitmap(FreeImage_Load(format, path.c_str(), format == FIF_JPEG ? JPEG_ACCURATE : 0));
}

bool SameAsRegion(FIBITMAP* piece, FIBITMAP* whole, unsigned left, unsigned top, std::string* why) {
    const unsigned width = FreeImage_GetWidth(piece);
    const unsigned height = FreeImage_GetHeight(piece);
    if (left + width > FreeImage_GetWidth(whole) || top + height > FreeImage_GetHeight(whole)) {
        if (why)
            *why = "the piece reaches outside the picture";
        return false;
    }
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            const RGBQUAD a = PixelAt(piece, x, y);
            const RGBQUAD b = PixelAt(whole, left + x, top + y);
            if (a.rgbRed != b.rgbRed || a.rgbGreen != b.rgbGreen || a.rgbBlue != b.rgbBlue ||
                a.rgbReserved != b.rgbReserved) {
                if (why) {
                    std::ostringstream text;
                    text << "pixel (" << x << ", " << y << ") of the piece differs from ("
                         << left + x << ", " << top + y << ") of the picture";
                    *why = text.str();
                }
                return false;
            }
        }
    }
    return true;
}

double MeanDifference(FIBITMAP* piece, FIBITMAP* whole, unsigned left, unsigned top) {
    const unsigned width = FreeImage_GetWidth(piece);
    const unsigned height = FreeImage_GetHeight(piece);
    double sum = 0;
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            const RGBQUAD a = PixelAt(piece, x, y);
            const RGBQUAD b = PixelAt(whole, left + x, top + y);
            sum += std::abs(a.rgbRed - b.rgbRed) + std::abs(a.rgbGreen - b.rgbGreen) +
                   std::abs(a.rgbBlue - b.rgbBlue);
        }
    }
    return width * height == 0 ? 0 : sum / (3.0 * width * height);
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream file(path, std::ios::binary);
    file << contents;
}

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

namespace {

std::string BigEndian32(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

std::uint32_t ReadBigEndian32(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
           static_cast<unsigned char>(bytes[at + 3]);
}

}  // namespace

std::string PngChunk(const std::string& type, const std::string& data) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (const char c : type + data) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
        }
    }
    return BigEndian32(static_cast<std::uint32_t>(data.size())) + type + data +
           BigEndian32(crc ^ 0xFFFFFFFF);
}

std::string InsertPngChunks(const std::string& png, const std::string& chunks) {
    constexpr std::size_t kIhdrEnd = 8 + 4 + 4 + 13 + 4;
    return png.substr(0, kIhdrEnd) + chunks + png.substr(kIhdrEnd);
}

std::string PngChunksOfType(const std::string& png, const std::string& type) {
    std::string found;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::size_t length = ReadBigEndian32(png, at);
        if (png.compare(at + 4, 4, type) == 0) {
            found += png.substr(at, 12 + length);
        }
        at += 12 + length;
    }
    return found;
}

std::string JpegSegments(const std::string& jpeg, unsigned code) {
    std::string found;
    for (std::size_t at = 2; at + 4 <= jpeg.size();) {
        const unsigned marker = static_cast<unsigned char>(jpeg[at + 1]);
        const std::size_t length = static_cast<unsigned char>(jpeg[at + 2]) << 8 |
                                   static_cast<unsigned char>(jpeg[at + 3]);
        if (marker == 0xDA) {
            break;
        }
        if (marker == code) {
            found += jpeg.substr(at, 2 + length);
        }
        at += 2 + length;
    }
    return found;
}

std::string MagickPixels(const std::string& path, int left, int top, int width, int height,
                         bool shown) {
    std::vector<std::string> arguments = {path};
    if (shown) {
        // A transverse leaves a page offset behind, which a crop would count.
        arguments.insert(arguments.end(), {"-auto-orient", "+repage"});
    }
    if (width > 0) {
        arguments.insert(arguments.end(),
                         {"-crop",
                          std::to_string(width) + "x" + std::to_string(height) + "+" +
                              std::to_string(left) + "+" + std::to_string(top),
                          "+repage"});
    }
    arguments.insert(arguments.end(), {"-depth", "16", "-endian", "MSB", "rgba:-"});
    // A warning about data behind a BMP's end (exit code 1) still reads it.
    return Run("/usr/bin/convert", arguments).out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool MakeFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::create_directory(path, error);
}

}  // namespace kerfo::test
