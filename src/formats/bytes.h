#pragma once
// The bytes of picture files as the readers in this folder take them: numbers
// as files store them, files read at any offset or forward through a buffer,
// sizes that saturate instead of overflowing, and the bytes that the image
// library is given changed.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace kerfo {

// Numbers as files store them, most significant byte first or last.
inline unsigned BigEndian16(const unsigned char* bytes) {
    return static_cast<unsigned>(bytes[0]) << 8 | bytes[1];
}
inline std::uint32_t BigEndian32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}
inline unsigned LittleEndian16(const unsigned char* bytes) {
    return static_cast<unsigned>(bytes[1]) << 8 | bytes[0];
}
inline std::uint32_t LittleEndian32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[3]) << 24 | static_cast<std::uint32_t>(bytes[2]) << 16 |
           static_cast<std::uint32_t>(bytes[1]) << 8 | bytes[0];
}

// Sizes computed from what a header claims: they saturate at the largest
// number instead of wrapping around.
inline std::uint64_t Multiply(std::uint64_t a, std::uint64_t b) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    return a != 0 && b > kMax / a ? kMax : a * b;
}
inline std::uint64_t Add(std::uint64_t a, std::uint64_t b) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    return b > kMax - a ? kMax : a + b;
}
inline std::uint64_t DivideRoundingUp(std::uint64_t a, std::uint64_t b) {
    return a / b + (a % b != 0 ? 1 : 0);
}

// The bytes of a picture file, read at any offset.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Copies up to count bytes from offset into buffer; returns how many.
    virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
};

// True when all count bytes at offset could be read into buffer.
inline bool ReadExactly(ByteSource& source, std::uint64_t offset, void* buffer, std::size_t count) {
    return source.ReadAt(offset, buffer, count) == count;
}

// Bytes in memory as a ByteSource; the bytes must outlive it.
class MemorySource : public ByteSource {
  public:
    MemorySource(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

  private:
    const unsigned char* data_;
    std::size_t size_;
};

// An open file of the given size as a ByteSource; the stream stays the
// caller's, and each read moves its position.
class FileSource : public ByteSource {
  public:
    FileSource(std::FILE* stream, std::uint64_t size) : stream_(stream), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

  private:
    std::FILE* stream_;
    std::uint64_t size_;
};

// A file read forward byte by byte, through a buffer.
class ForwardReader {
  public:
    explicit ForwardReader(ByteSource& source) : source_(source), buffer_(1 << 16) {}
    void Seek(std::uint64_t offset) {
        offset_ = offset;
        at_ = count_ = 0;
    }
    // The offset of the byte that Next reads.
    std::uint64_t Offset() const { return offset_ + at_; }
    bool Next(unsigned char& byte) {
        if (at_ == count_) {
            offset_ += count_;
            at_ = 0;
            count_ = source_.ReadAt(offset_, buffer_.data(), buffer_.size());
            if (count_ == 0) {
                return false;
            }
        }
        byte = buffer_[at_++];
        return true;
    }

  private:
    ByteSource& source_;
    std::vector<unsigned char> buffer_;
    std::uint64_t offset_ = 0;
    std::size_t at_ = 0;
    std::size_t count_ = 0;
};

// Bytes of a file that the image library gets changed as it reads it: at
// offset, bytes instead of the file's own.
struct BytePatch {
    std::uint64_t offset = 0;
    std::string bytes;
};

}  // namespace kerfo
