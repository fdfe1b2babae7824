// Grid cut and tiles of a size: tiles saved beside the input as
// "name-rr-cc.ext", row by row and left to right within a row.

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cut/block_grid.h"
#include "cut/cut_jobs.h"
#include "cut/picture_source.h"
#include "cut/size_spec.h"
#include "error/fatal.h"

namespace kerfo {
namespace {

// Where the tiles of one column (or row) lie along the picture's width (or
// height).
struct Span {
    int start = 0;
    int length = 0;
};

// The columns of a grid of count tiles along dimension pixels: each
// dimension / count long, the pixels left over in none; or with whole, from
// (c - 1) * dimension / count to c * dimension / count, rounded down. Every
// tile but the last reaches overlap pixels into the next.
std::vector<Span> GridSpans(unsigned dimension, int count, bool whole, int overlap) {
    std::vector<Span> spans;
    const unsigned long long length = dimension;
    for (int c = 0; c < count; ++c) {
        const auto start = static_cast<int>(whole ? c * length / static_cast<unsigned>(count)
                                                  : c * (length / static_cast<unsigned>(count)));
        const auto end =
            static_cast<int>(whole ? (c + 1) * length / static_cast<unsigned>(count)
                                   : (c + 1) * (length / static_cast<unsigned>(count)));
        spans.push_back({start, end - start + (c + 1 < count ? overlap : 0)});
    }
    return spans;
}

// The columns of tiles of size pixels along dimension pixels: they start every
// size - overlap pixels, until one reaches the edge, which the last ends at.
std::vector<Span> TileSpans(unsigned dimension, int size, int overlap) {
    std::vector<Span> spans;
    const long long end = dimension;
    const long long step = size - overlap;
    for (long long start = 0;; start += step) {
        if (start + size >= end) {
            spans.push_back({static_cast<int>(start), static_cast<int>(end - start)});
            return spans;
        }
        spans.push_back({static_cast<int>(start), size});
    }
}

// The smallest tile of the spans.
int ShortestSpan(const std::vector<Span>& spans) {
    int shortest = spans.front().length;
    for (const Span& span : spans) {
        shortest = std::min(shortest, span.length);
    }
    return shortest;
}

// The overlap's pixels along a dimension; none without an overlap.
int OverlapPixels(const char* overlap, unsigned dimension, int dpi, const char* path) {
    if (overlap == nullptr) {
        return 0;
    }
    RequireResolution(overlap, dpi, path);
    const int pixels = SizeToPixels(overlap, static_cast<int>(dimension), dpi);
    if (pixels < 1) {
        Fatal("Overlap %s is %d pixels: neighbouring tiles must share at least 1 pixel.", overlap,
              pixels);
    }
    return pixels;
}

// Refuses an overlap as large as the smallest tile it goes with.
void CheckOverlap(const char* overlap, int pixels, int shortestTile, const char* axisWord) {
    if (overlap != nullptr && pixels >= shortestTile) {
        Fatal(
            "Overlap %s is %d pixels, as large as a tile, which is %d pixels %s: tiles would "
            "start where the one before them does.",
            overlap, pixels, shortestTile, axisWord);
    }
}

// Saves the tiles of the columns and rows, beside the picture.
int SaveTiles(PictureSource& picture, const std::vector<Span>& columns,
              const std::vector<Span>& rows, int quality) {
    const std::string_view whole(picture.Path());
    const std::string_view extension = PictureExtension(whole);
    const std::string_view stem = whole.substr(0, whole.size() - extension.size());
    std::vector<PieceSpec> tiles;
    tiles.reserve(columns.size() * rows.size());
    for (std::size_t row = 0; row < rows.size(); ++row) {
        for (std::size_t column = 0; column < columns.size(); ++column) {
            tiles.push_back({FormatTileName(stem, static_cast<int>(row + 1),
                                            static_cast<int>(column + 1), extension),
                             columns[column].start, rows[row].start, columns[column].length,
                             rows[row].length});
        }
    }
    picture.CheckPieceFormats(tiles);
    picture.SavePieces(tiles, quality, true);
    return 0;
}

}  // namespace

std::string FormatTileName(std::string_view stem, int row, int column, std::string_view extension) {
    char numbers[32];
    std::snprintf(numbers, sizeof numbers, "-%02d-%02d", row, column);
    std::string name;
    name.reserve(stem.size() + std::char_traits<char>::length(numbers) + extension.size());
    name.append(stem).append(numbers).append(extension);
    return name;
}

int CutGrid(const char* path, int rows, int columns, int quality, const CutOptions& options) {
    if (rows < 1 || columns < 1) {
        FatalUsage();
    }
    PictureSource picture(path, options.lossless, options.shown);
    const PictureFacts& facts = picture.Facts();
    const unsigned tileWidth = facts.width / static_cast<unsigned>(columns);
    const unsigned tileHeight = facts.height / static_cast<unsigned>(rows);
    if (tileWidth == 0 || tileHeight == 0) {
        Fatal(
            "A grid of %d rows and %d columns doesn't fit %s: the picture is %u x %u pixels, "
            "so a tile would be empty.",
            rows, columns, path, facts.width, facts.height);
    }
    const int overlapX =
        OverlapPixels(options.overlap, facts.width, DotsPerInch(facts.dotsPerMeterX), path);
    const int overlapY =
        OverlapPixels(options.overlap, facts.height, DotsPerInch(facts.dotsPerMeterY), path);
    const std::vector<Span> columnSpans = GridSpans(facts.width, columns, options.whole, 0);
    const std::vector<Span> rowSpans = GridSpans(facts.height, rows, options.whole, 0);
    CheckOverlap(options.overlap, overlapX, ShortestSpan(columnSpans), "wide");
    CheckOverlap(options.overlap, overlapY, ShortestSpan(rowSpans), "high");
    const auto reason = options.whole ? OffGridWholeTiles(rows, columns, facts.width, facts.height,
                                                          facts.blockWidth, facts.blockHeight)
                                      : OffGridTiles(rows, columns, facts.width, facts.height,
                                                     facts.blockWidth, facts.blockHeight);
    if (reason) {
        Fatal("%s", reason->c_str());
    }
    return SaveTiles(picture, GridSpans(facts.width, columns, options.whole, overlapX),
                     GridSpans(facts.height, rows, options.whole, overlapY), quality);
}

int CutTiles(const char* path, const char* widthText, const char* heightText, int quality,
             const CutOptions& options) {
    PictureSource picture(path, options.lossless, options.shown);
    const PictureFacts& facts = picture.Facts();
    const int dpiX = DotsPerInch(facts.dotsPerMeterX);
    const int dpiY = DotsPerInch(facts.dotsPerMeterY);
    auto tileSize = [path](const char* text, unsigned dimension, int dpi, const char* axisWord) {
        RequireResolution(text, dpi, path);
        const int pixels = SizeToPixels(text, static_cast<int>(dimension), dpi);
        if (pixels < 1) {
            Fatal("Tile size %s is %d pixels: a tile must be at least 1 pixel %s.", text, pixels,
                  axisWord);
        }
        if (static_cast<unsigned>(pixels) > dimension) {
            Fatal(
                "Tile size %s is %d pixels, but the picture is only %u pixels %s: a tile can't "
                "be larger than the picture.",
                text, pixels, dimension, axisWord);
        }
        return pixels;
    };
    const int width = tileSize(widthText, facts.width, dpiX, "wide");
    const int height = tileSize(heightText, facts.height, dpiY, "high");
    const int overlapX = OverlapPixels(options.overlap, facts.width, dpiX, path);
    const int overlapY = OverlapPixels(options.overlap, facts.height, dpiY, path);
    CheckOverlap(options.overlap, overlapX, width, "wide");
    CheckOverlap(options.overlap, overlapY, height, "high");
    if (const auto reason = OffGridTileSteps(width, height, overlapX, overlapY, facts.width,
                                             facts.height, facts.blockWidth, facts.blockHeight)) {
        Fatal("%s", reason->c_str());
    }
    return SaveTiles(picture, TileSpans(facts.width, width, overlapX),
                     TileSpans(facts.height, height, overlapY), quality);
}

}  // namespace kerfo
