// The baseline for the benchmark: the same jobs as kerfo, written as plainly as
// the image library allows (load, copy, save at flags 100, free each piece).
//
//   direct_cut width INPUT LEFT RIGHT [COLUMN]   left half (or the columns up to
//                                                COLUMN) and the rest
//   direct_cut grid ROWS COLUMNS INPUT    tiles INPUT-rr-cc.jpg beside the input

#include <FreeImage.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool SavePiece(FIBITMAP* picture, int left, int top, int right, int bottom, const char* path) {
    FIBITMAP* piece = FreeImage_Copy(picture, left, top, right, bottom);
    const bool saved = piece != nullptr && FreeImage_Save(FIF_JPEG, piece, path, 100);
    FreeImage_Unload(piece);
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    const bool width = (argc == 5 || argc == 6) && std::strcmp(argv[1], "width") == 0;
    const bool grid = argc == 5 && std::strcmp(argv[1], "grid") == 0;
    if (!width && !grid) {
        std::fprintf(stderr, "usage: %s width INPUT LEFT RIGHT [COLUMN] | grid ROWS COLUMNS INPUT\n",
                     argv[0]);
        return 2;
    }
    const char* input = width ? argv[2] : argv[4];
    FIBITMAP* picture = FreeImage_Load(FIF_JPEG, input, 0);
    if (picture == nullptr) {
        return 1;
    }
    const int w = static_cast<int>(FreeImage_GetWidth(picture));
    const int h = static_cast<int>(FreeImage_GetHeight(picture));
    bool ok = true;
    if (width) {
        const int column = argc == 6 ? std::atoi(argv[5]) : w / 2;
        ok = SavePiece(picture, 0, 0, column, h, argv[3]) &&
             SavePiece(picture, column, 0, w, h, argv[4]);
    } else {
        const int rows = std::atoi(argv[2]);
        const int columns = std::atoi(argv[3]);
        const int tileWidth = w / columns;
        const int tileHeight = h / rows;
        const std::string stem(input, std::strlen(input) - 4);
        for (int r = 0; r < rows && ok; ++r) {
            for (int c = 0; c < columns && ok; ++c) {
                char name[64];
                std::snprintf(name, sizeof name, "-%02d-%02d.jpg", r + 1, c + 1);
                ok = SavePiece(picture, c * tileWidth, r * tileHeight, (c + 1) * tileWidth,
                               (r + 1) * tileHeight, (stem + name).c_str());
            }
        }
    }
    FreeImage_Unload(picture);
    return ok ? 0 : 1;
}
