// Lossless JPEG cuts through TurboJPEG's transform.

#include "cut/lossless.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string_view>

#include "app/messages.h"
#include "cut/exif.h"
#include "cut/picture_header.h"
#include "platform/platform.h"

namespace kerfo {
namespace {

// How many column or row counts a message names at most.
constexpr std::size_t kMostSuggestions = 12;

struct DestroyTurboJpeg {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TurboJpeg = std::unique_ptr<void, DestroyTurboJpeg>;

// The output buffers TurboJPEG allocates, released with the object.
struct PieceBuffers {
    explicit PieceBuffers(std::size_t count) : data(count, nullptr), sizes(count, 0) {}
    ~PieceBuffers() {
        for (unsigned char* buffer : data) {
            tjFree(buffer);
        }
    }
    PieceBuffers(const PieceBuffers&) = delete;
    PieceBuffers& operator=(const PieceBuffers&) = delete;
    void Release(std::size_t index) {
        tjFree(data[index]);
        data[index] = nullptr;
    }
    std::vector<unsigned char*> data;
    std::vector<unsigned long> sizes;
};

[[noreturn]] void Refuse(const char* path, const std::string& reason) {
    Fatal("Couldn't open input file: %s\n%s", path, reason.c_str());
}

// The counts of columns (or rows) from 1 up that cut a dimension into tiles
// of whole MCUs, as a text: "1, 2, 3, 5 or 6", or the first dozen "and more".
std::string CountsThatWork(unsigned dimension, int blockSize) {
    std::vector<unsigned> counts;
    bool more = false;
    for (unsigned count = 1; count <= dimension / static_cast<unsigned>(blockSize) || count == 1;
         ++count) {
        if (count == 1 || (dimension / count) % static_cast<unsigned>(blockSize) == 0) {
            if (counts.size() == kMostSuggestions) {
                more = true;
                break;
            }
            counts.push_back(count);
        }
    }
    std::string text;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (i > 0) {
            text += i + 1 == counts.size() && !more ? " or " : ", ";
        }
        text += std::to_string(counts[i]);
    }
    return more ? text + " and more" : text;
}

// The markers of a lossless piece made its own: its EXIF segments rewritten
// for its size (see PieceExif), JFXX thumbnails (of the whole picture) left
// out, every other segment as it is. The markers up to the first other than an
// APPn or comment, as they are to be written; the piece goes on at restAt.
struct PieceMarkers {
    std::string bytes;
    std::size_t restAt = 0;
};

PieceMarkers MarkersOfPiece(const unsigned char* piece, std::size_t size, const PieceSpec& spec) {
    PieceMarkers markers{
        std::string(reinterpret_cast<const char*>(piece), std::min<std::size_t>(size, 2)), 2};
    std::size_t& at = markers.restAt;
    while (at + 4 <= size && piece[at] == 0xFF) {
        const unsigned marker = piece[at + 1];
        const std::size_t length = BigEndian16(piece + at + 2);
        if (!((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE) || length < 2 ||
            at + 2 + length > size) {
            break;
        }
        const std::string_view segment(reinterpret_cast<const char*>(piece) + at, 2 + length);
        const std::string_view data = segment.substr(4);
        if (marker == 0xE1 && data.substr(0, 6) == std::string_view("Exif\0\0", 6)) {
            const std::string exif = PieceExif(data, static_cast<std::uint32_t>(spec.width),
                                               static_cast<std::uint32_t>(spec.height));
            markers.bytes += {'\xFF', '\xE1', static_cast<char>((exif.size() + 2) >> 8),
                              static_cast<char>(exif.size() + 2)};
            markers.bytes += exif;
        } else if (!(marker == 0xE0 && data.substr(0, 5) == std::string_view("JFXX\0", 5))) {
            markers.bytes += segment;
        }
        at += segment.size();
    }
    return markers;
}

}  // namespace

LosslessPicture ReadLosslessPicture(const char* path) {
    const std::optional<FREE_IMAGE_FORMAT> format = FormatForName(path);
    if (!format) {
        Fatal("Input file: %s - must end in .jpg or .jpeg", path);
    }
    if (*format != FIF_JPEG) {
        Fatal("-lossless cuts JPEG pictures only, and %s is not one.", path);
    }
    const platform::InputFile file = platform::OpenInputFile(path);
    if (file.status == platform::InputFile::Status::NotARegularFile) {
        Refuse(path, "It is not a regular file.");
    }
    if (file.status != platform::InputFile::Status::Opened) {
        Fatal("Couldn't open input file: %s", path);
    }
    LosslessPicture picture;
    picture.path = path;
    {
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(file.stream, std::fclose);
        picture.bytes.resize(static_cast<std::size_t>(file.size));
        if (std::fread(picture.bytes.data(), 1, picture.bytes.size(), stream.get()) !=
            picture.bytes.size()) {
            Fatal("Couldn't open input file: %s", path);
        }
    }

    MemorySource source(picture.bytes.data(), picture.bytes.size());
    const std::optional<PictureClaim> claim = ReadPictureClaim(FIF_JPEG, source);
    if (!claim) {
        Refuse(path, NeedsClaim(FIF_JPEG, source)
                         ? "Its header is damaged: the picture's size can't be read."
                         : "Not a JPEG file.");
    }
    // The cut holds every coefficient of the picture, and as much again for
    // the pieces it crops from them.
    PictureClaim coefficients = *claim;
    coefficients.bitsPerPixel = 0;
    coefficients.decoderBytes = 2 * claim->coefficientBytes;
    std::optional<std::uint64_t> available = platform::AvailableMemory();
    if (available) {
        *available -= std::min(*available, static_cast<std::uint64_t>(picture.bytes.size()));
    }
    if (const auto reason = RefusalOfClaim(coefficients, picture.bytes.size(), available)) {
        Refuse(path, *reason);
    }

    const TurboJpeg handle(tjInitTransform());
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (!handle || tjDecompressHeader3(handle.get(), picture.bytes.data(),
                                       static_cast<unsigned long>(picture.bytes.size()), &width,
                                       &height, &subsampling, &colourspace) != 0) {
        Refuse(path, handle ? tjGetErrorStr2(handle.get()) : "The JPEG library can't start.");
    }
    picture.width = static_cast<unsigned>(width);
    picture.height = static_cast<unsigned>(height);
    picture.blockWidth = tjMCUWidth[subsampling];
    picture.blockHeight = tjMCUHeight[subsampling];
    picture.dotsPerMeterX = claim->dotsPerMeterX;
    picture.dotsPerMeterY = claim->dotsPerMeterY;
    picture.progressive = claim->progressive;
    return picture;
}

void RequireJpegNames(const std::vector<PieceSpec>& pieces) {
    for (const PieceSpec& piece : pieces) {
        if (FormatForName(piece.name) != FIF_JPEG) {
            Fatal("-lossless makes JPEG pieces only, and %s is no JPEG name.", piece.name.c_str());
        }
    }
}

std::optional<std::string> OffGridSize(const char* sizeText, int pixels, unsigned dimension,
                                       int blockSize, const char* axisWord) {
    if (pixels % blockSize == 0) {
        return std::nullopt;
    }
    const long long below = static_cast<long long>(pixels) / blockSize * blockSize;
    const long long above = below + blockSize;
    const long long highest = static_cast<long long>(dimension) - 1;
    std::string sizes;
    if (below >= 1 && above <= highest) {
        sizes = std::to_string(below) + " or " + std::to_string(above) + " cut losslessly";
    } else if (below >= 1) {
        sizes = "only " + std::to_string(below) + " cuts losslessly";
    } else if (above <= highest) {
        sizes = "only " + std::to_string(above) + " cuts losslessly";
    } else {
        sizes = "no size cuts it losslessly";
    }
    char text[300];
    std::snprintf(text, sizeof text,
                  "Size %s is %d pixels, where the rest can't start losslessly: the picture's "
                  "blocks are %d pixels %s: %s.",
                  sizeText, pixels, blockSize, axisWord, sizes.c_str());
    return std::string(text);
}

std::optional<std::string> OffGridTiles(int rows, int columns, const LosslessPicture& picture) {
    const unsigned tileWidth = picture.width / static_cast<unsigned>(columns);
    const unsigned tileHeight = picture.height / static_cast<unsigned>(rows);
    const bool widthOff = columns > 1 && tileWidth % static_cast<unsigned>(picture.blockWidth) != 0;
    const bool heightOff = rows > 1 && tileHeight % static_cast<unsigned>(picture.blockHeight) != 0;
    if (!widthOff && !heightOff) {
        return std::nullopt;
    }
    std::string advice;
    if (widthOff) {
        advice +=
            " Columns that cut losslessly: " + CountsThatWork(picture.width, picture.blockWidth) +
            ".";
    }
    if (heightOff) {
        advice +=
            " Rows that cut losslessly: " + CountsThatWork(picture.height, picture.blockHeight) +
            ".";
    }
    char text[400];
    std::snprintf(text, sizeof text,
                  "A grid of %d rows and %d columns can't be cut losslessly: its tiles are %u x "
                  "%u pixels, and the picture's blocks are %d x %d, where every tile must "
                  "start.%s",
                  rows, columns, tileWidth, tileHeight, picture.blockWidth, picture.blockHeight,
                  advice.c_str());
    return std::string(text);
}

void SaveLosslessPieces(const LosslessPicture& picture, const std::vector<PieceSpec>& pieces,
                        bool keepInput) {
    std::vector<std::string> names;
    std::vector<tjtransform> transforms;
    for (const PieceSpec& piece : pieces) {
        names.push_back(piece.name);
        tjtransform transform{};
        transform.r = {piece.left, piece.top, piece.width, piece.height};
        transform.op = TJXOP_NONE;
        // A progressive picture gives progressive pieces; markers are copied.
        transform.options = TJXOPT_CROP | (picture.progressive ? TJXOPT_PROGRESSIVE : 0);
        transforms.push_back(transform);
    }
    PieceSet set(std::move(names), keepInput ? picture.path.c_str() : nullptr);
    if (pieces.empty()) {
        return;
    }

    const TurboJpeg handle(tjInitTransform());
    if (!handle) {
        Fatal("Couldn't cut %s losslessly: the JPEG library can't start.", picture.path.c_str());
    }
    PieceBuffers buffers(pieces.size());
    const int result = tjTransform(handle.get(), picture.bytes.data(),
                                   static_cast<unsigned long>(picture.bytes.size()),
                                   static_cast<int>(pieces.size()), buffers.data.data(),
                                   buffers.sizes.data(), transforms.data(), TJFLAG_LIMITSCANS);
    if (result != 0) {
        // A warning still gives pieces; one that says pixels were lost refuses them.
        const std::string reason = tjGetErrorStr2(handle.get());
        if (tjGetErrorCode(handle.get()) != TJERR_WARNING || ReportsDamage(reason)) {
            Refuse(picture.path.c_str(), reason);
        }
    }
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const PieceMarkers markers = MarkersOfPiece(buffers.data[i], buffers.sizes[i], pieces[i]);
        set.SaveBytes(
            i, {markers.bytes,
                std::string_view(reinterpret_cast<const char*>(buffers.data[i] + markers.restAt),
                                 buffers.sizes[i] - markers.restAt)});
        buffers.Release(i);
    }
    set.Commit();
}

}  // namespace kerfo
