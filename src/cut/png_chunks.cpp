// The colour chunks of PNG files.

#include "cut/png_chunks.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

namespace kerfo {
namespace {

// The decoder's own limit for a chunk it keeps in memory.
constexpr std::uint32_t kMostChunkBytes = 8000000;

std::string BigEndianText32(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

std::uint32_t ChunkCrc(std::string_view typeAndData) {
    return static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0),
                                            reinterpret_cast<const Bytef*>(typeAndData.data()),
                                            static_cast<uInt>(typeAndData.size())));
}

// A whole chunk: length, type, data and CRC.
std::string Chunk(std::string_view type, std::string_view data) {
    const std::string typeAndData = std::string(type) + std::string(data);
    return BigEndianText32(static_cast<std::uint32_t>(data.size())) + typeAndData +
           BigEndianText32(ChunkCrc(typeAndData));
}

// A sample of depth bits at another depth, as a decoder scales it.
std::uint32_t Rescaled(std::uint32_t sample, unsigned depth, unsigned newDepth) {
    return sample * ((1u << newDepth) - 1) / ((1u << depth) - 1);
}

// The tRNS chunk that makes the picture's transparent colour transparent in a
// PNG of that header (IHDR data) and palette (PLTE data); empty when the
// piece stores no such colour.
std::string TransparencyChunk(const PngColour& colour, std::string_view ihdr,
                              std::string_view plte) {
    if (colour.transparent.empty() || ihdr.size() < 13) {
        return {};
    }
    const unsigned depth = static_cast<unsigned char>(ihdr[8]);
    const unsigned colourType = static_cast<unsigned char>(ihdr[9]);
    // One grey level, or red, green and blue; anything else was never read.
    const bool grey = colour.transparent.size() == 1;
    if (!grey && colour.transparent.size() != 3) {
        return {};
    }
    auto samples = [](const std::vector<std::uint32_t>& values) {
        std::string data;
        for (const std::uint32_t value : values) {
            data += {static_cast<char>(value >> 8), static_cast<char>(value)};
        }
        return data;
    };
    if (grey && colourType == 0 && depth >= colour.depth) {
        return Chunk("tRNS", samples({Rescaled(colour.transparent[0], colour.depth, depth)}));
    }
    if (!grey && colourType == 2 && depth == colour.depth) {
        return Chunk("tRNS", samples({colour.transparent.begin(), colour.transparent.end()}));
    }
    if (colourType != 3 || colour.depth > 8) {
        return {};
    }
    // A palette piece: the entry of that colour is the transparent one.
    std::string rgb;
    for (std::size_t i = 0; i < 3; ++i) {
        rgb += static_cast<char>(Rescaled(colour.transparent[grey ? 0 : i], colour.depth, 8));
    }
    for (std::size_t entry = 0; entry + 3 <= plte.size(); entry += 3) {
        if (plte.substr(entry, 3) == rgb) {
            return Chunk("tRNS", std::string(entry / 3, '\xFF') + '\0');
        }
    }
    return {};
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
    unsigned char header[8 + 8 + 13];
    if (source.ReadAt(0, header, sizeof header) != sizeof header ||
        std::memcmp(header + 12, "IHDR", 4) != 0) {
        return colour;
    }
    const unsigned colourType = header[25];
    // The decoder takes the first whole chunk of each kind that is valid for
    // it, and ignores every later one as a duplicate.
    std::set<std::string> taken;
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
        // A transparent colour of the picture's bit depth: a grey level, or
        // red, green and blue.
        const bool transparency =
            type == "tRNS" && header[24] <= 16 &&
            ((colourType == 0 && length == 2) || (colourType == 2 && length == 6));
        const bool valid = transparency || (type == "gAMA" && length == 4) ||
                           (type == "cHRM" && length == 32) || (type == "sRGB" && length == 1) ||
                           type == "iCCP";
        if (valid && length <= kMostChunkBytes) {
            std::string chunk(8 + length + 4, '\0');
            if (source.ReadAt(at, chunk.data(), chunk.size()) != chunk.size()) {
                break;
            }
            const bool whole =
                ChunkCrc(std::string_view(chunk).substr(4, 4 + length)) ==
                BigEndian32(reinterpret_cast<const unsigned char*>(chunk.data() + 8 + length));
            const std::string data = chunk.substr(8, length);
            if (whole && transparency) {
                // Every such chunk is hidden from the library, which would
                // otherwise take the next one once the first is hidden.
                colour.transparencyChunks.push_back({at, data});
            }
            if (whole && taken.insert(type).second) {
                if (transparency) {
                    colour.depth = header[24];
                    for (std::size_t i = 0; i < length; i += 2) {
                        colour.transparent.push_back(static_cast<std::uint16_t>(
                            BigEndian16(reinterpret_cast<const unsigned char*>(data.data() + i))));
                    }
                } else {
                    colour.chunks += chunk;
                    if (type == "gAMA") {
                        colour.gamma =
                            BigEndian32(reinterpret_cast<const unsigned char*>(data.data()));
                    } else if (type == "iCCP") {
                        colour.iccProfile = InflateProfile(data);
                    }
                }
            }
        }
        at += 8 + static_cast<std::uint64_t>(length) + 4;
    }
    return colour;
}

std::vector<BytePatch> HideTransparentColour(const PngColour& colour) {
    std::vector<BytePatch> patches;
    for (const PngColour::ChunkPlace& place : colour.transparencyChunks) {
        // "tRNs": an ancillary chunk of no known type, which the decoder skips.
        const std::string type = "tRNs";
        patches.push_back({place.offset + 4, type});
        patches.push_back(
            {place.offset + 8 + place.data.size(), BigEndianText32(ChunkCrc(type + place.data))});
    }
    return patches;
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

bool PngChunkInserter::Write(std::string_view bytes, const Sink& sink) {
    constexpr std::uint64_t kSignature = 8;
    while (!bytes.empty()) {
        if (written_ < kSignature || !beforeData_) {
            // The signature; and once the first IDAT has come, the rest as it is.
            const std::size_t count = beforeData_
                                          ? static_cast<std::size_t>(std::min<std::uint64_t>(
                                                kSignature - written_, bytes.size()))
                                          : bytes.size();
            if (!sink(bytes.substr(0, count))) {
                return false;
            }
            written_ += count;
            bytes.remove_prefix(count);
            continue;
        }
        if (left_ == 0) {
            // A chunk's length and type, gathered whole before they go on.
            const std::size_t count = std::min(8 - header_.size(), bytes.size());
            header_.append(bytes.substr(0, count));
            bytes.remove_prefix(count);
            if (header_.size() < 8) {
                return true;
            }
            type_ = header_.substr(4, 4);
            left_ =
                std::uint64_t{BigEndian32(reinterpret_cast<const unsigned char*>(header_.data()))} +
                4;
            if (type_ == "IDAT") {
                beforeData_ = false;
                if (!sink(TransparencyChunk(colour_, ihdr_, plte_))) {
                    return false;
                }
            }
            if (!sink(header_)) {
                return false;
            }
            written_ += header_.size();
            header_.clear();
            continue;
        }
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(left_, bytes.size()));
        const std::string_view part = bytes.substr(0, count);
        // The data of IHDR and PLTE, without their CRC.
        if (type_ == "IHDR" || type_ == "PLTE") {
            std::string& data = type_ == "IHDR" ? ihdr_ : plte_;
            data.append(part.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(
                                           count, left_ > 4 ? left_ - 4 : 0))));
        }
        if (!sink(part)) {
            return false;
        }
        written_ += count;
        left_ -= count;
        bytes.remove_prefix(count);
        if (left_ == 0 && type_ == "IHDR" && !colour_.chunks.empty() && !sink(colour_.chunks)) {
            return false;
        }
    }
    return true;
}

}  // namespace kerfo
