// The pieces of one job, saved all or nothing.

#include "cut/piece_set.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "cut/picture_file.h"
#include "error/fatal.h"

namespace kerfo {

PieceSet::PieceSet(const std::vector<PieceSpec>& pieces, const char* kept) {
    for (const PieceSpec& piece : pieces) {
        names_.push_back(piece.name);
    }
    std::vector<std::pair<std::string, std::size_t>> identities;
    const std::string keptIdentity = kept != nullptr ? platform::InspectTarget(kept).identity : "";
    for (std::size_t i = 0; i < names_.size(); ++i) {
        const std::string& name = names_[i];
        const std::optional<FREE_IMAGE_FORMAT> format = FormatForName(name);
        if (!format) {
            Fatal("Save: file (%s) - must end in .jpg, .jpeg or .bmp", name.c_str());
        }
        formats_.push_back(*format);
        const platform::TargetInfo target = platform::InspectTarget(name);
        if (target.isFolder) {
            Fatal("Couldn't save %s: can't replace it: %s.", name.c_str(), std::strerror(EISDIR));
        }
        if (target.replaceError != 0) {
            Fatal("Couldn't save %s: can't replace it: %s.", name.c_str(),
                  std::strerror(target.replaceError));
        }
        if (kept != nullptr && target.identity == keptIdentity) {
            Fatal(
                "Couldn't save %s: it is the picture %s itself, which a grid cut leaves as it is.",
                name.c_str(), kept);
        }
        identities.emplace_back(target.identity, i);
    }
    std::sort(identities.begin(), identities.end());
    for (std::size_t i = 1; i < identities.size(); ++i) {
        if (identities[i].first == identities[i - 1].first) {
            const std::size_t first = std::min(identities[i - 1].second, identities[i].second);
            const std::size_t second = std::max(identities[i - 1].second, identities[i].second);
            Fatal("Couldn't save %s and %s: they are the same file, which can't hold two pieces.",
                  names_[first].c_str(), names_[second].c_str());
        }
    }
    files_.resize(names_.size());
}

void PieceSet::Save(std::size_t index, FIBITMAP* bitmap, int flags, const PngColour* pngColour) {
    const char* path = names_[index].c_str();
    const FREE_IMAGE_FORMAT format = formats_[index];
    if (bitmap == nullptr) {
        Fatal("Couldn't save %s: there is no picture to save.", path);
    }
    // A JPEG holds its resolution in 16 bits of dots per inch; the library
    // converts the bitmap's into them without a check.
    constexpr double kMostJpegDotsPerMetre = 65535.0 / 0.0254;
    if (format == FIF_JPEG && (FreeImage_GetDotsPerMeterX(bitmap) > kMostJpegDotsPerMetre ||
                               FreeImage_GetDotsPerMeterY(bitmap) > kMostJpegDotsPerMetre)) {
        Fatal("Couldn't save %s: its resolution is more than the 65535 dpi that a JPEG holds.",
              path);
    }
    SaveWith(index, [&](std::FILE* stream) {
        EncodePicture(stream, bitmap, format, flags, pngColour, path);
        return 0;
    });
}

void PieceSet::SaveWith(std::size_t index, const std::function<int(std::FILE*)>& write) {
    const char* path = names_[index].c_str();
    auto file = std::make_unique<platform::ReplacementFile>(names_[index]);
    if (!file->Open()) {
        Fatal("Couldn't save %s: %s.", path, file->Error().c_str());
    }
    if (const int error = write(file->Stream())) {
        Fatal("Couldn't save %s: not every byte could be written: %s.", path, std::strerror(error));
    }
    if (!file->Finish()) {
        Fatal("Couldn't save %s: %s.", path, file->Error().c_str());
    }
    files_[index] = std::move(file);
}

void PieceSet::Commit() {
    std::vector<platform::ReplacementFile*> saved;
    for (const auto& file : files_) {
        if (file) {
            saved.push_back(file.get());
        }
    }
    const platform::ReplaceResult result = platform::ReplaceTargets(saved);
    if (result.failed == saved.size()) {
        return;
    }
    const platform::ReplacementFile& failed = *saved[result.failed];
    std::string name;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        if (files_[i].get() == &failed) {
            name = names_[i];
        }
    }
    const std::size_t replaced = result.replaced;
    if (replaced == 0) {
        Fatal("Couldn't save %s: %s.", name.c_str(), failed.Error().c_str());
    }
    Fatal("Couldn't save %s: %s. The %zu piece%s before it %s saved.", name.c_str(),
          failed.Error().c_str(), replaced, replaced == 1 ? "" : "s",
          replaced == 1 ? "was" : "were");
}

bool SavePicture(FIBITMAP* bitmap, const char* path, int flags) {
    PieceSet piece({PieceSpec{path}});
    piece.Save(0, bitmap, flags);
    piece.Commit();
    return true;
}

}  // namespace kerfo
