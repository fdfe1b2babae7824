// Grid cut: rows x columns tiles of equal size, saved beside the input as
// "name-rr-cc.ext", row by row and left to right within a row.

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cut/block_grid.h"
#include "cut/cut_jobs.h"
#include "cut/picture_source.h"
#include "error/fatal.h"

namespace kerfo {

std::string FormatTileName(std::string_view stem, int row, int column, std::string_view extension) {
    char numbers[32];
    std::snprintf(numbers, sizeof numbers, "-%02d-%02d", row, column);
    std::string name;
    name.reserve(stem.size() + std::char_traits<char>::length(numbers) + extension.size());
    name.append(stem).append(numbers).append(extension);
    return name;
}

int CutGrid(const char* path, int rows, int columns, int quality, bool lossless) {
    if (rows < 1 || columns < 1) {
        FatalUsage();
    }
    PictureSource picture(path, lossless);
    const unsigned width = picture.Facts().width;
    const unsigned height = picture.Facts().height;
    const unsigned tileWidth = width / static_cast<unsigned>(columns);
    const unsigned tileHeight = height / static_cast<unsigned>(rows);
    if (tileWidth == 0 || tileHeight == 0) {
        Fatal(
            "A grid of %d rows and %d columns doesn't fit %s: the picture is %u x %u pixels, "
            "so a tile would be empty.",
            rows, columns, path, width, height);
    }

    const std::string_view whole(path);
    const std::string_view extension = PictureExtension(whole);
    const std::string_view stem = whole.substr(0, whole.size() - extension.size());

    std::vector<PieceSpec> tiles;
    tiles.reserve(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
    for (int row = 1; row <= rows; ++row) {
        const int top = static_cast<int>(tileHeight) * (row - 1);
        for (int column = 1; column <= columns; ++column) {
            const int left = static_cast<int>(tileWidth) * (column - 1);
            tiles.push_back({FormatTileName(stem, row, column, extension), left, top,
                             static_cast<int>(tileWidth), static_cast<int>(tileHeight)});
        }
    }
    picture.CheckPieceFormats(tiles);
    if (const auto reason = OffGridTiles(rows, columns, width, height, picture.Facts().blockWidth,
                                         picture.Facts().blockHeight)) {
        Fatal("%s", reason->c_str());
    }
    picture.SavePieces(tiles, quality, true);
    return 0;
}

}  // namespace kerfo
