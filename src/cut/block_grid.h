#pragma once
// Where pieces may start: on the picture's grid of blocks. A lossless cut's
// block is the JPEG's MCU (8 x 8 to 16 x 16 pixels); a decoded picture's is
// one pixel, so that every cut of it lies on the grid.

#include <optional>
#include <string>

namespace kerfo {

// Why a cut to size at pixels along a dimension can't be made: the rest
// would start inside a block of blockSize pixels. Names the nearest sizes
// below and above that can. None when the cut lies on the grid. axisWord is
// "wide" or "high"; pixels lies from 1 to dimension - 1.
std::optional<std::string> OffGridSize(const char* sizeText, int pixels, unsigned dimension,
                                       int blockSize, const char* axisWord);

// Why a grid of the picture (width x height pixels) can't be made: a tile's
// width or height is no multiple of the block, so tiles after the first would
// start inside one. Names the numbers of columns or rows that would work.
// None when the grid lies on the picture's.
std::optional<std::string> OffGridTiles(int rows, int columns, unsigned width, unsigned height,
                                        int blockWidth, int blockHeight);

// As OffGridTiles for a grid whose tiles take every pixel (-whole): each
// tile must start on the block grid, at (c - 1) * width / columns rounded
// down, and rows the same.
std::optional<std::string> OffGridWholeTiles(int rows, int columns, unsigned width, unsigned height,
                                             int blockWidth, int blockHeight);

// Why tiles of a size (tileWidth x tileHeight, sharing overlapX and overlapY
// pixels with their neighbours) can't be cut: they start every tile size less
// the overlap, which must be a multiple of the block. Names the nearest tile
// sizes that work. None when they lie on the grid (or there is one column and
// one row of them).
std::optional<std::string> OffGridTileSteps(int tileWidth, int tileHeight, int overlapX,
                                            int overlapY, unsigned width, unsigned height,
                                            int blockWidth, int blockHeight);

// How a viewer turns the stored picture to show it, by its EXIF orientation
// (1 to 8): rows made columns first (transposed), then mirrored left to right
// and top to bottom. Orientation 1 (or one out of range) leaves it as stored.
struct Turn {
    bool transpose = false;
    bool mirrorX = false;
    bool mirrorY = false;
};
Turn TurnOfOrientation(unsigned orientation);

// Why the picture at path (width x height pixels, as stored, in blocks of
// blockWidth x blockHeight) can't be cut losslessly as it is shown, turned by
// its orientation: an edge the turn brings to the left or the top ends in a
// partial block, where the shown picture would have to start. Names what cuts
// it instead. None when every such edge lies on the grid.
std::optional<std::string> UnturnableEdges(const char* path, unsigned orientation, unsigned width,
                                           unsigned height, int blockWidth, int blockHeight);

}  // namespace kerfo
