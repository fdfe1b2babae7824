#pragma once
// The picture a job cuts, opened once: what the job needs to know of it, and
// the one way its pieces are saved, whether the picture is decoded or its
// JPEG blocks are cut losslessly.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cut/lossless.h"
#include "cut/picture_file.h"
#include "cut/piece_set.h"

namespace kerfo {

class PictureSource {
  public:
    // Opens the picture and checks it; decodes it, or for a lossless cut
    // reads the JPEG's header for its blocks (see cut/lossless.h). With shown,
    // the picture is the one viewers show: its EXIF orientation applied, and
    // the pieces saved upright. Ends the run through Fatal as LoadPicture and
    // ReadLosslessPicture do, and with lossless for a picture that is no JPEG
    // by name. A memory limit stands for the memory the process can still
    // have (the fuzz target's).
    PictureSource(const char* path, bool lossless, bool shown = false,
                  std::optional<std::uint64_t> memoryLimit = std::nullopt);

    const std::string& Path() const { return file_.Path(); }
    const PictureFacts& Facts() const { return facts_; }
    // The decoded picture; none for a lossless cut, or once it is saved.
    FIBITMAP* Decoded() const { return bitmap_.get(); }

    // Ends the run through Fatal when a piece's name can't hold what the cut
    // makes: a lossless cut makes JPEG pieces only.
    void CheckPieceFormats(const std::vector<PieceSpec>& pieces) const;

    // Saves the pieces, all or nothing (see PieceSet), with quality as the
    // library's save flags of a decoded picture's pieces; the picture is used
    // up. The rectangles lie inside the picture and start on its grid. With
    // keepInput, no piece may replace the picture (a grid cut's tiles).
    void SavePieces(const std::vector<PieceSpec>& pieces, int quality, bool keepInput);

  private:
    PictureFile file_;
    Bitmap bitmap_;
    PngColour colour_;
    std::optional<LosslessPicture> lossless_;
    PictureFacts facts_;
    // The EXIF orientation applied to the decoded picture; 1 for none.
    unsigned orientation_ = 1;
};

}  // namespace kerfo
