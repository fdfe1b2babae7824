#include "picture_structure.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace kerfo::structure {
namespace {

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1A\n", 8);
constexpr std::string_view kJpegStart("\xFF\xD8", 2);
constexpr std::size_t kMostJpegPayload = 0xFFFF - 2;

// The chunk types that a change of type picks from: those the decoder and the
// library know, and one that no one knows.
constexpr std::array<std::string_view, 19> kPngTypes = {
    "IHDR", "PLTE", "IDAT", "IEND", "tRNS", "gAMA", "cHRM", "sRGB", "iCCP", "sBIT",
    "bKGD", "hIST", "pHYs", "sPLT", "tIME", "tEXt", "zTXt", "iTXt", "kRFo"};
// The codes of the markers with a length: the frames (baseline, extended,
// progressive, lossless, hierarchical, arithmetic), tables, restart interval,
// scan, line count, application segments and comment.
constexpr std::array<unsigned char, 32> kJpegCodes = {
    0xC0, 0xC1, 0xC2, 0xC3, 0xC5, 0xC7, 0xC9, 0xCA, 0xCC, 0xC4, 0xDB, 0xDD, 0xDA, 0xDC, 0xDE, 0xDF,
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xFE};

std::uint32_t Crc(std::string_view type, std::string_view data) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int bit = 0; bit < 8; ++bit) {
                c = (c & 1) ? 0xEDB88320 ^ (c >> 1) : c >> 1;
            }
            entries[n] = c;
        }
        return entries;
    }();
    std::uint32_t crc = 0xFFFFFFFF;
    for (const std::string_view bytes : {type, data}) {
        for (const char byte : bytes) {
            crc = table[(crc ^ static_cast<unsigned char>(byte)) & 0xFF] ^ (crc >> 8);
        }
    }
    return crc ^ 0xFFFFFFFF;
}

unsigned Byte(std::string_view file, std::size_t at) {
    return static_cast<unsigned char>(file[at]);
}

std::uint32_t BigEndian(std::string_view file, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = value << 8 | Byte(file, at + i);
    }
    return value;
}

std::uint32_t LittleEndian32(std::string_view file, std::size_t at) {
    return Byte(file, at) | Byte(file, at + 1) << 8 | Byte(file, at + 2) << 16 |
           static_cast<std::uint32_t>(Byte(file, at + 3)) << 24;
}

void AppendBigEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out += static_cast<char>(value >> (8 * i));
    }
}

// The markers that stand alone, without a length: TEM, the restarts, the
// start and the end.
bool StandsAlone(unsigned code) {
    return code == 0x01 || (code >= 0xD0 && code <= 0xD9);
}

void ParsePng(std::string_view file, Picture& picture) {
    std::size_t at = kPngSignature.size();
    while (at + 12 <= file.size()) {
        const std::uint32_t length = BigEndian(file, at, 4);
        if (length > file.size() - at - 12) {
            break;
        }
        picture.parts.push_back(
            {std::string(file.substr(at + 4, 4)), std::string(file.substr(at + 8, length)), {}});
        at += 12 + length;
    }
    picture.rest = file.substr(at);
}

// The end of the bytes from at on that belong to no marker: entropy-coded
// data, in which 0xFF is followed by 0 or a restart marker, and fill bytes.
std::size_t NextMarker(std::string_view file, std::size_t at) {
    while (at < file.size()) {
        if (Byte(file, at) != 0xFF) {
            ++at;
            continue;
        }
        std::size_t code = at + 1;
        while (code < file.size() && Byte(file, code) == 0xFF) {
            ++code;
        }
        if (code == file.size()) {
            return file.size();
        }
        if (Byte(file, code) != 0 && (Byte(file, code) < 0xD0 || Byte(file, code) > 0xD7)) {
            return code - 1;
        }
        at = code + 1;
    }
    return at;
}

void ParseJpeg(std::string_view file, Picture& picture) {
    std::size_t at = kJpegStart.size();
    while (at + 2 <= file.size() && Byte(file, at) == 0xFF) {
        const unsigned code = Byte(file, at + 1);
        Part part{std::string(1, static_cast<char>(code)), {}, {}};
        std::size_t end = at + 2;
        if (!StandsAlone(code)) {
            if (at + 4 > file.size()) {
                break;
            }
            const std::uint32_t length = BigEndian(file, at + 2, 2);
            if (length < 2 || length > file.size() - at - 2) {
                break;
            }
            part.data = file.substr(at + 4, length - 2);
            end = at + 2 + length;
        }
        // What follows the end marker is no part of the picture's structure.
        at = code == 0xD9 ? file.size() : NextMarker(file, end);
        part.after = file.substr(end, at - end);
        picture.parts.push_back(std::move(part));
    }
    picture.rest = file.substr(at);
}

// The file header, the information header, the colour table or masks up to
// the pixels, and the pixels.
void ParseBmp(std::string_view file, Picture& picture) {
    std::size_t at = 0;
    const auto take = [&](std::size_t end) {
        picture.parts.push_back({{}, std::string(file.substr(at, end - at)), {}});
        at = end;
    };
    if (file.size() < 18) {
        picture.rest = file;
        return;
    }
    const std::uint32_t pixels = LittleEndian32(file, 10);
    const std::uint32_t header = LittleEndian32(file, 14);
    take(14);
    if (header <= file.size() - at) {
        take(at + header);
        if (pixels > at && pixels <= file.size()) {
            take(pixels);
        }
        if (at < file.size()) {
            take(file.size());
        }
    }
    picture.rest = file.substr(at);
}

std::size_t Pick(std::minstd_rand& random, std::size_t count) {
    return std::uniform_int_distribution<std::size_t>(0, count - 1)(random);
}

// The size of the file that Write makes, without making it.
std::size_t WrittenSize(const Picture& picture) {
    std::size_t size = picture.rest.size();
    for (const Part& part : picture.parts) {
        switch (picture.kind) {
            case Kind::Png:
                size += 12 + part.data.size();
                break;
            case Kind::Jpeg:
                size += 2 + part.after.size() +
                        (StandsAlone(Byte(part.type, 0))
                             ? 0
                             : 2 + std::min(part.data.size(), kMostJpegPayload));
                break;
            case Kind::Bmp:
                size += part.data.size();
                break;
        }
    }
    return size + (picture.kind == Kind::Png    ? kPngSignature.size()
                   : picture.kind == Kind::Jpeg ? kJpegStart.size()
                                                : 0);
}

// Bytes changed by mutate within room bytes more than they have; empty bytes
// get one to change first.
void MutateBytes(std::string& bytes, std::size_t room, std::minstd_rand& random,
                 ByteMutator mutate) {
    if (bytes.empty()) {
        if (room == 0) {
            return;
        }
        bytes += static_cast<char>(random());
        --room;
    }
    const std::size_t size = bytes.size();
    bytes.resize(size + std::min<std::size_t>(room, 4096));
    bytes.resize(mutate(reinterpret_cast<std::uint8_t*>(bytes.data()), size, bytes.size()));
}

}  // namespace

std::string Picture::Write(std::size_t count) const {
    std::string file;
    file.reserve(WrittenSize(*this));
    file += kind == Kind::Png ? kPngSignature : kind == Kind::Jpeg ? kJpegStart : "";
    for (std::size_t i = 0; i < parts.size() && i < count; ++i) {
        const Part& part = parts[i];
        switch (kind) {
            case Kind::Png:
                AppendBigEndian(file, static_cast<std::uint32_t>(part.data.size()), 4);
                file += part.type;
                file += part.data;
                AppendBigEndian(file, Crc(part.type, part.data), 4);
                break;
            case Kind::Jpeg: {
                file += '\xFF';
                file += part.type;
                if (!StandsAlone(Byte(part.type, 0))) {
                    const std::size_t size = std::min(part.data.size(), kMostJpegPayload);
                    AppendBigEndian(file, static_cast<std::uint32_t>(size + 2), 2);
                    file.append(part.data, 0, size);
                }
                file += part.after;
                break;
            }
            case Kind::Bmp:
                file += part.data;
                break;
        }
    }
    if (count >= parts.size()) {
        file += rest;
    }
    return file;
}

std::optional<Picture> Parse(std::string_view file) {
    Picture picture;
    if (file.substr(0, kPngSignature.size()) == kPngSignature) {
        picture.kind = Kind::Png;
        ParsePng(file, picture);
    } else if (file.substr(0, kJpegStart.size()) == kJpegStart) {
        picture.kind = Kind::Jpeg;
        ParseJpeg(file, picture);
    } else if (file.substr(0, 2) == "BM") {
        picture.kind = Kind::Bmp;
        ParseBmp(file, picture);
    }
    if (picture.parts.empty()) {
        return std::nullopt;
    }
    return picture;
}

bool Mutate(Picture& picture, std::minstd_rand& random, ByteMutator mutate, std::size_t maxSize) {
    std::vector<Part>& parts = picture.parts;
    if (picture.kind == Kind::Bmp || parts.empty()) {
        return false;
    }
    const std::size_t chosen = Pick(random, parts.size());
    switch (Pick(random, 5)) {
        case 0: {
            Part copy = parts[chosen];
            parts.insert(parts.begin() + Pick(random, parts.size() + 1), std::move(copy));
            break;
        }
        case 1:
            parts.erase(parts.begin() + chosen);
            break;
        case 2: {
            Part moved = std::move(parts[chosen]);
            parts.erase(parts.begin() + chosen);
            parts.insert(parts.begin() + Pick(random, parts.size() + 1), std::move(moved));
            break;
        }
        case 3: {
            Part& part = parts[chosen];
            const std::size_t size = WrittenSize(picture);
            std::size_t room = maxSize > size ? maxSize - size : 0;
            const bool scan = !part.after.empty() && random() % 2 == 0;
            std::string& bytes = scan ? part.after : part.data;
            if (picture.kind == Kind::Jpeg && !scan) {
                room = std::min(room, kMostJpegPayload - std::min(bytes.size(), kMostJpegPayload));
            }
            MutateBytes(bytes, room, random, mutate);
            break;
        }
        default:
            if (picture.kind == Kind::Png) {
                parts[chosen].type = kPngTypes[Pick(random, kPngTypes.size())];
            } else if (StandsAlone(Byte(parts[chosen].type, 0))) {
                return false;
            } else {
                parts[chosen].type = static_cast<char>(kJpegCodes[Pick(random, kJpegCodes.size())]);
            }
            break;
    }
    return WrittenSize(picture) <= maxSize;
}

bool CrossOver(Picture& picture, const Picture& other, std::minstd_rand& random,
               std::size_t maxSize) {
    std::vector<Part>& parts = picture.parts;
    if (picture.kind != other.kind || picture.kind == Kind::Bmp || parts.empty() ||
        other.parts.empty()) {
        return false;
    }
    const std::size_t taken = Pick(random, other.parts.size());
    switch (Pick(random, 3)) {
        case 0:
            parts.insert(parts.begin() + Pick(random, parts.size() + 1), other.parts[taken]);
            break;
        case 1:
            parts[Pick(random, parts.size())] = other.parts[taken];
            break;
        default:
            parts.resize(Pick(random, parts.size()) + 1);
            parts.insert(parts.end(), other.parts.begin() + taken, other.parts.end());
            picture.rest = other.rest;
            break;
    }
    return WrittenSize(picture) <= maxSize;
}

}  // namespace kerfo::structure
