// Saving the pieces of a picture.

#include "cut/pieces.h"

#include <optional>

#include "app/messages.h"
#include "cut/cut_jobs.h"
#include "cut/png_chunks.h"

namespace kerfo {
namespace {

// Whether an encoder reads no byte of a view beyond the piece's own pixels. A
// view shares its rows with the picture, so the bytes behind a row are the
// neighbouring pixels: the BMP encoder writes them as each row's padding to
// four bytes, and a row of 1- or 4-bit pixels that ends inside a byte takes
// the rest of that byte along. A view of such a row would carry pixels from
// outside the piece into its file.
bool ViewStaysInside(const PieceSpec& spec, unsigned bitsPerPixel, FREE_IMAGE_FORMAT format) {
    // A view must also start on a byte.
    if ((bitsPerPixel == 1 && spec.left % 8 != 0) || (bitsPerPixel == 4 && spec.left % 2 != 0)) {
        return false;
    }
    const unsigned long long rowBits =
        static_cast<unsigned long long>(spec.width) * static_cast<unsigned long long>(bitsPerPixel);
    if (rowBits % 8 != 0) {
        return false;
    }
    return format != FIF_BMP || rowBits % 32 == 0;
}

// The piece as a view into the picture's pixels where that is safe, otherwise
// as a copy; with the picture's metadata either way.
Bitmap PieceOf(FIBITMAP* picture, const PieceSpec& spec, FREE_IMAGE_FORMAT format) {
    if (!ViewStaysInside(spec, FreeImage_GetBPP(picture), format)) {
        return CopyRegion(picture, spec.left, spec.top, spec.width, spec.height);
    }
    Bitmap view(FreeImage_CreateView(picture, static_cast<unsigned>(spec.left),
                                     static_cast<unsigned>(spec.top),
                                     static_cast<unsigned>(spec.left + spec.width),
                                     static_cast<unsigned>(spec.top + spec.height)));
    if (view) {
        FreeImage_CloneMetadata(view.get(), picture);
    }
    return view;
}

}  // namespace

void SavePieces(const char* input, Bitmap picture, const std::vector<PieceSpec>& pieces,
                int quality) {
    std::vector<std::string> names;
    for (const PieceSpec& spec : pieces) {
        names.push_back(spec.name);
    }
    PieceSet set(std::move(names));

    const bool pngPicture = FormatForName(input) == FIF_PNG;
    const PngColour colour = pngPicture ? ReadPngColourOf(input) : PngColour{};
    auto save = [&](std::size_t index, FIBITMAP* from) {
        const Bitmap piece = PieceOf(from, pieces[index], set.Format(index));
        std::string chunks;
        if (pngPicture && set.Format(index) == FIF_PNG && piece) {
            // The picture's own chunks, profile included, byte for byte; the
            // library would write the profile a second time.
            chunks = colour.chunks;
            if (chunks.find("iCCP") != std::string::npos) {
                FreeImage_DestroyICCProfile(piece.get());
            }
        }
        set.Save(index, piece.get(), quality, chunks);
    };

    bool needsDisplaySamples = false;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (pngPicture && set.Format(i) != FIF_PNG && GammaCorrectionChangesSamples(colour)) {
            needsDisplaySamples = true;  // saved below, from the corrected picture
            continue;
        }
        save(i, picture.get());
    }
    if (needsDisplaySamples) {
        // One picture in memory at a time: the stored samples go before the
        // corrected ones are decoded.
        const unsigned width = FreeImage_GetWidth(picture.get());
        const unsigned height = FreeImage_GetHeight(picture.get());
        picture.reset();
        const Bitmap corrected = LoadPicture(input, Samples::ForDisplay);
        if (FreeImage_GetWidth(corrected.get()) != width ||
            FreeImage_GetHeight(corrected.get()) != height) {
            Fatal("Couldn't open input file: %s\nIt changed while it was being cut.", input);
        }
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            if (set.Format(i) != FIF_PNG) {
                save(i, corrected.get());
            }
        }
    }
    set.Commit();
}

}  // namespace kerfo
