#pragma once
// Lossless JPEG cuts: the pieces are made of the picture's own coded blocks,
// copied without decoding a pixel, so they lose nothing and keep the picture's
// quality, chroma subsampling, colour model and markers. A JPEG is coded in
// MCUs, blocks of 8 x 8 to 16 x 16 pixels by its chroma subsampling; a piece
// can start only where an MCU starts, and may end anywhere.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cut/pieces.h"

namespace kerfo {

// A JPEG read for a lossless cut: its bytes and what its header says.
struct LosslessPicture {
    std::string path;
    std::vector<unsigned char> bytes;
    unsigned width = 0;
    unsigned height = 0;
    std::uint32_t dotsPerMeterX = 0;
    std::uint32_t dotsPerMeterY = 0;
    // The MCU: where pieces may start.
    int blockWidth = 8;
    int blockHeight = 8;
    bool progressive = false;
};

// Reads the picture for a lossless cut. Ends the run through Fatal when it is
// no JPEG by name or by content, or is refused as LoadPicture refuses damaged
// and implausible pictures (the header checks; damage shows in the cut).
LosslessPicture ReadLosslessPicture(const char* path);

// Ends the run through Fatal unless every piece to be saved has a JPEG name.
void RequireJpegNames(const std::vector<PieceSpec>& pieces);

// Why a cut to size at pixels along a dimension can't be lossless: the rest
// would start inside an MCU of blockSize pixels. Names the nearest sizes below
// and above that can. None when the cut is lossless. axisWord is "wide" or
// "high"; pixels lies from 1 to dimension - 1.
std::optional<std::string> OffGridSize(const char* sizeText, int pixels, unsigned dimension,
                                       int blockSize, const char* axisWord);

// Why a grid can't be lossless: a tile's width or height is no multiple of
// the MCU, so tiles after the first would start inside one. Names the numbers
// of columns or rows that would work. None when the grid is lossless.
std::optional<std::string> OffGridTiles(int rows, int columns, const LosslessPicture& picture);

// Cuts the pieces out of the picture's coded blocks, all in one pass over the
// picture, and saves them all or nothing (see PieceSet). The pieces start on
// the MCU grid. Ends the run through Fatal when the library finds the picture
// damaged or can't cut it.
// With keepInput, no piece may replace the picture (a grid cut's tiles).
void SaveLosslessPieces(const LosslessPicture& picture, const std::vector<PieceSpec>& pieces,
                        bool keepInput = false);

}  // namespace kerfo
