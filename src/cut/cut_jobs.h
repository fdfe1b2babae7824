#pragma once
// The two cutting jobs: a cut to width or height, and a grid cut.

#include <string>
#include <string_view>

namespace kerfo {

// How a job cuts, beyond the quality.
struct CutOptions {
    // The pieces are cut from the JPEG's own coded blocks (see cut/lossless.h),
    // and a cut that can't be lossless is refused.
    bool lossless = false;
    // The picture is cut as viewers show it: its EXIF orientation applied
    // first, every piece saved upright.
    bool shown = false;
    // A grid's tiles take every pixel: column c spans from (c - 1) * W / cols
    // to c * W / cols, rounded down, and rows the same.
    bool whole = false;
    // The size that neighbouring tiles share (a size text as for -w); none
    // when they share nothing.
    const char* overlap = nullptr;
};

// Cuts the picture into a left piece of the given size and the rest. names holds
// count names: with 1 the left piece replaces the input, with 2 it goes to the
// second name, with 3 the rest also goes to the third; a name "-" means that
// piece is not saved. Any other count ends the run with the usage text and
// exit code 1 before anything is read (FatalUsage). Returns 0 when the job has
// run; every failure ends the run through Fatal, before any file is written.
// The options' lossless and shown apply (see CutOptions).
int CutToWidth(int count, const char* const* names, const char* sizeText, int quality,
               const CutOptions& options = {});

// As CutToWidth, with a top piece of the given height and the rest below it.
int CutToHeight(int count, const char* const* names, const char* sizeText, int quality,
                const CutOptions& options = {});

// Cuts the picture into rows x columns tiles of equal size and saves each beside
// the input as "name-rr-cc.ext". Rows or columns below 1 end the run with the
// usage text and exit code 1 before the picture is read (FatalUsage). Returns
// 0 when every tile is saved. Every option applies (see CutOptions); without
// whole, the pixels that are left over at the right and bottom are in no tile.
int CutGrid(const char* path, int rows, int columns, int quality, const CutOptions& options = {});

// Cuts the picture into tiles of the size given by the two size texts (as for
// CutToWidth: pixels, %, in, cm or mm, of the picture's width and height),
// from the top left corner; the last column and row hold what is left, so
// that every pixel is in a tile. With an overlap the tiles keep their size and
// start every size less the overlap, until one reaches the right (bottom)
// edge. Saves them as CutGrid does.
int CutTiles(const char* path, const char* widthText, const char* heightText, int quality,
             const CutOptions& options = {});

// "%s-%02d-%02d%s" filled with the stem, row, column and extension.
std::string FormatTileName(std::string_view stem, int row, int column, std::string_view extension);

}  // namespace kerfo
