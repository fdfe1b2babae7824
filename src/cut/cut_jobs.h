#pragma once
// The two cutting jobs: a cut to width or height, and a grid cut.

#include <string>
#include <string_view>

namespace kerfo {

// Cuts the picture into a left piece of the given size and the rest. names holds
// count names: with 1 the left piece replaces the input, with 2 it goes to the
// second name, with 3 the rest also goes to the third; a name "-" means that
// piece is not saved. Any other count ends the run with the usage text and
// exit code 1 before anything is read (FatalUsage). Returns 0 when the job has
// run; every failure ends the run through Fatal, before any file is written.
// With lossless, the pieces are cut from the JPEG's own coded blocks (see
// cut/lossless.h), and a cut that can't be lossless is refused.
int CutToWidth(int count, const char* const* names, const char* sizeText, int quality,
               bool lossless = false);

// As CutToWidth, with a top piece of the given height and the rest below it.
int CutToHeight(int count, const char* const* names, const char* sizeText, int quality,
                bool lossless = false);

// Cuts the picture into rows x columns tiles of equal size and saves each beside
// the input as "name-rr-cc.ext". Rows or columns below 1 end the run with the
// usage text and exit code 1 before the picture is read (FatalUsage). Returns
// 0 when every tile is saved. With lossless, as for CutToWidth.
int CutGrid(const char* path, int rows, int columns, int quality, bool lossless = false);

// "%s-%02d-%02d%s" filled with the stem, row, column and extension.
std::string FormatTileName(std::string_view stem, int row, int column, std::string_view extension);

}  // namespace kerfo
