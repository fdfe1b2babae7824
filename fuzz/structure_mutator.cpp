// The picture fuzzer's mutations. Three in four change the structure of a PNG
// or a JPEG (picture_structure.h): a chunk or a segment duplicated, dropped,
// moved, retyped or its data changed by the fuzzer's byte mutations, every
// length and CRC written right, so that the change gets past the decoders'
// checksums to the code behind them; crossing two inputs over puts a part of
// one into the other. The rest, and every BMP's or unreadable file's, are the
// fuzzer's own byte mutations of the file. All keep the input's format byte.

#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <string>

#include "picture_structure.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

// The file of an input (behind its format byte) as parts, when it has them.
std::optional<kerfo::structure::Picture> Structure(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return std::nullopt;
    }
    return kerfo::structure::Parse({reinterpret_cast<const char*>(data) + 1, size - 1});
}

// Writes the input of the format byte and the picture's file into out and
// gives its size; 0 when it would exceed maxSize.
std::size_t WriteInput(const kerfo::structure::Picture& picture, std::uint8_t format,
                       std::uint8_t* out, std::size_t maxSize) {
    const std::string file = picture.Write();
    if (file.size() + 1 > maxSize) {
        return 0;
    }
    out[0] = format;
    std::memcpy(out + 1, file.data(), file.size());
    return file.size() + 1;
}

}  // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned seed) {
    if (size < 2 || maxSize < 2) {
        return LLVMFuzzerMutate(data, size, maxSize);
    }
    std::minstd_rand random(seed);
    if (random() % 4 != 0) {
        auto picture = Structure(data, size);
        if (picture && kerfo::structure::Mutate(*picture, random, LLVMFuzzerMutate, maxSize - 1)) {
            if (const std::size_t written = WriteInput(*picture, data[0], data, maxSize)) {
                return written;
            }
        }
    }
    return 1 + LLVMFuzzerMutate(data + 1, size - 1, maxSize - 1);
}

extern "C" std::size_t LLVMFuzzerCustomCrossOver(const std::uint8_t* data1, std::size_t size1,
                                                 const std::uint8_t* data2, std::size_t size2,
                                                 std::uint8_t* out, std::size_t maxOutSize,
                                                 unsigned seed) {
    auto picture = Structure(data1, size1);
    const auto other = Structure(data2, size2);
    std::minstd_rand random(seed);
    if (maxOutSize < 2 || !picture || !other ||
        !kerfo::structure::CrossOver(*picture, *other, random, maxOutSize - 1)) {
        return 0;
    }
    return WriteInput(*picture, data1[0], out, maxOutSize);
}
