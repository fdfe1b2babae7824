// Reading the bytes of picture files.

#include "formats/bytes.h"

#include <algorithm>
#include <cstring>

namespace kerfo {

std::size_t MemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
    if (offset >= size_ || count == 0) {
        return 0;
    }
    const std::size_t available = std::min<std::size_t>(count, size_ - offset);
    std::memcpy(buffer, data_ + offset, available);
    return available;
}

std::size_t FileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<long>::max()) ||
        std::fseek(stream_, static_cast<long>(offset), SEEK_SET) != 0) {
        return 0;
    }
    return std::fread(buffer, 1, count, stream_);
}

}  // namespace kerfo
