#pragma once
// PNG files: what the header claims, and the chunks that say how its samples
// are to be shown: gAMA, cHRM, sRGB, iCCP, and the tRNS of a grey or RGB
// picture. The image library reads
// none of the first four into the bitmap it returns (and can't write them),
// and makes the single transparent colour of the last an alpha channel (or,
// for grey of fewer than 8 bits, marks the wrong level), so the program
// carries them over itself.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/bytes.h"
#include "formats/picture_claim.h"

namespace kerfo {

// True when the 8 bytes are a PNG file's signature.
bool IsPngSignature(const unsigned char* bytes);

// What a PNG's header claims: IHDR's size, colour type and depth (deflate
// expands at most 1032:1); and a refusal for a chunk that runs past the end
// of the file, or compressed text chunks that inflate to more than 64 MB.
// None when it has no IHDR of a known colour type.
std::optional<PictureClaim> ReadPngClaim(ByteSource& source);

struct PngColour {
    // The chunks as the file has them, in its order, each whole: length, type,
    // data and CRC. Chunks whose CRC is wrong or whose length is wrong for
    // their type, and every chunk after the first of its type, are left out,
    // as the decoder leaves them out.
    std::string chunks;
    // The gAMA value (the file's gamma times 100000), when there is one.
    std::optional<std::uint32_t> gamma;
    // The ICC profile of the iCCP chunk, inflated; empty when there is none.
    std::string iccProfile;
    // A grey or RGB picture's one transparent colour: its samples as the
    // first tRNS chunk gives them (one grey level, or red, green and blue) at
    // the picture's bit depth; no samples when it has none.
    std::vector<std::uint16_t> transparent;
    unsigned depth = 0;
    // Where each tRNS chunk of such a colour lies (its offset) and its data.
    struct ChunkPlace {
        std::uint64_t offset = 0;
        std::string data;
    };
    std::vector<ChunkPlace> transparencyChunks;
};

// Reads the colour chunks of a PNG file: those before its first IDAT.
PngColour ReadPngColour(ByteSource& source);

// The bytes to change so that the library doesn't see the transparent colour
// of a grey or RGB picture (its tRNS chunk becomes one of a type the library
// doesn't know, with its CRC): the picture's samples are then read as stored,
// and PNG pieces get the colour back (see PngChunkInserter).
std::vector<BytePatch> HideTransparentColour(const PngColour& colour);

// True when the library's decoder, asked to correct for the display's usual
// gamma (2.2), changes the samples of a picture with these chunks: its gamma
// is not close to 1/2.2. Errs towards true.
bool GammaCorrectionChangesSamples(const PngColour& colour);

// Gives a PNG being written, whose bytes come in pieces of any size, the
// picture's colour chunks right behind its IHDR chunk, and the picture's
// transparent colour, as the piece's IHDR and PLTE chunks store it, right
// before its first IDAT chunk.
class PngChunkInserter {
  public:
    using Sink = std::function<bool(std::string_view)>;
    explicit PngChunkInserter(const PngColour& colour) : colour_(colour) {}
    // Hands the bytes to write to sink, the chunks added where they belong.
    bool Write(std::string_view bytes, const Sink& sink);

  private:
    const PngColour& colour_;
    std::uint64_t written_ = 0;  // bytes of the file handed on
    std::string header_;         // the chunk header being gathered
    std::string type_;           // the current chunk's type
    std::uint64_t left_ = 0;     // bytes of the current chunk's data and CRC to come
    std::string ihdr_;           // the data of the IHDR and PLTE chunks as they pass
    std::string plte_;
    bool beforeData_ = true;
};

}  // namespace kerfo
