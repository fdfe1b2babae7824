// Where the pieces of a lossless cut may start: the picture's block grid.

#include "cut/block_grid.h"

#include <cstdio>
#include <vector>

namespace kerfo {
namespace {

// How many column or row counts a message names at most.
constexpr std::size_t kMostSuggestions = 12;

// The counts of columns (or rows) from 1 up, at most one a block, for which
// works(count) holds, as a text: "1, 2, 3, 5 or 6", or the first dozen "and
// more".
template <typename Works>
std::string CountsWhere(unsigned dimension, int blockSize, Works works) {
    std::vector<unsigned> counts;
    bool more = false;
    for (unsigned count = 1; count <= dimension / static_cast<unsigned>(blockSize) || count == 1;
         ++count) {
        if (works(count)) {
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

// Whether every tile of -whole starts on the block grid: tile c + 1 starts at
// c * dimension / count, rounded down.
bool WholeTilesStartOnGrid(int count, unsigned dimension, int blockSize) {
    for (unsigned long long c = 1; c < static_cast<unsigned>(count); ++c) {
        if (c * dimension / static_cast<unsigned>(count) % static_cast<unsigned>(blockSize) != 0) {
            return false;
        }
    }
    return true;
}

// The counts that cut a dimension into tiles of whole MCUs.
std::string CountsThatWork(unsigned dimension, int blockSize) {
    return CountsWhere(dimension, blockSize, [&](unsigned count) {
        return count == 1 || (dimension / count) % static_cast<unsigned>(blockSize) == 0;
    });
}

// The counts whose tiles of -whole all start on the block grid.
std::string WholeCountsThatWork(unsigned dimension, int blockSize) {
    return CountsWhere(dimension, blockSize, [&](unsigned count) {
        return WholeTilesStartOnGrid(static_cast<int>(count), dimension, blockSize);
    });
}

// The tile sizes nearest to size whose step (size - overlap) is a multiple of
// the block, within 1 to dimension, as a text: "240 or 256", "only 256".
std::string TileSizesThatWork(int size, int overlap, unsigned dimension, int blockSize) {
    const long long step = size - overlap;
    const long long below = step / blockSize * blockSize + overlap;
    const long long above = below + blockSize;
    const bool belowWorks = below - overlap >= 1;
    const bool aboveWorks = above <= static_cast<long long>(dimension);
    if (belowWorks && aboveWorks) {
        return std::to_string(below) + " or " + std::to_string(above);
    }
    if (belowWorks || aboveWorks) {
        return "only " + std::to_string(belowWorks ? below : above);
    }
    return "none";
}

// The advice that follows a refusal: what works along each axis that is off
// the grid.
std::string Advice(bool widthOff, const std::string& widths, bool heightOff,
                   const std::string& heights) {
    return (widthOff ? " " + widths + "." : "") + (heightOff ? " " + heights + "." : "");
}

}  // namespace

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

std::optional<std::string> OffGridTiles(int rows, int columns, unsigned width, unsigned height,
                                        int blockWidth, int blockHeight) {
    const unsigned tileWidth = width / static_cast<unsigned>(columns);
    const unsigned tileHeight = height / static_cast<unsigned>(rows);
    const bool widthOff = columns > 1 && tileWidth % static_cast<unsigned>(blockWidth) != 0;
    const bool heightOff = rows > 1 && tileHeight % static_cast<unsigned>(blockHeight) != 0;
    if (!widthOff && !heightOff) {
        return std::nullopt;
    }
    const std::string advice =
        Advice(widthOff, "Columns that cut losslessly: " + CountsThatWork(width, blockWidth),
               heightOff, "Rows that cut losslessly: " + CountsThatWork(height, blockHeight));
    char text[400];
    std::snprintf(text, sizeof text,
                  "A grid of %d rows and %d columns can't be cut losslessly: its tiles are %u x "
                  "%u pixels, and the picture's blocks are %d x %d, where every tile must "
                  "start.%s",
                  rows, columns, tileWidth, tileHeight, blockWidth, blockHeight, advice.c_str());
    return std::string(text);
}

std::optional<std::string> OffGridWholeTiles(int rows, int columns, unsigned width, unsigned height,
                                             int blockWidth, int blockHeight) {
    const bool widthOff = !WholeTilesStartOnGrid(columns, width, blockWidth);
    const bool heightOff = !WholeTilesStartOnGrid(rows, height, blockHeight);
    if (!widthOff && !heightOff) {
        return std::nullopt;
    }
    const std::string advice =
        Advice(widthOff,
               "Columns that cut losslessly with -whole: " + WholeCountsThatWork(width, blockWidth),
               heightOff,
               "Rows that cut losslessly with -whole: " + WholeCountsThatWork(height, blockHeight));
    char text[400];
    std::snprintf(text, sizeof text,
                  "A grid of %d rows and %d columns with -whole can't be cut losslessly: the "
                  "picture of %u x %u pixels doesn't divide into tiles that all start on its "
                  "blocks of %d x %d pixels.%s",
                  rows, columns, width, height, blockWidth, blockHeight, advice.c_str());
    return std::string(text);
}

std::optional<std::string> OffGridTileSteps(int tileWidth, int tileHeight, int overlapX,
                                            int overlapY, unsigned width, unsigned height,
                                            int blockWidth, int blockHeight) {
    // A single column (row) starts at the corner, whatever its size.
    const bool widthOff =
        static_cast<unsigned>(tileWidth) < width && (tileWidth - overlapX) % blockWidth != 0;
    const bool heightOff =
        static_cast<unsigned>(tileHeight) < height && (tileHeight - overlapY) % blockHeight != 0;
    if (!widthOff && !heightOff) {
        return std::nullopt;
    }
    const std::string advice = Advice(
        widthOff,
        "Widths that cut losslessly: " + TileSizesThatWork(tileWidth, overlapX, width, blockWidth),
        heightOff,
        "Heights that cut losslessly: " +
            TileSizesThatWork(tileHeight, overlapY, height, blockHeight));
    char text[400];
    std::snprintf(text, sizeof text,
                  "Tiles of %d x %d pixels can't be cut losslessly: they start every %d x %d "
                  "pixels, and the picture's blocks are %d x %d, where every tile must start.%s",
                  tileWidth, tileHeight, tileWidth - overlapX, tileHeight - overlapY, blockWidth,
                  blockHeight, advice.c_str());
    return std::string(text);
}

Turn TurnOfOrientation(unsigned orientation) {
    // transpose, mirrorX, mirrorY
    static constexpr Turn kTurns[] = {
        {false, false, false},  // 1: as stored
        {false, true, false},   // 2: mirrored left to right
        {false, true, true},    // 3: turned half round
        {false, false, true},   // 4: mirrored top to bottom
        {true, false, false},   // 5: transposed
        {true, true, false},    // 6: turned a quarter clockwise
        {true, true, true},     // 7: transverse
        {true, false, true},    // 8: turned a quarter anticlockwise
    };
    return orientation >= 1 && orientation <= 8 ? kTurns[orientation - 1] : Turn{};
}

std::optional<std::string> UnturnableEdges(const char* path, unsigned orientation, unsigned width,
                                           unsigned height, int blockWidth, int blockHeight) {
    const Turn turn = TurnOfOrientation(orientation);
    const bool rightPartial = width % static_cast<unsigned>(blockWidth) != 0;
    const bool bottomPartial = height % static_cast<unsigned>(blockHeight) != 0;
    // The stored edges that the turn brings to the left and to the top, where
    // they end in a partial block.
    const char* toLeft = nullptr;
    const char* toTop = nullptr;
    if (turn.mirrorX && (turn.transpose ? bottomPartial : rightPartial)) {
        toLeft = turn.transpose ? "bottom" : "right";
    }
    if (turn.mirrorY && (turn.transpose ? rightPartial : bottomPartial)) {
        toTop = turn.transpose ? "right" : "bottom";
    }
    if (toLeft == nullptr && toTop == nullptr) {
        return std::nullopt;
    }
    std::string edges;
    if (toLeft != nullptr) {
        edges = std::string("its ") + toLeft + " edge to the left";
    }
    if (toTop != nullptr) {
        edges += (edges.empty() ? "its " : " and its ") + std::string(toTop) + " edge to the top";
    }
    char size[64];
    if (toLeft != nullptr && toTop != nullptr) {
        std::snprintf(size, sizeof size, "%u x %u pixels", width, height);
    } else if ((toLeft != nullptr) != turn.transpose) {  // the right edge alone
        std::snprintf(size, sizeof size, "%u pixels wide", width);
    } else {
        std::snprintf(size, sizeof size, "%u pixels high", height);
    }
    char text[500];
    std::snprintf(text, sizeof text,
                  "%s can't be cut losslessly as it is shown: its EXIF orientation %u brings %s, "
                  "where the shown picture would start inside a block, as the picture is %s and "
                  "its blocks are %d x %d. -shown without -lossless cuts it, and so does "
                  "-lossless without -shown.",
                  path, orientation, edges.c_str(), size, blockWidth, blockHeight);
    return std::string(text);
}

}  // namespace kerfo
