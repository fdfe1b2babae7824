// The XMP packet of a piece.

#include "formats/xmp.h"

namespace kerfo {

std::string PieceXmp(std::string_view xmp, std::uint32_t width, std::uint32_t height,
                     bool upright) {
    static_cast<void>(width);
    static_cast<void>(height);
    static_cast<void>(upright);
    return std::string(xmp);
}

}  // namespace kerfo
