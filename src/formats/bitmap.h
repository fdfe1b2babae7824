#pragma once
// The image library's bitmap, owned.

#include <FreeImage.h>

#include <memory>

namespace kerfo {

struct UnloadBitmap {
    void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};

// A bitmap of the image library, released with the object.
using Bitmap = std::unique_ptr<FIBITMAP, UnloadBitmap>;

}  // namespace kerfo
