// Where the pieces of a lossless cut may start: the picture's block grid.

#include "cut/block_grid.h"

#include <cstdio>
#include <vector>

namespace kerfo {
namespace {

// How many column or row counts a message names at most.
constexpr std::size_t kMostSuggestions = 12;

// The counts of columns (or rows) from 1 up that cut a dimension into tiles
// of whole MCUs, as a text: "1, 2, 3, 5 or 6", or the first dozen "and more".
std::string CountsThatWork(unsigned dimension, int blockSize) {
    std::vector<unsigned> counts;
    bool more = false;
    for (unsigned count = 1; count <= dimension / static_cast<unsigned>(blockSize) || count == 1;
         ++count) {
        if (count == 1 || (dimension / count) % static_cast<unsigned>(blockSize) == 0) {
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
    std::string advice;
    if (widthOff) {
        advice += " Columns that cut losslessly: " + CountsThatWork(width, blockWidth) + ".";
    }
    if (heightOff) {
        advice += " Rows that cut losslessly: " + CountsThatWork(height, blockHeight) + ".";
    }
    char text[400];
    std::snprintf(text, sizeof text,
                  "A grid of %d rows and %d columns can't be cut losslessly: its tiles are %u x "
                  "%u pixels, and the picture's blocks are %d x %d, where every tile must "
                  "start.%s",
                  rows, columns, tileWidth, tileHeight, blockWidth, blockHeight, advice.c_str());
    return std::string(text);
}

}  // namespace kerfo
