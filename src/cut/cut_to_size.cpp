// Cut to width or height: a left (or top) piece of the given size and the rest.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cut/block_grid.h"
#include "cut/cut_jobs.h"
#include "cut/picture_source.h"
#include "cut/size_spec.h"
#include "error/fatal.h"

namespace kerfo {
namespace {

enum class Axis { Width, Height };

struct AxisTraits {
    const char* dimensionName;  // "wide" or "high"
    const char* firstPieceName;
};

AxisTraits TraitsOf(Axis axis) {
    return axis == Axis::Width ? AxisTraits{"wide", "left"} : AxisTraits{"high", "top"};
}

bool IsSkipped(const char* name) {
    return std::string_view(name) == "-";
}

// Checks, before anything is written, that every piece to be saved is a
// non-empty rectangle inside the picture. The first piece needs a size from 1
// to the dimension, the rest one from 0 to the dimension less 1.
void CheckSize(Axis axis, const char* sizeText, int pixels, unsigned dimension, int dpi,
               const char* input, bool saveFirst, bool saveRest) {
    if (!saveFirst && !saveRest) {
        return;
    }
    const AxisTraits traits = TraitsOf(axis);
    RequireResolution(sizeText, dpi, input);
    const long long lowest = saveFirst ? 1 : 0;
    const long long highest = saveRest ? static_cast<long long>(dimension) - 1 : dimension;
    if (lowest > highest) {
        Fatal("Size %s can't be used: the picture is only %u pixel%s %s, too little to cut in two.",
              sizeText, dimension, dimension == 1 ? "" : "s", traits.dimensionName);
    }
    if (pixels < lowest || pixels > highest) {
        Fatal(
            "Size %s is %d pixels, but the picture is %u pixels %s: the %s piece must be from "
            "%lld to %lld pixels.",
            sizeText, pixels, dimension, traits.dimensionName, traits.firstPieceName, lowest,
            highest);
    }
}

int CutToSize(Axis axis, int count, const char* const* names, const char* sizeText, int quality,
              const CutOptions& options) {
    if (count < 1 || count > 3) {
        FatalUsage();
    }
    const char* input = names[0];
    const char* firstName = count == 1 ? names[0] : names[1];
    const char* restName = count == 3 ? names[2] : "-";

    PictureSource picture(input, options.lossless, options.shown);
    const unsigned width = picture.Facts().width;
    const unsigned height = picture.Facts().height;
    const int dpi = DotsPerInch(axis == Axis::Width ? picture.Facts().dotsPerMeterX
                                                    : picture.Facts().dotsPerMeterY);
    const unsigned dimension = axis == Axis::Width ? width : height;
    const int pixels = SizeToPixels(sizeText, static_cast<int>(dimension), dpi);
    const bool saveFirst = !IsSkipped(firstName);
    const bool saveRest = !IsSkipped(restName);
    CheckSize(axis, sizeText, pixels, dimension, dpi, input, saveFirst, saveRest);

    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    // Both pieces come from the picture in memory, so writing the first over
    // the input does not change the rest.
    std::vector<PieceSpec> pieces;
    if (saveFirst) {
        pieces.push_back(axis == Axis::Width ? PieceSpec{firstName, 0, 0, pixels, h}
                                             : PieceSpec{firstName, 0, 0, w, pixels});
    }
    if (saveRest) {
        pieces.push_back(axis == Axis::Width ? PieceSpec{restName, pixels, 0, w - pixels, h}
                                             : PieceSpec{restName, 0, pixels, w, h - pixels});
    }
    picture.CheckPieceFormats(pieces);
    // The first piece starts at the corner; the rest starts where the size ends.
    if (saveRest) {
        const int block =
            axis == Axis::Width ? picture.Facts().blockWidth : picture.Facts().blockHeight;
        if (const auto reason =
                OffGridSize(sizeText, pixels, dimension, block, TraitsOf(axis).dimensionName)) {
            Fatal("%s", reason->c_str());
        }
    }
    picture.SavePieces(pieces, quality, false);
    return 0;
}

}  // namespace

int CutToWidth(int count, const char* const* names, const char* sizeText, int quality,
               const CutOptions& options) {
    return CutToSize(Axis::Width, count, names, sizeText, quality, options);
}

int CutToHeight(int count, const char* const* names, const char* sizeText, int quality,
                const CutOptions& options) {
    return CutToSize(Axis::Height, count, names, sizeText, quality, options);
}

}  // namespace kerfo
