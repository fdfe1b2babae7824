#pragma once
// Lossless JPEG cuts: the pieces are made of the picture's own coded blocks,
// copied without decoding a pixel, so they lose nothing and keep the picture's
// quality, chroma subsampling, colour model and markers. A JPEG is coded in
// MCUs, blocks of 8 x 8 to 16 x 16 pixels by its chroma subsampling; a piece
// can start only where an MCU starts, and may end anywhere.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cut/pieces.h"

namespace kerfo {

// The JPEG library's reading of a picture (see lossless.cpp), released with
// the picture.
struct JpegCut;
struct EndJpegCut {
    void operator()(JpegCut* cut) const;
};

// A JPEG read for a lossless cut: what its header says, and the library's
// reading of it, open at its first scan.
struct LosslessPicture {
    std::string path;
    std::unique_ptr<JpegCut, EndJpegCut> reading;
    unsigned width = 0;
    unsigned height = 0;
    std::uint32_t dotsPerMeterX = 0;
    std::uint32_t dotsPerMeterY = 0;
    // The MCU (the library's unit of a crop): where pieces may start.
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

// Cuts the pieces out of the picture's coded blocks, and saves them all or
// nothing (see PieceSet): the picture's coefficients are read once, and each
// piece is written from them in place, straight to its file. The pieces start
// on the MCU grid. Ends the run through Fatal when the library finds the
// picture damaged or can't cut it.
// With keepInput, no piece may replace the picture (a grid cut's tiles).
void SaveLosslessPieces(const LosslessPicture& picture, const std::vector<PieceSpec>& pieces,
                        bool keepInput = false);

}  // namespace kerfo
