#pragma once
// The pieces of one job, saved all or nothing. Every name is checked before
// anything is written; each piece goes to a temporary file beside its target
// as soon as it is cut (so its pixels can be released), and only when every
// piece is saved are they all renamed over their targets. On any failure the
// temporary files are removed and no target is touched.

#include <FreeImage.h>

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "formats/png_chunks.h"
#include "platform/safe_file.h"

namespace kerfo {

// A rectangle of the picture and the name it is saved under.
struct PieceSpec {
    std::string name;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

class PieceSet {
  public:
    // Checks the pieces' names, ending the run through Fatal unless each ends
    // in a picture extension ("Save: file (%s) - must end in .jpg, .jpeg or
    // .bmp"), none is a folder or a file that can't be replaced (read-only,
    // immutable, another user's in a sticky folder) and no two name the same
    // file; nor the file kept, when one is given (the picture of a grid cut,
    // which stays as it is).
    explicit PieceSet(const std::vector<PieceSpec>& pieces, const char* kept = nullptr);

    FREE_IMAGE_FORMAT Format(std::size_t index) const { return formats_[index]; }

    // Saves bitmap as piece index in the format its name gives, with flags as
    // the library's save options (see EncodePicture); a PNG piece gets
    // pngColour's chunks where that is given. Ends the run through Fatal when
    // it cannot be written.
    void Save(std::size_t index, FIBITMAP* bitmap, int flags, const PngColour* pngColour = nullptr);

    // Saves as piece index what write writes to the stream it is given.
    // write returns 0, or the errno value of a write that failed; it may also
    // end the run through Fatal, which leaves no trace of the piece.
    void SaveWith(std::size_t index, const std::function<int(std::FILE*)>& write);

    // Puts every saved piece in place. Ends the run through Fatal when one
    // can't be, saying which were.
    void Commit();

  private:
    std::vector<std::string> names_;
    std::vector<FREE_IMAGE_FORMAT> formats_;
    std::vector<std::unique_ptr<platform::ReplacementFile>> files_;
};

// Saves one picture as a set of one piece. Returns true; ends the run through
// Fatal when it cannot be written.
bool SavePicture(FIBITMAP* bitmap, const char* path, int flags);

}  // namespace kerfo
