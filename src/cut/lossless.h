#pragma once
// Lossless JPEG cuts: the pieces are made of the picture's own coded blocks,
// copied without decoding a pixel, so they lose nothing and keep the picture's
// quality, chroma subsampling, colour model and markers. A JPEG is coded in
// MCUs, blocks of 8 x 8 to 16 x 16 pixels by its chroma subsampling; a piece
// can start only where an MCU starts, and may end anywhere.

#include <memory>
#include <vector>

#include "cut/picture_file.h"
#include "cut/piece_set.h"

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
    std::unique_ptr<JpegCut, EndJpegCut> reading;
    // Its blocks are its MCUs (the library's unit of a crop): where pieces
    // may start.
    PictureFacts facts;
    // The EXIF orientation its blocks are turned by for the pieces: 1, as
    // stored, unless it is cut as shown.
    unsigned orientation = 1;
};

// Reads the JPEG in file, from its start, for a lossless cut. Ends the run
// through Fatal when it is no JPEG by content, or is refused as a load refuses
// damaged and implausible pictures (the header checks; damage shows in the
// cut). With shown, the picture is cut as viewers show it, its EXIF
// orientation (that of its last EXIF segment) applied to its blocks: the
// facts are those of the picture shown, and its pieces are saved upright.
// Ends the run through Fatal when the turn would bring a partial block of the
// right or bottom edge to the left or top (see UnturnableEdges).
LosslessPicture ReadLosslessPicture(PictureFile& file, bool shown = false);

// Ends the run through Fatal unless every piece to be saved has a JPEG name.
void RequireJpegNames(const std::vector<PieceSpec>& pieces);

// Cuts the pieces out of the picture's coded blocks, and saves them all or
// nothing (see PieceSet): the picture's coefficients are read once, the file
// is closed, and each piece is written from them in place, straight to its
// file. The pieces start on the MCU grid. Ends the run through Fatal when the
// library finds the picture damaged or can't cut it. With keepInput, no piece
// may replace the picture (a grid cut's tiles). The pieces' rectangles are in
// the picture as shown where it is turned: each is the turn of the stored
// blocks it shows, transposed and mirrored block by block as it is read.
void SaveLosslessPieces(LosslessPicture& picture, PictureFile& file,
                        const std::vector<PieceSpec>& pieces, bool keepInput);

}  // namespace kerfo
