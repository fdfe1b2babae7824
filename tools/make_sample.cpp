// Makes the bundled sample picture: make_sample OUTPUT.jpg [WIDTH HEIGHT DPI QUALITY]

#include <FreeImage.h>

#include <cstdio>
#include <cstdlib>

#include "photo_like.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 6) {
        std::fprintf(stderr, "usage: %s OUTPUT.jpg [WIDTH HEIGHT DPI QUALITY]\n", argv[0]);
        return 2;
    }
    const unsigned width = argc == 6 ? static_cast<unsigned>(std::atoi(argv[2])) : 1200;
    const unsigned height = argc == 6 ? static_cast<unsigned>(std::atoi(argv[3])) : 800;
    const double dpi = argc == 6 ? std::atof(argv[4]) : 300;
    const int quality = argc == 6 ? std::atoi(argv[5]) : 90;

    FIBITMAP* picture = kerfo::tools::MakePhotoLike(width, height, 20261208);
    if (picture == nullptr) {
        std::fprintf(stderr, "out of memory\n");
        return 1;
    }
    const unsigned dotsPerMetre = static_cast<unsigned>(dpi / 0.0254 + 0.5);
    FreeImage_SetDotsPerMeterX(picture, dotsPerMetre);
    FreeImage_SetDotsPerMeterY(picture, dotsPerMetre);
    const bool saved = FreeImage_Save(FIF_JPEG, picture, argv[1], quality) != 0;
    FreeImage_Unload(picture);
    if (!saved) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
