// A photo-like picture, made without any input.

#include "photo_like.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kerfo::tools {
namespace {

// Smooth value noise on a lattice, for clouds and the texture of the hills.
class ValueNoise {
  public:
    explicit ValueNoise(std::uint32_t seed) : values_(kSize * kSize) {
        std::uint32_t state = seed * 2654435761u + 1;
        for (float& value : values_) {
            state = state * 1664525u + 1013904223u;
            value = static_cast<float>(state >> 8) / static_cast<float>(1u << 24);
        }
    }

    float At(float x, float y) const {
        const int x0 = static_cast<int>(std::floor(x));
        const int y0 = static_cast<int>(std::floor(y));
        const float fx = Smooth(x - static_cast<float>(x0));
        const float fy = Smooth(y - static_cast<float>(y0));
        const float a = Lattice(x0, y0) + (Lattice(x0 + 1, y0) - Lattice(x0, y0)) * fx;
        const float b = Lattice(x0, y0 + 1) + (Lattice(x0 + 1, y0 + 1) - Lattice(x0, y0 + 1)) * fx;
        return a + (b - a) * fy;
    }

    float Fractal(float x, float y, int octaves) const {
        float sum = 0, amplitude = 0.5f, scale = 1;
        for (int i = 0; i < octaves; ++i) {
            sum += amplitude * At(x * scale, y * scale);
            amplitude *= 0.5f;
            scale *= 2.03f;
        }
        return sum;
    }

  private:
    static constexpr int kSize = 256;
    static float Smooth(float t) { return t * t * (3 - 2 * t); }
    float Lattice(int x, int y) const {
        return values_[static_cast<std::size_t>((y & (kSize - 1)) * kSize + (x & (kSize - 1)))];
    }
    std::vector<float> values_;
};

BYTE ToByte(float value) {
    return static_cast<BYTE>(std::clamp(value, 0.0f, 255.0f));
}

}  // namespace

FIBITMAP* MakePhotoLike(unsigned width, unsigned height, std::uint32_t seed) {
    FIBITMAP* picture = FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), 24);
    if (picture == nullptr) {
        return nullptr;
    }
    const ValueNoise noise(seed);
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    const float sunX = 0.7f * w, sunY = 0.28f * h, sunRadius = 0.06f * std::min(w, h);
    std::uint32_t grain = seed | 1u;

    for (unsigned y = 0; y < height; ++y) {
        // FreeImage stores the bottom row first.
        BYTE* bits = FreeImage_GetScanLine(picture, static_cast<int>(height - 1 - y));
        const float v = static_cast<float>(y) / h;
        for (unsigned x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / w;
            float r, g, b;
            const float ridge = 0.55f + 0.08f * std::sin(u * 7.0f + 1.3f) +
                                0.12f * (noise.Fractal(u * 6, 3.7f, 4) - 0.5f);
            const float near = 0.75f + 0.05f * std::sin(u * 13.0f) +
                               0.08f * (noise.Fractal(u * 9, 11.1f, 4) - 0.5f);
            if (v < ridge) {
                // Sky: a gradient with clouds and the sun's glow.
                const float cloud = std::max(0.0f, noise.Fractal(u * 5, v * 9, 5) - 0.45f) * 2.2f;
                r = 90 + 120 * v + 200 * cloud;
                g = 140 + 90 * v + 200 * cloud;
                b = 230 - 30 * v + 190 * cloud;
                const float dx = static_cast<float>(x) - sunX, dy = static_cast<float>(y) - sunY;
                const float distance = std::sqrt(dx * dx + dy * dy);
                const float glow = std::exp(-distance / (sunRadius * 2.5f));
                r += 120 * glow;
                g += 100 * glow;
                b += 40 * glow;
                if (distance < sunRadius) {
                    r = 255, g = 246, b = 214;
                }
            } else if (v < near) {
                // Far hills: blue-green, hazier towards the top.
                const float texture = noise.Fractal(u * 40, v * 40, 5);
                const float haze = (near - v) / (near - ridge);
                r = 60 + 60 * texture + 60 * haze;
                g = 100 + 70 * texture + 50 * haze;
                b = 80 + 40 * texture + 80 * haze;
            } else {
                // Near field: warm, with strong texture and darker at the bottom.
                const float texture = noise.Fractal(u * 120, v * 120, 6);
                const float shade = 1.0f - 0.5f * (v - near) / (1.0f - near);
                r = (90 + 120 * texture) * shade;
                g = (110 + 100 * texture) * shade;
                b = (40 + 50 * texture) * shade;
            }
            grain = grain * 1103515245u + 12345u;
            const float n = static_cast<float>((grain >> 16) & 0xFF) / 255.0f * 14.0f - 7.0f;
            bits[FI_RGBA_RED] = ToByte(r + n);
            bits[FI_RGBA_GREEN] = ToByte(g + n);
            bits[FI_RGBA_BLUE] = ToByte(b + n);
            bits += 3;
        }
    }
    return picture;
}

}  // namespace kerfo::tools
