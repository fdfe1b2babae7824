// JPEG headers read without the image library.
//
// A JPEG file, as the decoder reads it:
//   file    = SOI { marker } ; the first frame's SOS ends the header
//   marker  = junk FF { FF } code ; junk: any bytes but FF, and FF 00
//   code    = standalone (TEM 01, RSTn D0-D7, SOI D8, EOI D9): no segment
//           | known (DHT C4, DAC CC, DQT DB, DNL DC, DRI DD, APPn E0-EF,
//             COM FE, SOFn, SOS DA): a length of 2 bytes (counting itself)
//             and the segment's data
//           | any other: no segment, the decoder reads on behind the code
//   scans   = { SOS header, entropy-coded data } up to EOI; the data
//             escapes each FF it holds as FF 00 (restart markers aside)

#include "formats/jpeg_header.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace kerfo {
namespace {

// The next marker as the decoder finds it, from where reader is: bytes
// before an FF are junk it skips (in entropy-coded data, every FF it holds is
// escaped as FF 00), FF bytes are fill, and FF 00 is junk too. None at the end
// of the file.
std::optional<unsigned> NextMarker(ForwardReader& reader) {
    unsigned char byte = 0;
    do {
        do {
            if (!reader.Next(byte)) {
                return std::nullopt;
            }
        } while (byte != 0xFF);
        do {
            if (!reader.Next(byte)) {
                return std::nullopt;
            }
        } while (byte == 0xFF);
    } while (byte == 0x00);
    return byte;
}

// JPEG markers that start a frame: every SOFn but DHT (C4), JPG (C8) and DAC (CC).
bool IsFrameMarker(unsigned marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length.
bool IsStandaloneMarker(unsigned marker) {
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9);
}

// Markers whose segment the decoder reads or skips by its length: the tables
// (DHT, DAC, DQT, DRI), DNL, APPn and COM. Any other marker the decoder doesn't
// know, and the image library lets it go on right behind the marker's code,
// reading what follows as more markers.
bool IsKnownSegmentMarker(unsigned marker) {
    return marker == 0xC4 || marker == 0xCC || marker == 0xDB || marker == 0xDC || marker == 0xDD ||
           (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
}

struct JpegComponent {
    unsigned id = 0;
    unsigned horizontal = 1;
    unsigned vertical = 1;
    std::uint64_t blocks = 0;  // in whole MCUs, as an interleaved scan has them
};

struct ScanTally {
    unsigned scans = 0;
    std::uint64_t coefficientPasses = 0;
    bool cutShort = false;  // the file ends before the end marker
};

// The coefficients that the scan whose header (its length) is at offset goes
// over: the blocks of each of its components times its band of coefficients,
// all 64 in a sequential JPEG. None when the decoder would refuse the header
// and stop there.
std::optional<std::uint64_t> ScanPasses(ByteSource& source, std::uint64_t offset, bool progressive,
                                        const std::vector<JpegComponent>& components) {
    unsigned char header[2 + 1 + 2 * 4 + 3];
    if (!ReadExactly(source, offset, header, 3)) {
        return std::nullopt;
    }
    const unsigned count = header[2];
    if (count < 1 || count > 4 || BigEndian16(header) != 6 + 2 * count ||
        !ReadExactly(source, offset, header, 3 + 2 * count + 3)) {
        return std::nullopt;
    }
    const unsigned start = header[3 + 2 * count];
    const unsigned end = header[4 + 2 * count];
    const unsigned band = progressive && start <= end && end < 64 ? end - start + 1 : 64;
    std::uint64_t passes = 0;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned id = header[3 + 2 * i];
        const auto found = std::find_if(components.begin(), components.end(),
                                        [id](const JpegComponent& c) { return c.id == id; });
        if (found == components.end()) {
            return std::nullopt;
        }
        passes = Add(passes, Multiply(found->blocks, band));
    }
    return passes;
}

// Whether the IPTC datasets of the APP13 data of length bytes at offset hold a
// record version (2:00) of 1 byte, which the library reads as 2 (past the
// segment, at its end). The datasets are walked as the library walks them:
// from the first 1C 02, each one's tag marker 1C, record, number and length
// of 2 bytes, while they lie whole inside the segment.
bool IptcRecordVersionTooShort(ByteSource& source, std::uint64_t offset, std::uint64_t length) {
    std::vector<unsigned char> data(static_cast<std::size_t>(length));
    if (length < 2 || source.ReadAt(offset, data.data(), data.size()) != data.size()) {
        return false;
    }
    std::size_t at = 0;
    while (at + 1 < data.size() && !(data[at] == 0x1C && data[at + 1] == 0x02)) {
        ++at;
    }
    while (at + 5 < data.size() && data[at] == 0x1C) {
        const std::size_t count = BigEndian16(&data[at + 3]);
        if (data[at + 1] == 0x02 && data[at + 2] == 0x00 && count == 1) {
            return true;
        }
        at += 5;
        if (at + count > data.size()) {
            break;
        }
        at += count;
    }
    return false;
}

// What the library must not be given of the segment of the marker whose
// length (of length bytes, at least 2) is at offset, wherever it lies: before
// the first scan or between scans, the decoder saves every segment and the
// library parses each one it saved.
void CheckSegment(ByteSource& source, unsigned marker, std::uint64_t at, unsigned length,
                  PictureClaim& claim) {
    // The library compares the start of every APP0 and APP1 segment with
    // "JFIF", "JFXX" and "Exif" without looking at its length, and reads
    // on behind a shorter one as if the signature were there.
    if ((marker == 0xE0 && length < 2 + 5) || (marker == 0xE1 && length < 2 + 6)) {
        claim.refusal = "Its header is damaged: an APP" + std::to_string(marker - 0xE0) +
                        " segment is too short to say what it holds.";
    }
    // EXIF (APP1) and JFXX (APP0) segments, which the library would parse
    // (its EXIF reader trusts the offsets it finds) and whose thumbnails it
    // would decode, are kept from it.
    unsigned char id[6];
    if ((marker == 0xE1 || marker == 0xE0) && length >= 2 + 6 &&
        ReadExactly(source, at + 2, id, sizeof id)) {
        const BytePatch hidden{at + 2, std::string(1, static_cast<char>(id[0] ^ 0x20))};
        if (marker == 0xE1 && std::memcmp(id, "Exif\0\0", 6) == 0) {
            claim.hiddenFromLibrary.push_back(hidden);  // "Exif" reads "eXIF"
            claim.exifOffset = at + 2;
            claim.exifLength = length - 2;
        } else if (marker == 0xE0 && std::memcmp(id, "JFXX\0", 5) == 0) {
            claim.hiddenFromLibrary.push_back(hidden);
        }
    }
    if (marker == 0xED && IptcRecordVersionTooShort(source, at + 2, length - 2)) {
        claim.refusal = "Its IPTC data is damaged: its record version is 1 byte long.";
    }
}

// Follows the markers from the first scan's header at offset to the end
// marker as the decoder does, counting the scans and what they go over:
// entropy-coded data escapes every 0xFF it holds (restart markers aside), so
// the next marker is the next FF byte followed by another than 00; segments
// are skipped by their lengths, and what follows the end marker is never read.
ScanTally TallyScans(ByteSource& source, std::uint64_t offset, bool progressive,
                     const std::vector<JpegComponent>& components, PictureClaim& claim) {
    ScanTally tally;
    ForwardReader reader(source);
    std::uint64_t header = offset;
    for (;;) {
        const std::optional<std::uint64_t> passes =
            ScanPasses(source, header, progressive, components);
        if (!passes) {
            tally.cutShort = source.Size() < header + 3;
            return tally;  // the decoder stops at the header
        }
        ++tally.scans;
        tally.coefficientPasses = Add(tally.coefficientPasses, *passes);
        unsigned char bytes[2];
        ReadExactly(source, header, bytes, 2);
        reader.Seek(header + BigEndian16(bytes));
        for (;;) {
            const std::optional<unsigned> found = NextMarker(reader);
            if (!found) {
                tally.cutShort = true;
                return tally;
            }
            const unsigned marker = *found;
            if (marker == 0xDA) {
                header = reader.Offset();
                break;
            }
            if (marker == 0xD9) {
                return tally;
            }
            if (IsFrameMarker(marker) || marker == 0xD8) {
                return tally;  // a second frame or start: the decoder stops
            }
            if (IsKnownSegmentMarker(marker)) {
                if (!ReadExactly(source, reader.Offset(), bytes, 2)) {
                    tally.cutShort = true;
                    return tally;
                }
                const unsigned length = std::max(2u, BigEndian16(bytes));
                CheckSegment(source, marker, reader.Offset(), length, claim);
                reader.Seek(reader.Offset() + length);
            }
            // Restart markers and unknown ones: the decoder reads on behind them.
        }
    }
}

}  // namespace

std::optional<PictureClaim> ReadJpegClaim(ByteSource& source) {
    unsigned char bytes[4];
    if (!ReadExactly(source, 0, bytes, 2) || bytes[0] != 0xFF || bytes[1] != 0xD8) {
        return std::nullopt;
    }
    ForwardReader reader(source);
    reader.Seek(2);
    unsigned frameMarker = 0;
    std::vector<JpegComponent> components;
    PictureClaim claim;
    for (;;) {
        const std::optional<unsigned> found = NextMarker(reader);
        if (!found) {
            return std::nullopt;
        }
        const unsigned marker = *found;
        const std::uint64_t at = reader.Offset();
        if (IsStandaloneMarker(marker)) {
            if (marker == 0xD9) {
                return std::nullopt;  // the end, and no frame came
            }
            continue;
        }
        if (!IsKnownSegmentMarker(marker) && !IsFrameMarker(marker) && marker != 0xDA) {
            continue;
        }
        if (!ReadExactly(source, at, bytes, 2)) {
            return std::nullopt;
        }
        // A length below 2 counts as 2: the library reads on behind it.
        const unsigned length = std::max(2u, BigEndian16(bytes));
        CheckSegment(source, marker, at, length, claim);
        if (marker == 0xE0 && length >= 2 + 14) {
            // A JFIF header: its density in dots per inch (unit 1) or per
            // centimetre (unit 2), converted as the library converts it.
            unsigned char jfif[14];
            if (ReadExactly(source, at + 2, jfif, sizeof jfif) &&
                std::memcmp(jfif, "JFIF\0", 5) == 0) {
                const unsigned x = BigEndian16(jfif + 8);
                const unsigned y = BigEndian16(jfif + 10);
                if (jfif[7] == 1) {
                    claim.dotsPerMeterX =
                        static_cast<std::uint32_t>(static_cast<float>(x) / 0.0254 + 0.5);
                    claim.dotsPerMeterY =
                        static_cast<std::uint32_t>(static_cast<float>(y) / 0.0254 + 0.5);
                } else if (jfif[7] == 2) {
                    claim.dotsPerMeterX = x * 100;
                    claim.dotsPerMeterY = y * 100;
                } else {
                    claim.dotsPerMeterX = claim.dotsPerMeterY = 0;
                }
            }
        }
        if (IsFrameMarker(marker) && frameMarker == 0) {
            unsigned char frame[6];
            if (length < 8 || !ReadExactly(source, at + 2, frame, sizeof frame)) {
                return std::nullopt;
            }
            frameMarker = marker;
            claim.height = BigEndian16(frame + 1);
            claim.width = BigEndian16(frame + 3);
            const unsigned count = frame[5];
            if (length < 8 + 3 * count) {
                return std::nullopt;
            }
            // The library makes a bitmap of 8, 24 or 32 bits for 1, 3 or 4
            // components and of 8 bits for more, into which the decoder writes
            // every component of every pixel.
            if (count != 1 && count != 3 && count != 4) {
                claim.refusal = "It has " + std::to_string(count) +
                                " colour components; the image library reads pictures of 1, 3 "
                                "or 4.";
            }
            for (unsigned i = 0; i < count; ++i) {
                unsigned char component[3];
                if (!ReadExactly(source, at + 8 + 3 * i, component, sizeof component)) {
                    return std::nullopt;
                }
                const unsigned horizontal = component[1] >> 4;
                const unsigned vertical = component[1] & 0x0F;
                components.push_back(
                    {component[0], std::max(1u, horizontal), std::max(1u, vertical), 0});
            }
        }
        if (marker == 0xDA) {
            if (frameMarker == 0 || components.empty() || claim.width == 0 || claim.height == 0) {
                return std::nullopt;
            }
            unsigned char scanComponents[1];
            if (!ReadExactly(source, at + 2, scanComponents, 1)) {
                return std::nullopt;
            }
            const bool progressive = frameMarker == 0xC2 || frameMarker == 0xCA;
            // Huffman coding (baseline, extended, progressive) spends at least a
            // bit on every symbol; arithmetic coding can spend far less.
            const bool boundKnown = frameMarker <= 0xC2;
            unsigned maxHorizontal = 1;
            unsigned maxVertical = 1;
            for (const JpegComponent& component : components) {
                maxHorizontal = std::max(maxHorizontal, component.horizontal);
                maxVertical = std::max(maxVertical, component.vertical);
            }
            std::uint64_t mostBlocks = 0;
            std::uint64_t allBlocks = 0;
            for (const JpegComponent& component : components) {
                const std::uint64_t columns = DivideRoundingUp(
                    DivideRoundingUp(std::uint64_t{claim.width} * component.horizontal,
                                     maxHorizontal),
                    8);
                const std::uint64_t rows = DivideRoundingUp(
                    DivideRoundingUp(std::uint64_t{claim.height} * component.vertical, maxVertical),
                    8);
                mostBlocks = std::max(mostBlocks, columns * rows);
                allBlocks = Add(allBlocks, columns * rows);
            }
            // Every block's DC coefficient is coded, in one bit at the least.
            // Arithmetic coding can spend far less on a flat picture, but a
            // picture squeezed 64 times further than that is no camera's.
            const bool arithmetic = frameMarker == 0xC9 || frameMarker == 0xCA;
            claim.leastFileSize = boundKnown   ? DivideRoundingUp(mostBlocks, 8)
                                  : arithmetic ? DivideRoundingUp(mostBlocks, 8 * 64)
                                               : 0;
            const std::uint64_t mcuColumns =
                DivideRoundingUp(claim.width, std::uint64_t{8} * maxHorizontal);
            const std::uint64_t mcuRows =
                DivideRoundingUp(claim.height, std::uint64_t{8} * maxVertical);
            std::uint64_t mcuBlocks = 0;
            for (JpegComponent& component : components) {
                component.blocks =
                    Multiply(mcuColumns * component.horizontal, mcuRows * component.vertical);
                mcuBlocks = Add(mcuBlocks, component.blocks);
            }
            // Every coefficient once, or in a progressive JPEG in a first scan
            // and at most 13 refinements (a point transform drops 13 bits at
            // most); a scan that goes over any of them again is no picture's.
            claim.coefficients = Multiply(mcuBlocks, 64);
            claim.mostPasses = progressive ? 14 : 1;
            const ScanTally tally = TallyScans(source, at, progressive, components, claim);
            claim.coefficientPasses = tally.coefficientPasses;
            claim.cutShort = tally.cutShort;
            claim.bitsPerPixel = components.size() == 1 ? 8 : 24;
            // A picture in several scans is gathered whole, 64 coefficients of
            // two bytes a block, before the first row comes out.
            claim.coefficientBytes = Multiply(allBlocks, 128);
            if (progressive || scanComponents[0] < components.size()) {
                claim.decoderBytes = claim.coefficientBytes;
            }
            if (progressive) {
                claim.scans = tally.scans;
            }
            return claim;
        }
        reader.Seek(at + length);
    }
}

}  // namespace kerfo
