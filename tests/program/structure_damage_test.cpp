// Pictures damaged in their structure: each chunk or segment (a BMP's
// headers, colour table and pixels) of a few pictures the tests make doubled,
// dropped or moved elsewhere, and the file cut short before each of them. The
// program cuts each as a user would, into halves and into a grid: it either
// cuts it or refuses it with a message, and nothing else - no sanitizer
// report, no temporary file left behind, no piece of a refused cut, the input
// unchanged.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "picture_structure.h"
#include "test_support.h"

namespace kerfo::test {
namespace {

// A little-endian Exif segment for a 48 x 32 picture: orientation, and the
// Exif directory with the pixel size.
const std::string kExif(
    "\xFF\xE1\x00\x4C"
    "Exif\0\0II*\0\x08\0\0\0"
    "\x02\0\x12\x01\x03\0\x01\0\0\0\x01\0\0\0\x69\x87\x04\0\x01\0\0\0\x26\0\0\0\0\0\0\0"
    "\x02\0\x02\xA0\x03\0\x01\0\0\0\x30\0\0\0\x03\xA0\x03\0\x01\0\0\0\x20\0\0\0\0\0\0\0",
    78);

// A profile that libpng takes for an RGB picture, without tags.
std::string IccProfile() {
    std::string profile(132, '\0');
    profile.replace(0, 4, std::string("\0\0\0\x84", 4));
    profile.replace(8, 4, std::string("\x02\x10\0\0", 4));
    profile.replace(12, 12, "mntrRGB XYZ ");
    profile.replace(36, 4, "acsp");
    profile.replace(68, 12, std::string("\0\0\xF6\xD6\0\x01\0\0\0\0\xD3\x2D", 12));
    return profile;
}

struct Seed {
    const char* name;
    std::string (*make)(const ScratchFolder& folder);
};

const Seed kSeeds[] = {
    {"exif.jpg",
     [](const ScratchFolder& folder) {
         SavePictureFile(MakePattern(48, 32).get(), folder / "made.jpg", 2835, 90);
         const std::string jpeg = ReadFile(folder / "made.jpg");
         return jpeg.substr(0, 2) + kExif + jpeg.substr(2);
     }},
    {"progressive.jpg",
     [](const ScratchFolder& folder) {
         SavePictureFile(MakePattern(40, 24).get(), folder / "made.jpg", 0, JPEG_PROGRESSIVE | 90);
         return ReadFile(folder / "made.jpg");
     }},
    {"colour.png",
     [](const ScratchFolder& folder) {
         const TestBitmap colours = MakePattern(40, 24);
         std::string profile = IccProfile();
         FreeImage_CreateICCProfile(colours.get(), profile.data(),
                                    static_cast<long>(profile.size()));
         SavePictureFile(colours.get(), folder / "made.png", 2835);
         return InsertPngChunks(ReadFile(folder / "made.png"),
                                PngChunk("gAMA", std::string("\0\0\xB1\x8F", 4)) +
                                    PngChunk("tRNS", std::string("\0\x05\0\x03\0\x0B", 6)));
     }},
    {"palette.png",
     [](const ScratchFolder& folder) {
         const TestBitmap colours(FreeImage_ColorQuantize(MakePattern(40, 24).get(), FIQ_WUQUANT));
         BYTE alpha[16] = {0, 40, 80, 120, 160, 200, 240};
         FreeImage_SetTransparencyTable(colours.get(), alpha, 16);
         SavePictureFile(colours.get(), folder / "made.png", 0);
         return ReadFile(folder / "made.png");
     }},
    {"rle.bmp",
     [](const ScratchFolder& folder) {
         SavePictureFile(MakePattern(40, 24, 8).get(), folder / "made.bmp", 2835, BMP_SAVE_RLE);
         return ReadFile(folder / "made.bmp");
     }},
};

struct Damaged {
    std::string what;
    std::string file;
};

// The file with each of its parts doubled, dropped, moved to the front, the
// middle and the end, and the file cut short before each; each distinct file
// once.
std::vector<Damaged> DamagedFiles(const structure::Picture& picture) {
    std::vector<Damaged> damaged;
    std::set<std::string> seen = {picture.Write()};
    const auto add = [&](const std::string& what, const structure::Picture& changed,
                         std::size_t count = static_cast<std::size_t>(-1)) {
        std::string file = changed.Write(count);
        if (seen.insert(file).second) {
            damaged.push_back({what, std::move(file)});
        }
    };
    const std::vector<structure::Part>& parts = picture.parts;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string part = "part " + std::to_string(i) + " (" +
                                 (picture.kind == structure::Kind::Jpeg
                                      ? std::to_string(static_cast<unsigned char>(parts[i].type[0]))
                                      : parts[i].type) +
                                 ")";
        add("cut before " + part, picture, i);
        structure::Picture changed = picture;
        changed.parts.insert(changed.parts.begin() + i, parts[i]);
        add(part + " doubled", changed);
        changed = picture;
        changed.parts.erase(changed.parts.begin() + i);
        add(part + " dropped", changed);
        for (const std::size_t to : {std::size_t{0}, parts.size() / 2, parts.size() - 1}) {
            changed.parts = parts;
            changed.parts.erase(changed.parts.begin() + i);
            changed.parts.insert(changed.parts.begin() + to, parts[i]);
            add(part + " moved to " + std::to_string(to), changed);
        }
    }
    return damaged;
}

class StructureDamageTest : public ::testing::TestWithParam<Seed> {};

TEST_P(StructureDamageTest, IsCutOrRefusedWithoutHarm) {
    const ScratchFolder made;
    const std::string original = GetParam().make(made);
    const std::string name = GetParam().name;
    const std::string extension = name.substr(name.find('.'));
    const auto picture = structure::Parse(original);
    ASSERT_TRUE(picture && picture->Write() == original) << "the picture's parts are its file";
    const std::string input = "picture" + extension;
    // Each job's arguments, and the folder's names after it cuts.
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> jobs = {
        {{"-w", "50%", input, "left" + extension, "right" + extension},
         {"left" + extension, input, "right" + extension}},
        {{"-g", "2", "2", input},
         {"picture-01-01" + extension, "picture-01-02" + extension, "picture-02-01" + extension,
          "picture-02-02" + extension, input}},
    };
    const ScratchFolder folder;
    RunOptions options;
    options.workingFolder = folder.Path();
    for (const auto& [what, file] : DamagedFiles(*picture)) {
        for (const auto& [arguments, written] : jobs) {
            const std::string job = what + ", " + arguments[0];
            WriteFile(folder / input, file);
            const RunResult result = RunKerfo(arguments, options);
            ASSERT_TRUE(result.exitCode == 0 || result.exitCode == 1)
                << job << ": exit code " << result.exitCode << "\n"
                << result.err;
            EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << job << "\n" << result.err;
            EXPECT_EQ(result.err.find("runtime error"), std::string::npos) << job << "\n"
                                                                           << result.err;
            EXPECT_TRUE(result.exitCode == 0 || !result.err.empty()) << job << ": no message";
            EXPECT_EQ(ListFolder(folder.Path()),
                      result.exitCode == 0 ? written : std::vector<std::string>{input})
                << job << "\n"
                << result.err;
            EXPECT_TRUE(ReadFile(folder / input) == file) << job << ": the input was changed";
            for (const std::string& left : ListFolder(folder.Path())) {
                std::filesystem::remove(folder / left);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pictures, StructureDamageTest, ::testing::ValuesIn(kSeeds),
                         [](const ::testing::TestParamInfo<Seed>& info) {
                             std::string name = info.param.name;
                             name[name.find('.')] = '_';
                             return name;
                         });

}  // namespace
}  // namespace kerfo::test
