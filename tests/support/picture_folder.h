#pragma once
// A fixture for tests that run kerfo in a scratch folder on a picture made
// there, keeping the picture's pixels and bytes to compare against.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace kerfo::test {

class PictureFolderTest : public ::testing::Test {
  protected:
    // Makes a patterned picture under name (JPEG at quality 95) with the
    // resolution given in dots per metre, and keeps its pixels and bytes.
    void Make(const std::string& name, unsigned width, unsigned height, unsigned dotsPerMetre,
              unsigned bpp = 24) {
        SavePictureFile(MakePattern(width, height, bpp).get(), Path(name), dotsPerMetre,
                        name.find(".jp") != std::string::npos ? 95 : 0);
        original_ = LoadPictureFile(Path(name));
        originalBytes_ = ReadFile(Path(name));
    }

    std::string Path(const std::string& name) const { return folder_ / name; }

    // Runs kerfo with the scratch folder as its working folder.
    RunResult Kerfo(const std::vector<std::string>& arguments) {
        RunOptions options;
        options.workingFolder = folder_.Path();
        return RunKerfo(arguments, options);
    }

    ScratchFolder folder_;
    TestBitmap original_;
    std::string originalBytes_;
};

}  // namespace kerfo::test
