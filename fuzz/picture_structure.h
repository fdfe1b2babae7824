#pragma once
// The structure of a picture file as a list of parts - a PNG's chunks, a
// JPEG's marker segments, a BMP's headers, colour table and pixels - that can
// be duplicated, dropped, moved and changed one by one and written back, a
// PNG's lengths and CRCs and a JPEG's segment lengths right: the picture
// fuzzer's mutations (a byte mutation almost never makes a whole chunk with the
// right CRC, and one that breaks a CRC has the file thrown out before the
// program's own code sees it), and the damaged pictures of the tests. Needs
// neither the image library nor the fuzzer.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace kerfo::structure {

enum class Kind { Png, Jpeg, Bmp };

struct Part {
    // A PNG chunk's type (4 letters), a JPEG marker's code (1 byte); empty for
    // a BMP's parts.
    std::string type;
    // What a length counts: a chunk's data, a segment's payload; a BMP part's
    // bytes.
    std::string data;
    // JPEG: what follows the segment before the next marker: a scan's
    // entropy-coded data with its restart markers, fill bytes, or whatever
    // follows the end marker.
    std::string after;
};

struct Picture {
    Kind kind = Kind::Png;
    std::vector<Part> parts;
    // What follows the last whole part that is no part (a chunk or segment
    // cut short, a length past the end).
    std::string rest;

    // The file: the signature (the start marker), the first count parts, each
    // with its length (and CRC) made from its data, then the rest when every
    // part is written. A JPEG segment's payload longer than a length can say
    // is cut to what it can.
    std::string Write(std::size_t count = static_cast<std::size_t>(-1)) const;
};

// The parts of a PNG (by its signature), a JPEG (by its start marker) or a
// BMP ("BM"); nothing when the file is none of them or holds no whole part.
// Write gives back the same bytes.
std::optional<Picture> Parse(std::string_view file);

// Changes bytes in place within a size limit and gives their new size: the
// fuzzer's own byte mutations.
using ByteMutator = std::size_t (*)(std::uint8_t* data, std::size_t size, std::size_t maxSize);

// One change of a PNG's or JPEG's structure, chosen by random: a part
// duplicated, dropped or moved, its data (or a scan's entropy-coded data)
// changed by mutate, or its type changed to another one of the format's. The
// file written afterwards stays within maxSize bytes; false when the change
// would not fit or there is nothing to change (a BMP).
bool Mutate(Picture& picture, std::minstd_rand& random, ByteMutator mutate, std::size_t maxSize);

// A part of other (of the same kind) put into picture, in place of one of its
// parts or between two, or picture's first parts followed by other's last
// ones; false when the kinds differ or the file written would exceed maxSize.
bool CrossOver(Picture& picture, const Picture& other, std::minstd_rand& random,
               std::size_t maxSize);

}  // namespace kerfo::structure
