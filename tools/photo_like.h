#pragma once
// Makes a photo-like picture: a sky, a sun, hills and grain, so that it
// compresses and decodes like a real photograph.

#include <FreeImage.h>

#include <cstdint>

namespace kerfo::tools {

// A new 24-bit picture of the given size; the same seed gives the same pixels.
// The caller releases it with FreeImage_Unload.
FIBITMAP* MakePhotoLike(unsigned width, unsigned height, std::uint32_t seed);

}  // namespace kerfo::tools
