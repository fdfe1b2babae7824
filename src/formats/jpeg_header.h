#pragma once
// What a JPEG file's header claims, read as the image library's decoder reads
// it (see jpeg_header.cpp for the grammar).

#include <optional>

#include "formats/bytes.h"
#include "formats/picture_claim.h"

namespace kerfo {

// The frame (SOFn) of a JPEG: its size, components and their sampling, and
// coding; the scans it has and what they go over; its JFIF resolution; the
// segments the library must not parse. Every 8 x 8 block of a Huffman-coded
// component takes at least one bit. None when the header can't be read.
std::optional<PictureClaim> ReadJpegClaim(ByteSource& source);

}  // namespace kerfo
