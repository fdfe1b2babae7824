#pragma once
// The chunks of a PNG that say how its samples are to be shown: gAMA, cHRM,
// sRGB and iCCP. The image library reads none of them into the bitmap it
// returns (and can't write them), so the program carries them over itself.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "cut/picture_header.h"

namespace kerfo {

struct PngColour {
    // The chunks as the file has them, in its order, each whole: length, type,
    // data and CRC. Chunks whose CRC is wrong are left out, as the decoder
    // leaves them out.
    std::string chunks;
    // The gAMA value (the file's gamma times 100000), when there is one.
    std::optional<std::uint32_t> gamma;
    bool sRGB = false;
    // The ICC profile of the iCCP chunk, inflated; empty when there is none.
    std::string iccProfile;
};

// Reads the colour chunks of a PNG file: those before its first IDAT.
PngColour ReadPngColour(ByteSource& source);

// True when the library's decoder, asked to correct for the display's usual
// gamma (2.2), changes the samples of a picture with these chunks: its gamma
// is not close to 1/2.2. Errs towards true.
bool GammaCorrectionChangesSamples(const PngColour& colour);

// Inserts the chunks right behind the IHDR chunk of a PNG being written, whose
// bytes come in pieces of any size.
class PngChunkInserter {
  public:
    explicit PngChunkInserter(std::string chunks) : chunks_(std::move(chunks)) {}
    // Hands the bytes to write to sink, the chunks added where they belong.
    template <typename Sink>
    bool Write(std::string_view bytes, Sink&& sink) {
        if (!inserted_ && !chunks_.empty()) {
            const std::size_t before = std::min<std::size_t>(bytes.size(), kIhdrEnd - seen_);
            if (before > 0 && !sink(bytes.substr(0, before))) {
                return false;
            }
            seen_ += before;
            bytes.remove_prefix(before);
            if (seen_ < kIhdrEnd) {
                return true;
            }
            inserted_ = true;
            if (!sink(std::string_view(chunks_))) {
                return false;
            }
        }
        return bytes.empty() || sink(bytes);
    }

  private:
    // The signature (8 bytes), then IHDR: length, type, 13 bytes, CRC.
    static constexpr std::size_t kIhdrEnd = 8 + 4 + 4 + 13 + 4;
    std::string chunks_;
    std::size_t seen_ = 0;
    bool inserted_ = false;
};

}  // namespace kerfo
