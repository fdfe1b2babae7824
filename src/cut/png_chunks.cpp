// The colour chunks of PNG files.

#include "cut/png_chunks.h"

#include <zlib.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace kerfo {
namespace {

// The decoder's own limit for a chunk it keeps in memory.
constexpr std::uint32_t kMostChunkBytes = 8000000;

std::uint32_t BigEndian32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

// The profile of an iCCP chunk's data: a name of 1 to 79 bytes, its
// terminator, the compression method (0, deflate) and the compressed profile.
std::string InflateProfile(const std::string& data) {
    const std::size_t end = data.find('\0');
    if (end == std::string::npos || end == 0 || end > 79 || end + 2 > data.size() ||
        data[end + 1] != 0) {
        return {};
    }
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return {};
    }
    std::string profile;
    std::vector<unsigned char> buffer(64 * 1024);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + end + 2));
    stream.avail_in = static_cast<uInt>(data.size() - end - 2);
    int status = Z_OK;
    while (status == Z_OK && profile.size() <= kMostChunkBytes) {
        stream.next_out = buffer.data();
        stream.avail_out = static_cast<uInt>(buffer.size());
        status = inflate(&stream, Z_NO_FLUSH);
        profile.append(reinterpret_cast<const char*>(buffer.data()),
                       buffer.size() - stream.avail_out);
        if (status == Z_BUF_ERROR && stream.avail_in == 0) {
            break;
        }
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END && profile.size() <= kMostChunkBytes ? profile : std::string();
}

}  // namespace

PngColour ReadPngColour(ByteSource& source) {
    PngColour colour;
    std::uint64_t at = 8;
    for (;;) {
        unsigned char head[8];
        if (source.ReadAt(at, head, sizeof head) != sizeof head) {
            break;
        }
        const std::uint32_t length = BigEndian32(head);
        const std::string type(reinterpret_cast<const char*>(head + 4), 4);
        if (type == "IDAT" || type == "IEND" || length > 0x7FFFFFFF) {
            break;
        }
        const bool wanted = type == "gAMA" || type == "cHRM" || type == "sRGB" || type == "iCCP";
        if (wanted && length <= kMostChunkBytes) {
            std::string chunk(8 + length + 4, '\0');
            if (source.ReadAt(at, chunk.data(), chunk.size()) != chunk.size()) {
                break;
            }
            const uLong crc = crc32(crc32(0, nullptr, 0),
                                    reinterpret_cast<const Bytef*>(chunk.data() + 4), length + 4);
            const bool whole =
                crc ==
                BigEndian32(reinterpret_cast<const unsigned char*>(chunk.data() + 8 + length));
            const std::string data = chunk.substr(8, length);
            if (whole) {
                colour.chunks += chunk;
                if (type == "gAMA" && length == 4) {
                    colour.gamma = BigEndian32(reinterpret_cast<const unsigned char*>(data.data()));
                } else if (type == "sRGB") {
                    colour.sRGB = true;
                } else if (type == "iCCP") {
                    colour.iccProfile = InflateProfile(data);
                }
            }
        }
        at += 8 + static_cast<std::uint64_t>(length) + 4;
    }
    return colour;
}

bool GammaCorrectionChangesSamples(const PngColour& colour) {
    // The decoder corrects when the file's gamma times the display's (2.2)
    // differs from 1 by 0.05 or more; an sRGB chunk stands for 1/2.2. Anything
    // beyond a hundredth counts here.
    auto far = [](double fileGamma) { return std::fabs(fileGamma * 2.2 - 1) > 0.01; };
    if (colour.gamma && (*colour.gamma == 0 || far(*colour.gamma / 100000.0))) {
        return true;
    }
    return false;
}

}  // namespace kerfo
