// The EXIF of a piece, rewritten in place in a copy of the picture's.
//
// An EXIF segment (the data of an APP1 segment):
//   segment   = "Exif" 00 00 tiff
//   tiff      = byte order ("II" little-endian or "MM" big-endian), 42 (2
//               bytes), the offset of the first directory (4); every offset
//               counts from the start of tiff
//   directory = count (2), count entries, the offset of the next one (4; 0
//               for none)
//   entry     = tag (2), type (2), count (4), value (4): the value itself
//               where it takes 4 bytes or fewer, else its offset
// The first directory describes the picture and links to the EXIF (8769)
// and GPS (8825) directories, the EXIF one to the interoperability one
// (A005); the first directory's next one describes the thumbnail.

#include "formats/exif.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "formats/bytes.h"

namespace kerfo {
namespace {

// Tags of the directories.
constexpr unsigned kImageWidth = 0x100;
constexpr unsigned kImageLength = 0x101;
constexpr unsigned kStripOffsets = 0x111;
constexpr unsigned kOrientation = 0x112;
constexpr unsigned kStripByteCounts = 0x117;
constexpr unsigned kThumbnailOffset = 0x201;  // JPEGInterchangeFormat
constexpr unsigned kThumbnailLength = 0x202;
constexpr unsigned kExifDirectory = 0x8769;
constexpr unsigned kGpsDirectory = 0x8825;
constexpr unsigned kPixelXDimension = 0xA002;
constexpr unsigned kPixelYDimension = 0xA003;
constexpr unsigned kInteroperabilityDirectory = 0xA005;
constexpr unsigned kShort = 3;
constexpr unsigned kLong = 4;
constexpr unsigned kIfd = 13;  // an offset, as some writers type directory links

// Bytes from one offset to another of the TIFF structure.
using Span = std::pair<std::uint64_t, std::uint64_t>;

struct Entry {
    std::uint64_t at = 0;  // where the entry starts
    unsigned tag = 0;
    unsigned type = 0;
    std::uint32_t count = 0;
    std::uint64_t valueAt = 0;  // where the value is: in the entry, or where it points
    std::uint64_t size = 0;     // its bytes; 0 for a type of unknown size
};

struct Directory {
    std::vector<Entry> entries;
    std::uint64_t nextAt = 0;  // where the offset of the next directory is
    std::vector<Span> spans;   // the directory and the values it points to
};

// The TIFF structure of an EXIF segment, read and changed in place.
class Tiff {
  public:
    explicit Tiff(std::string& bytes) : bytes_(bytes) {}
    std::uint64_t Size() const { return bytes_.size() - kStart; }
    bool Valid() const {
        return bytes_.size() >= kStart + 8 &&
               bytes_.compare(0, 6, std::string("Exif\0\0", 6)) == 0 &&
               (bytes_.compare(kStart, 4, "II*\0", 4) == 0 ||
                bytes_.compare(kStart, 4, "MM\0*", 4) == 0);
    }
    bool Within(std::uint64_t at, std::uint64_t count) const {
        return at <= Size() && count <= Size() - at;
    }
    std::uint32_t Read(std::uint64_t at, unsigned size) const {
        const unsigned char* p = Data(at);
        const bool little = bytes_[kStart] == 'I';
        if (size == 2) {
            return little ? LittleEndian16(p) : BigEndian16(p);
        }
        return little ? LittleEndian32(p) : BigEndian32(p);
    }
    void Write(std::uint64_t at, unsigned size, std::uint32_t value) {
        const bool little = bytes_[kStart] == 'I';
        for (unsigned i = 0; i < size; ++i) {
            const unsigned shift = 8 * (little ? i : size - 1 - i);
            bytes_[static_cast<std::size_t>(kStart + at + i)] = static_cast<char>(value >> shift);
        }
    }
    void Clear(const Span& span) {
        const std::uint64_t end = std::min(span.second, Size());
        if (span.first < end) {
            std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(kStart + span.first),
                        end - span.first, '\0');
        }
    }
    void CutAt(std::uint64_t at) { bytes_.resize(static_cast<std::size_t>(kStart + at)); }

    // The directory at offset; none when it doesn't lie inside the structure.
    std::optional<Directory> ReadDirectory(std::uint64_t offset) const {
        if (offset < 8 || !Within(offset, 2)) {
            return std::nullopt;
        }
        const std::uint64_t count = Read(offset, 2);
        const std::uint64_t end = offset + 2 + 12 * count + 4;
        if (!Within(offset, end - offset)) {
            return std::nullopt;
        }
        Directory directory;
        directory.nextAt = end - 4;
        directory.spans.emplace_back(offset, end);
        for (std::uint64_t at = offset + 2; at < directory.nextAt; at += 12) {
            Entry entry;
            entry.at = at;
            entry.tag = Read(at, 2);
            entry.type = Read(at + 2, 2);
            entry.count = Read(at + 4, 4);
            static const unsigned kTypeSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
            const unsigned typeSize = entry.type < 14 ? kTypeSizes[entry.type] : 0;
            entry.size = std::uint64_t{typeSize} * entry.count;
            entry.valueAt = entry.size <= 4 ? at + 8 : Read(at + 8, 4);
            if (entry.size > 4 && Within(entry.valueAt, entry.size)) {
                directory.spans.emplace_back(entry.valueAt, entry.valueAt + entry.size);
            }
            directory.entries.push_back(entry);
        }
        return directory;
    }

    // The index-th number of a SHORT, LONG or IFD entry, or none.
    std::optional<std::uint32_t> Number(const Entry& entry, std::uint32_t index = 0) const {
        const unsigned size = entry.type == kShort ? 2 : 4;
        if ((entry.type != kShort && entry.type != kLong && entry.type != kIfd) ||
            index >= entry.count || !Within(entry.valueAt + std::uint64_t{size} * index, size)) {
            return std::nullopt;
        }
        return Read(entry.valueAt + std::uint64_t{size} * index, size);
    }

    // Sets a SHORT or LONG tag of one or two numbers to value: its first
    // number, and its second where that repeats the first. Readers show both
    // numbers of such a tag (exiftool reads the two SHORTs of a size as
    // "4000 0"), so a second number that says the same as the first must say
    // the new value too, while one that says something else (a zero) stays.
    // A value beyond a SHORT makes the entry a LONG of one number where the
    // entry holds the value itself; otherwise it stays as it is.
    void SetNumber(const Entry& entry, std::uint32_t value) {
        const unsigned size = entry.type == kShort ? 2 : 4;
        if ((entry.type != kShort && entry.type != kLong) || entry.count < 1 || entry.count > 2 ||
            !Within(entry.valueAt, entry.size)) {
            return;
        }
        if (entry.type == kShort && value > 0xFFFF) {
            if (entry.size <= 4) {
                Write(entry.at + 2, 2, kLong);
                Write(entry.at + 4, 4, 1);
                Write(entry.valueAt, 4, value);
            }
            return;
        }
        const std::uint32_t first = Read(entry.valueAt, size);
        Write(entry.valueAt, size, value);
        if (entry.count == 2 && Read(entry.valueAt + size, size) == first) {
            Write(entry.valueAt + size, size, value);
        }
    }

  private:
    static constexpr std::size_t kStart = 6;  // behind "Exif" and two zeros
    const unsigned char* Data(std::uint64_t at) const {
        return reinterpret_cast<const unsigned char*>(bytes_.data()) + kStart + at;
    }
    std::string& bytes_;
};

// The spans of a thumbnail: its directory and values, and the data that a
// JPEG thumbnail's offset and length, or strips' offsets and counts, give.
std::vector<Span> ThumbnailSpans(const Tiff& tiff, const Directory& directory) {
    std::vector<Span> spans = directory.spans;
    auto find = [&directory](unsigned tag) -> const Entry* {
        for (const Entry& entry : directory.entries) {
            if (entry.tag == tag) {
                return &entry;
            }
        }
        return nullptr;
    };
    for (const auto& [offsets, lengths] : {std::pair{kThumbnailOffset, kThumbnailLength},
                                           std::pair{kStripOffsets, kStripByteCounts}}) {
        const Entry* offset = find(offsets);
        const Entry* length = find(lengths);
        for (std::uint32_t i = 0; offset != nullptr && length != nullptr && i < offset->count;
             ++i) {
            const std::optional<std::uint32_t> start = tiff.Number(*offset, i);
            const std::optional<std::uint32_t> count = tiff.Number(*length, i);
            if (!start || !count) {
                break;
            }
            spans.emplace_back(*start, std::uint64_t{*start} + *count);
        }
    }
    return spans;
}

}  // namespace

std::string PieceExif(std::string_view exif, std::uint32_t width, std::uint32_t height,
                      bool upright) {
    std::string bytes(exif);
    Tiff tiff(bytes);
    if (!tiff.Valid()) {
        return bytes;
    }
    const std::optional<Directory> first = tiff.ReadDirectory(tiff.Read(4, 4));
    if (!first) {
        return bytes;
    }
    // The spans of everything but the thumbnail: the header and the
    // directories that describe the picture, with their values.
    std::vector<Span> kept = {{0, 8}};
    auto keep = [&kept](const Directory& directory) {
        kept.insert(kept.end(), directory.spans.begin(), directory.spans.end());
    };
    auto setSize = [&tiff, width, height](const Directory& directory, unsigned widthTag,
                                          unsigned heightTag) {
        for (const Entry& entry : directory.entries) {
            if (entry.tag == widthTag || entry.tag == heightTag) {
                tiff.SetNumber(entry, entry.tag == widthTag ? width : height);
            }
        }
    };
    keep(*first);
    setSize(*first, kImageWidth, kImageLength);
    for (const Entry& entry : first->entries) {
        if (upright && entry.tag == kOrientation && entry.type == kShort) {
            tiff.SetNumber(entry, 1);
        }
        const std::optional<std::uint32_t> offset = tiff.Number(entry);
        if ((entry.tag != kExifDirectory && entry.tag != kGpsDirectory) || !offset) {
            continue;
        }
        if (const std::optional<Directory> directory = tiff.ReadDirectory(*offset)) {
            keep(*directory);
            if (entry.tag == kExifDirectory) {
                setSize(*directory, kPixelXDimension, kPixelYDimension);
            }
            for (const Entry& inner : directory->entries) {
                const std::optional<std::uint32_t> interoperability = tiff.Number(inner);
                if (inner.tag != kInteroperabilityDirectory || !interoperability) {
                    continue;
                }
                if (const auto last = tiff.ReadDirectory(*interoperability)) {
                    keep(*last);
                }
            }
        }
    }

    const std::uint32_t thumbnailAt = tiff.Read(first->nextAt, 4);
    if (thumbnailAt == 0) {
        return bytes;
    }
    tiff.Write(first->nextAt, 4, 0);
    const std::optional<Directory> thumbnail = tiff.ReadDirectory(thumbnailAt);
    if (!thumbnail) {
        return bytes;
    }
    std::vector<Span> spans = ThumbnailSpans(tiff, *thumbnail);
    for (const Span& span : spans) {
        tiff.Clear(span);
    }
    // Cut the end off when the thumbnail's spans fill it, but for the
    // padding between them, and nothing else reaches into it.
    std::sort(spans.begin(), spans.end());
    std::uint64_t keptEnd = 0;
    for (const Span& span : kept) {
        keptEnd = std::max(keptEnd, span.second);
    }
    std::uint64_t covered = spans.front().first;
    for (const Span& span : spans) {
        if (span.first > covered + 3) {
            return bytes;
        }
        covered = std::max(covered, span.second);
    }
    if (keptEnd <= spans.front().first && covered + 3 >= tiff.Size()) {
        tiff.CutAt(spans.front().first);
    }
    return bytes;
}

void SetCropExifSize(std::string& exif, std::uint32_t width, std::uint32_t height) {
    Tiff tiff(exif);
    if (!tiff.Valid() || tiff.Size() < 12) {
        return;
    }
    // Offsets are taken only below 65536, as their low halves.
    std::uint32_t at = tiff.Read(4, 4);
    if (at > 0xFFFF || !tiff.Within(at, 2)) {
        return;
    }
    std::uint32_t tags = tiff.Read(at, 2);
    if (tags == 0) {
        return;
    }
    // The EXIF directory's entry, the first directory's entries read as far
    // as they go.
    for (at += 2;; at += 12) {
        if (!tiff.Within(at, 12)) {
            return;
        }
        if (tiff.Read(at, 2) == kExifDirectory) {
            break;
        }
        if (--tags == 0) {
            return;
        }
    }
    at = tiff.Read(at + 8, 4);
    if (at > 0xFFFF || !tiff.Within(at, 2)) {
        return;
    }
    tags = tiff.Read(at, 2);
    if (tags < 2) {
        return;
    }
    for (at += 2; tags > 0; --tags, at += 12) {
        if (!tiff.Within(at, 12)) {
            return;
        }
        const unsigned tag = tiff.Read(at, 2);
        if (tag == kPixelXDimension || tag == kPixelYDimension) {
            tiff.Write(at + 2, 2, kLong);
            tiff.Write(at + 4, 4, 1);
            tiff.Write(at + 8, 4, (tag == kPixelXDimension ? width : height) & 0xFFFF);
        }
    }
}

unsigned ExifOrientation(std::string_view exif) {
    std::string bytes(exif);
    const Tiff tiff(bytes);
    if (!tiff.Valid()) {
        return 1;
    }
    const std::optional<Directory> first = tiff.ReadDirectory(tiff.Read(4, 4));
    if (!first) {
        return 1;
    }
    for (const Entry& entry : first->entries) {
        if (entry.tag == kOrientation && entry.type == kShort) {
            const std::optional<std::uint32_t> value = tiff.Number(entry);
            return value && *value >= 1 && *value <= 8 ? *value : 1;
        }
    }
    return 1;
}

}  // namespace kerfo
