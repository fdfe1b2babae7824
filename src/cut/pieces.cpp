// Saving the pieces of a decoded picture.

#include "cut/pieces.h"

#include <atomic>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "cut/cut_jobs.h"
#include "error/fatal.h"
#include "formats/exif.h"
#include "formats/png_chunks.h"
#include "formats/xmp.h"
#include "platform/platform.h"
#include "platform/safe_file.h"

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

// Whether the JPEG encoder would read past the picture's memory through a view:
// it copies a whole row of the picture's width from where each row of a 24-bit
// piece starts, and the picture's top row is the last in memory.
bool EncoderReadsPastThePicture(const PieceSpec& spec, FIBITMAP* picture,
                                FREE_IMAGE_FORMAT format) {
    return format == FIF_JPEG && FreeImage_GetImageType(picture) == FIT_BITMAP &&
           FreeImage_GetBPP(picture) == 24 && spec.left > 0 && spec.top == 0;
}

// Moves the piece's pixels to the start of their rows, in place: the picture
// is left unfit for any other piece.
PieceSpec MoveToRowStarts(FIBITMAP* picture, const PieceSpec& spec) {
    const unsigned bytesPerPixel = FreeImage_GetBPP(picture) / 8;
    const unsigned height = FreeImage_GetHeight(picture);
    for (int y = spec.top; y < spec.top + spec.height; ++y) {
        BYTE* row = FreeImage_GetScanLine(picture, static_cast<int>(height) - 1 - y);
        std::memmove(row, row + static_cast<std::size_t>(spec.left) * bytesPerPixel,
                     static_cast<std::size_t>(spec.width) * bytesPerPixel);
    }
    PieceSpec moved = spec;
    moved.left = 0;
    return moved;
}

// The piece as a view into the picture's pixels where that is safe, otherwise
// as a copy; with the picture's metadata either way. The last piece cut from a
// picture may take the picture's memory for itself.
Bitmap PieceOf(FIBITMAP* picture, PieceSpec spec, FREE_IMAGE_FORMAT format, bool lastOfPicture) {
    if (EncoderReadsPastThePicture(spec, picture, format)) {
        if (!lastOfPicture) {
            return CopyRegion(picture, spec.left, spec.top, spec.width, spec.height);
        }
        spec = MoveToRowStarts(picture, spec);
    }
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

// The piece's pixels copied into buffer, a bitmap kept from the last piece of
// the same size, so that a grid's tiles cost no new memory each: the same
// bitmap as a copy of the rectangle would be, its metadata the picture's. A
// buffer of another size, or pixels that don't start on a byte, make a new
// copy.
void CopyInto(Bitmap& buffer, FIBITMAP* picture, const PieceSpec& spec) {
    const unsigned bits = FreeImage_GetBPP(picture);
    if (!buffer || bits % 8 != 0 || FreeImage_GetBPP(buffer.get()) != bits ||
        FreeImage_GetImageType(buffer.get()) != FreeImage_GetImageType(picture) ||
        static_cast<int>(FreeImage_GetWidth(buffer.get())) != spec.width ||
        static_cast<int>(FreeImage_GetHeight(buffer.get())) != spec.height) {
        buffer = CopyRegion(picture, spec.left, spec.top, spec.width, spec.height);
        return;
    }
    const unsigned height = FreeImage_GetHeight(picture);
    const std::size_t line = FreeImage_GetLine(buffer.get());
    for (int y = 0; y < spec.height; ++y) {
        const BYTE* from =
            FreeImage_GetScanLine(picture, static_cast<int>(height) - 1 - (spec.top + y)) +
            static_cast<std::size_t>(spec.left) * (bits / 8);
        std::memcpy(FreeImage_GetScanLine(buffer.get(), spec.height - 1 - y), from, line);
    }
}

// Runs work(index, worker) for every index below count, each once, on as many
// threads as workers, the calling one among them; worker tells the thread (0
// to workers - 1). The first failure (a Fatal) keeps the rest from starting
// and is thrown again here once every thread has ended.
void ForEachOnThreads(std::size_t count, std::size_t workers,
                      const std::function<void(std::size_t, std::size_t)>& work) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto run = [&](std::size_t worker) {
        try {
            for (std::size_t i = next++; i < count && !failed; i = next++) {
                work(i, worker);
            }
        } catch (...) {
            const std::lock_guard<std::mutex> lock(failureLock);
            if (!failure) {
                failure = std::current_exception();
            }
            failed = true;
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t worker = 1; worker < workers; ++worker) {
        threads.push_back(platform::StartWorkerThread([&run, worker] { run(worker); }));
    }
    run(0);
    for (std::thread& thread : threads) {
        thread.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

}  // namespace

Bitmap CopyRegion(FIBITMAP* bitmap, int left, int top, int width, int height) {
    return Bitmap(FreeImage_Copy(bitmap, left, top, left + width, top + height));
}

void SaveDecodedPieces(PictureFile& file, Bitmap picture, const PngColour& colour,
                       const std::vector<PieceSpec>& pieces, int quality, bool keepInput,
                       unsigned orientation) {
    const bool upright = orientation != 1;
    const char* input = file.Path().c_str();
    PieceSet set(pieces, keepInput ? input : nullptr);

    const bool pngPicture = file.Format() == FIF_PNG;
    auto saveAs = [&](std::size_t index, FIBITMAP* from, FIBITMAP* piece) {
        const PieceSpec& spec = pieces[index];
        const bool pngOfPng = pngPicture && set.Format(index) == FIF_PNG && piece != nullptr;
        if (pngOfPng && colour.chunks.find("iCCP") != std::string::npos) {
            // The picture's own chunks, profile included, byte for byte; the
            // library would write the profile a second time.
            FreeImage_DestroyICCProfile(piece);
        }
        // The metadata of the picture's size made the piece's, in the formats
        // whose pieces the library gives it: EXIF in a JPEG, XMP in a JPEG
        // and a PNG.
        const auto width = static_cast<std::uint32_t>(spec.width);
        const auto height = static_cast<std::uint32_t>(spec.height);
        const bool jpeg = set.Format(index) == FIF_JPEG;
        if (jpeg && piece != nullptr && !RawExif(from).empty()) {
            SetRawExif(piece, PieceExif(RawExif(from), width, height, upright));
        }
        if ((jpeg || set.Format(index) == FIF_PNG) && piece != nullptr &&
            !XmpPacket(from).empty()) {
            SetXmpPacket(piece, PieceXmp(XmpPacket(from), width, height, upright));
        }
        set.Save(index, piece, quality, pngOfPng ? &colour : nullptr);
    };
    auto save = [&](std::size_t index, FIBITMAP* from, bool lastOfPicture) {
        const Bitmap piece = PieceOf(from, pieces[index], set.Format(index), lastOfPicture);
        saveAs(index, from, piece.get());
    };
    // Many pieces (a grid's tiles) are encoded on every core, each thread with
    // one tile in memory at a time: a JPEG tile is copied into a bitmap the
    // thread keeps (the JPEG encoder would copy a whole row of the picture's
    // width for every row of a view), the others are views where that is safe.
    // The picture is only read. A few pieces go one after the other, as views:
    // a thread of their own would cost more than it saves.
    const std::size_t threads = platform::UsableCores();
    auto saveAll = [&](const std::vector<std::size_t>& indices, FIBITMAP* from) {
        if (threads < 2 || indices.size() <= threads) {
            for (std::size_t i : indices) {
                save(i, from, i == indices.back());
            }
            return;
        }
        std::vector<Bitmap> buffers(threads);
        ForEachOnThreads(indices.size(), threads, [&](std::size_t n, std::size_t worker) {
            const std::size_t index = indices[n];
            if (set.Format(index) == FIF_JPEG) {
                CopyInto(buffers[worker], from, pieces[index]);
                saveAs(index, from, buffers[worker].get());
            } else {
                save(index, from, false);
            }
        });
    };

    // The pieces cut from the stored samples, and those cut from samples
    // corrected for the display: the JPEG and BMP pieces of a PNG whose gamma
    // matters.
    const bool correct = pngPicture && GammaCorrectionChangesSamples(colour);
    std::vector<std::size_t> fromStored;
    std::vector<std::size_t> fromCorrected;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        (correct && set.Format(i) != FIF_PNG ? fromCorrected : fromStored).push_back(i);
    }
    saveAll(fromStored, picture.get());
    if (!fromCorrected.empty()) {
        // One picture in memory at a time: the stored samples go before the
        // corrected ones are decoded.
        const unsigned width = FreeImage_GetWidth(picture.get());
        const unsigned height = FreeImage_GetHeight(picture.get());
        picture.reset();
        const Bitmap corrected = TurnedUpright(file.Load(Samples::ForDisplay), orientation);
        if (FreeImage_GetWidth(corrected.get()) != width ||
            FreeImage_GetHeight(corrected.get()) != height) {
            Fatal("Couldn't open input file: %s\nIt changed while it was being cut.", input);
        }
        saveAll(fromCorrected, corrected.get());
    }
    file.Close();
    set.Commit();
}

}  // namespace kerfo
