// The picture a job cuts.

#include "cut/picture_source.h"

#include <utility>

#include "cut/pieces.h"
#include "error/fatal.h"
#include "formats/exif.h"

namespace kerfo {
namespace {

// The path, once a lossless cut is known to be of a JPEG by name; the name's
// other faults are the file's to find.
const char* CheckLosslessName(const char* path, bool lossless) {
    const std::optional<FREE_IMAGE_FORMAT> format = FormatForName(path);
    if (lossless && format && *format != FIF_JPEG) {
        Fatal("-lossless cuts JPEG pictures only, and %s is not one.", path);
    }
    return path;
}

}  // namespace

PictureSource::PictureSource(const char* path, bool lossless, bool shown,
                             std::optional<std::uint64_t> memoryLimit)
    : file_(CheckLosslessName(path, lossless), memoryLimit) {
    if (lossless) {
        lossless_ = ReadLosslessPicture(file_, shown);
        facts_ = lossless_->facts;
        return;
    }
    bitmap_ = file_.Load(Samples::AsStored, &colour_);
    if (shown) {
        orientation_ = ExifOrientation(RawExif(bitmap_.get()));
        bitmap_ = TurnedUpright(std::move(bitmap_), orientation_);
    }
    facts_.width = FreeImage_GetWidth(bitmap_.get());
    facts_.height = FreeImage_GetHeight(bitmap_.get());
    facts_.dotsPerMeterX = FreeImage_GetDotsPerMeterX(bitmap_.get());
    facts_.dotsPerMeterY = FreeImage_GetDotsPerMeterY(bitmap_.get());
}

void PictureSource::CheckPieceFormats(const std::vector<PieceSpec>& pieces) const {
    if (lossless_) {
        RequireJpegNames(pieces);
    }
}

void PictureSource::SavePieces(const std::vector<PieceSpec>& pieces, int quality, bool keepInput) {
    if (lossless_) {
        SaveLosslessPieces(*lossless_, file_, pieces, keepInput);
    } else {
        SaveDecodedPieces(file_, std::move(bitmap_), colour_, pieces, quality, keepInput,
                          orientation_);
    }
}

}  // namespace kerfo
