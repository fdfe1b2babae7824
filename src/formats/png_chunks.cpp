// PNG files read without the image library.
//
// A PNG file, as the decoder reads it:
//   file  = signature (89 'PNG' 0D 0A 1A 0A) IHDR { chunk } IEND
//   chunk = length (4 bytes, most significant first, below 2^31)
//           type (4 letters) data (length bytes) CRC (4 bytes, of type and data)
// IHDR's data: width (4), height (4), bit depth, colour type, compression,
// filter and interlace method (a byte each). The chunks that say how the
// samples are shown (gAMA, cHRM, sRGB, iCCP, tRNS) come before the first
// IDAT; the decoder takes the first whole and valid one of each type.

#include "formats/png_chunks.h"

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

// Deflate codes a run of 258 bytes in two bits at best.
constexpr std::uint64_t kMostDeflateExpansion = 1032;

// The most text that a PNG's compressed text chunks may inflate to, all
// together: the library keeps the text of each (up to 8 MB a chunk) and it goes
// into every piece.
constexpr std::uint64_t kMostPngText = 64ull << 20;

// The head of a chunk: where it starts, its data's length and its type.
struct ChunkHead {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    std::string type;
    // The offset of the chunk behind it.
    std::uint64_t End() const { return offset + 8 + std::uint64_t{length} + 4; }
};

// Calls visit with the head of every chunk, in the file's order from the
// first behind the signature, until visit returns false or a head can't be
// read.
template <typename Visit>
void ForEachChunk(ByteSource& source, Visit visit) {
    for (std::uint64_t at = 8;;) {
        unsigned char head[8];
        if (!ReadExactly(source, at, head, sizeof head)) {
            return;
        }
        const ChunkHead chunk{at, BigEndian32(head),
                              std::string(reinterpret_cast<char*>(head + 4), 4)};
        if (!visit(chunk)) {
            return;
        }
        at = chunk.End();
    }
}

// What came out of a zlib stream: how many bytes, and whether it ended.
struct Inflated {
    std::uint64_t size = 0;
    bool ended = false;
};

// Inflates the zlib stream of length bytes at offset until it ends, is found
// damaged, its bytes run out or limit bytes have come out; appends what came
// out to output unless that is null.
Inflated Inflate(ByteSource& source, std::uint64_t offset, std::uint64_t length,
                 std::uint64_t limit, std::string* output) {
    Inflated inflated;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return inflated;
    }
    std::vector<unsigned char> input(1 << 16);
    std::vector<unsigned char> buffer(1 << 16);
    int status = Z_OK;
    while (status == Z_OK && inflated.size < limit) {
        if (stream.avail_in == 0 && length > 0) {
            const std::size_t count = source.ReadAt(
                offset, input.data(),
                static_cast<std::size_t>(std::min<std::uint64_t>(length, input.size())));
            if (count == 0) {
                break;
            }
            offset += count;
            length -= count;
            stream.next_in = input.data();
            stream.avail_in = static_cast<uInt>(count);
        }
        stream.next_out = buffer.data();
        stream.avail_out = static_cast<uInt>(buffer.size());
        status = inflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = buffer.size() - stream.avail_out;
        inflated.size += produced;
        if (output != nullptr) {
            output->append(reinterpret_cast<const char*>(buffer.data()), produced);
        }
    }
    inflateEnd(&stream);
    inflated.ended = status == Z_STREAM_END;
    return inflated;
}

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
    MemorySource source(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    std::string profile;
    const Inflated inflated = Inflate(source, end + 2, data.size() - end - 2,
                                      std::uint64_t{kMostChunkBytes} + 1, &profile);
    return inflated.ended && profile.size() <= kMostChunkBytes ? profile : std::string();
}

struct PngChunkTally {
    // What the compressed text chunks (zTXt, and iTXt with its compression
    // flag set) inflate to, all together, counted up to a limit.
    std::uint64_t text = 0;
    // A chunk runs past the end of the file: the decoder would reserve the
    // memory it claims before it finds out.
    bool cutShort = false;
};

// The start of a compressed text chunk's text, within its first count bytes:
//   zTXt: keyword, NUL, method, text
//   iTXt: keyword, NUL, flag, method, language, NUL, translated keyword, NUL, text
// 0 when the text isn't compressed or doesn't start there.
std::size_t CompressedTextStart(const unsigned char* start, std::size_t count, bool iTXt) {
    int nuls = 0;
    bool compressed = !iTXt;
    for (std::size_t i = 0; i < count; ++i) {
        if (start[i] != 0) {
            continue;
        }
        ++nuls;
        if (nuls == 1 && iTXt) {
            compressed = i + 1 < count && start[i + 1] != 0;
            i += 2;  // the flag and the method
        }
        if ((!iTXt && nuls == 1) || (iTXt && nuls == 3)) {
            return compressed ? i + 1 + (iTXt ? 0 : 1) : 0;
        }
    }
    return 0;
}

PngChunkTally TallyPngChunks(ByteSource& source, std::uint64_t limit) {
    PngChunkTally tally;
    ForEachChunk(source, [&](const ChunkHead& chunk) {
        if (tally.text >= limit) {
            return false;
        }
        if (chunk.End() > source.Size()) {
            tally.cutShort = true;
            return false;
        }
        if (chunk.type == "IEND") {
            return false;
        }
        if (chunk.type == "zTXt" || chunk.type == "iTXt") {
            unsigned char start[1024];
            const std::size_t count = source.ReadAt(
                chunk.offset + 8, start, std::min<std::size_t>(chunk.length, sizeof start));
            const std::size_t text = CompressedTextStart(start, count, chunk.type == "iTXt");
            if (text != 0 && text < chunk.length) {
                tally.text += std::min(Inflate(source, chunk.offset + 8 + text, chunk.length - text,
                                               limit - tally.text, nullptr)
                                           .size,
                                       limit - tally.text);
            }
        }
        return true;
    });
    return tally;
}

}  // namespace

bool IsPngSignature(const unsigned char* bytes) {
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return std::memcmp(bytes, kSignature, sizeof kSignature) == 0;
}

std::optional<PictureClaim> ReadPngClaim(ByteSource& source) {
    unsigned char bytes[8 + 8 + 13];
    if (!ReadExactly(source, 0, bytes, sizeof bytes) || !IsPngSignature(bytes) ||
        std::memcmp(bytes + 12, "IHDR", 4) != 0) {
        return std::nullopt;
    }
    PictureClaim claim;
    claim.width = BigEndian32(bytes + 16);
    claim.height = BigEndian32(bytes + 20);
    const unsigned depth = bytes[24];
    unsigned channels = 0;
    switch (bytes[25]) {
        case 0:  // grey
        case 3:  // palette
            channels = 1;
            break;
        case 2:  // RGB
            channels = 3;
            break;
        case 4:  // grey and alpha
            channels = 2;
            break;
        case 6:  // RGB and alpha
            channels = 4;
            break;
        default:
            return std::nullopt;
    }
    if (claim.width == 0 || claim.height == 0 || depth == 0 || depth > 16) {
        return std::nullopt;
    }
    // The inflated data: every pixel's bits and one filter byte per row. An
    // interlaced picture has more rows, so this is its least too.
    const std::uint64_t pixelBytes =
        DivideRoundingUp(Multiply(Multiply(claim.width, claim.height), channels * depth), 8);
    claim.leastFileSize = Add(pixelBytes, claim.height) / kMostDeflateExpansion;
    const PngChunkTally chunks = TallyPngChunks(source, kMostPngText + 1);
    if (chunks.cutShort) {
        claim.refusal = "It is cut short: a chunk runs past the end of the file.";
    } else if (chunks.text > kMostPngText) {
        claim.refusal = "Its text chunks inflate to more than 64 MB of text.";
    }
    claim.decoderBytes = chunks.text;
    return claim;
}

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
    ForEachChunk(source, [&](const ChunkHead& head) {
        const std::uint32_t length = head.length;
        const std::string& type = head.type;
        if (type == "IDAT" || type == "IEND" || length > 0x7FFFFFFF) {
            return false;
        }
        // A transparent colour of the picture's bit depth: a grey level, or
        // red, green and blue.
        const bool transparency =
            type == "tRNS" && header[24] <= 16 &&
            ((colourType == 0 && length == 2) || (colourType == 2 && length == 6));
        const bool valid = transparency || (type == "gAMA" && length == 4) ||
                           (type == "cHRM" && length == 32) || (type == "sRGB" && length == 1) ||
                           type == "iCCP";
        if (!valid || length > kMostChunkBytes) {
            return true;
        }
        std::string chunk(8 + length + 4, '\0');
        if (source.ReadAt(head.offset, chunk.data(), chunk.size()) != chunk.size()) {
            return false;
        }
        const bool whole =
            ChunkCrc(std::string_view(chunk).substr(4, 4 + length)) ==
            BigEndian32(reinterpret_cast<const unsigned char*>(chunk.data() + 8 + length));
        const std::string data = chunk.substr(8, length);
        if (whole && transparency) {
            // Every such chunk is hidden from the library, which would
            // otherwise take the next one once the first is hidden.
            colour.transparencyChunks.push_back({head.offset, data});
        }
        if (!whole || !taken.insert(type).second) {
            return true;
        }
        if (transparency) {
            colour.depth = header[24];
            for (std::size_t i = 0; i < length; i += 2) {
                colour.transparent.push_back(static_cast<std::uint16_t>(
                    BigEndian16(reinterpret_cast<const unsigned char*>(data.data() + i))));
            }
        } else {
            colour.chunks += chunk;
            if (type == "gAMA") {
                colour.gamma = BigEndian32(reinterpret_cast<const unsigned char*>(data.data()));
            } else if (type == "iCCP") {
                colour.iccProfile = InflateProfile(data);
            }
        }
        return true;
    });
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
