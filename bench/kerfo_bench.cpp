// Measures what kerfo adds to the image library's own work: runs kerfo and a
// plain program that calls the library directly for the same job, alternating,
// and reports the median wall time and peak memory of each and their ratios,
// and what flushing costs each of kerfo's pieces on the folder's disk.
//
//   kerfo_bench [ROUNDS] [FOLDER] [PICTURES]
//
// The jobs run in FOLDER; the photos are made in PICTURES (FOLDER unless
// given) once, and copied from there.

#include <FreeImage.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "photo_like.h"

namespace {

struct Sample {
    double seconds;
    long peakKilobytes;
};

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The photos: 4:2:0 as most cameras save them, 4:4:4 as editors do at their
// best quality, and 4:2:2.
const std::vector<std::pair<std::string, int>> kPhotos = {{"photo.jpg", JPEG_SUBSAMPLING_420},
                                                          {"photo-444.jpg", JPEG_SUBSAMPLING_444},
                                                          {"photo-422.jpg", JPEG_SUBSAMPLING_422}};

bool IsPhoto(const std::filesystem::path& path) {
    for (const auto& [name, subsampling] : kPhotos) {
        if (path.filename() == name) {
            return true;
        }
    }
    return false;
}

// Removes the pieces of the last run, so that every run writes new files and
// neither program pays for replacing the other's leftovers.
void RemovePieces(const std::string& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!IsPhoto(entry.path())) {
            std::filesystem::remove_all(entry.path());
        }
    }
}

Sample RunOnce(const std::vector<std::string>& command, const std::string& folder) {
    RemovePieces(folder);
    sync();
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(126);
        std::vector<char*> argv;
        for (const std::string& word : command)
            argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double seconds = Seconds(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed: %s\n", command[0].c_str());
        std::exit(1);
    }
    return {seconds, usage.ru_maxrss};
}

template <typename T>
T Median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The pieces in the folder: everything but the photos.
struct Pieces {
    std::size_t count = 0;
    std::uintmax_t bytes = 0;
};
Pieces PiecesIn(const std::string& folder) {
    Pieces pieces;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!IsPhoto(entry.path())) {
            ++pieces.count;
            pieces.bytes += entry.file_size();
        }
    }
    return pieces;
}

// What flushing costs a piece: writing count files of the pieces' size, each
// sent on its way to the disk as it is written, then flushing each (fsync),
// renaming each and flushing the folder, as kerfo saves its pieces; less the
// time to write and rename them without. The median of rounds, in seconds per
// piece.
double FlushPerPiece(const std::string& folder, int rounds, const Pieces& pieces) {
    const std::vector<char> contents(pieces.bytes / std::max<std::size_t>(pieces.count, 1), 'k');
    const std::string scratch = folder + "/flush-test";
    auto saveAll = [&](bool flush) {
        std::filesystem::remove_all(scratch);
        std::filesystem::create_directory(scratch);
        sync();
        const auto start = std::chrono::steady_clock::now();
        std::vector<int> files;
        for (std::size_t i = 0; i < pieces.count; ++i) {
            const std::string path = scratch + "/." + std::to_string(i);
            files.push_back(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
            if (write(files.back(), contents.data(), contents.size()) < 0 ||
                (flush && sync_file_range(files.back(), 0, 0, SYNC_FILE_RANGE_WRITE) != 0)) {
                std::perror("flush test");
            }
        }
        for (std::size_t i = 0; i < pieces.count; ++i) {
            if (flush) {
                fsync(files[i]);
            }
            close(files[i]);
            const std::string path = scratch + "/" + std::to_string(i);
            std::rename((scratch + "/." + std::to_string(i)).c_str(), path.c_str());
        }
        if (flush) {
            const int directory = open(scratch.c_str(), O_RDONLY | O_DIRECTORY);
            fsync(directory);
            close(directory);
        }
        return Seconds(start);
    };
    std::vector<double> plain, flushed;
    for (int i = 0; i < rounds; ++i) {
        plain.push_back(saveAll(false));
        flushed.push_back(saveAll(true));
    }
    std::filesystem::remove_all(scratch);
    return (Median(flushed) - Median(plain)) /
           static_cast<double>(std::max<std::size_t>(pieces.count, 1));
}

void Compare(const char* title, int rounds, const std::vector<std::string>& kerfo,
             const std::vector<std::string>& direct, const std::string& kerfoFolder,
             const std::string& directFolder) {
    std::vector<double> kerfoTimes, directTimes;
    std::vector<long> kerfoPeaks, directPeaks;
    RunOnce(kerfo, kerfoFolder);  // warm the caches for both
    RunOnce(direct, directFolder);
    for (int i = 0; i < rounds; ++i) {
        const Sample k = RunOnce(kerfo, kerfoFolder);
        const Sample d = RunOnce(direct, directFolder);
        kerfoTimes.push_back(k.seconds);
        kerfoPeaks.push_back(k.peakKilobytes);
        directTimes.push_back(d.seconds);
        directPeaks.push_back(d.peakKilobytes);
    }
    const double kt = Median(kerfoTimes), dt = Median(directTimes);
    const long km = Median(kerfoPeaks), dm = Median(directPeaks);
    const Pieces pieces = PiecesIn(kerfoFolder);
    std::printf(
        "%-26s kerfo %6.3f s %6.1f MB, pieces %5.1f MB | library alone %6.3f s %6.1f MB, pieces "
        "%5.1f MB | ratio time %.3f memory %.3f | flush %5.2f ms a piece (%zu)\n",
        title, kt, km / 1024.0, pieces.bytes / 1e6, dt, dm / 1024.0,
        PiecesIn(directFolder).bytes / 1e6, kt / dt, static_cast<double>(km) / dm,
        FlushPerPiece(kerfoFolder, rounds, pieces) * 1000, pieces.count);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    const std::string folder = argc > 2 ? argv[2] : "bench-out";
    const std::string pictures = argc > 3 ? argv[3] : folder;
    const std::string kerfoFolder = folder + "/kerfo";
    const std::string directFolder = folder + "/direct";
    std::filesystem::create_directories(kerfoFolder);
    std::filesystem::create_directories(directFolder);
    std::filesystem::create_directories(pictures);

    for (const auto& [name, subsampling] : kPhotos) {
        const std::string photo = pictures + "/" + name;
        if (!std::filesystem::exists(photo)) {
            std::printf("Making %s, a 6000 x 4000 photo-like JPEG...\n", name.c_str());
            FIBITMAP* picture = kerfo::tools::MakePhotoLike(6000, 4000, 7);
            FreeImage_SetDotsPerMeterX(picture, 11811);
            FreeImage_SetDotsPerMeterY(picture, 11811);
            FreeImage_Save(FIF_JPEG, picture, photo.c_str(), 90 | subsampling);
            FreeImage_Unload(picture);
        }
        for (const std::string& to : {kerfoFolder, directFolder}) {
            std::filesystem::copy_file(photo, to + "/" + name,
                                       std::filesystem::copy_options::overwrite_existing);
        }
    }

    std::printf("%d rounds each, alternating; medians:\n", rounds);
    auto compare = [&](const char* title, std::vector<std::string> kerfo,
                       std::vector<std::string> direct) {
        kerfo.insert(kerfo.begin(), KERFO_BINARY);
        direct.insert(direct.begin(), DIRECT_BINARY);
        Compare(title, rounds, kerfo, direct, kerfoFolder, directFolder);
    };
    compare("-w 50% (three names)", {"-w", "50%", "photo.jpg", "left.jpg", "right.jpg"},
            {"width", "photo.jpg", "left.jpg", "right.jpg"});
    compare("-w 3008 (three names)", {"-w", "3008", "photo.jpg", "left.jpg", "right.jpg"},
            {"width", "photo.jpg", "left.jpg", "right.jpg", "3008"});
    compare("-g 10 10", {"-g", "10", "10", "photo.jpg"}, {"grid", "10", "10", "photo.jpg"});
    compare("-g 5 5", {"-g", "5", "5", "photo.jpg"}, {"grid", "5", "5", "photo.jpg"});
    // Lossless cuts, against the same job of the library alone (which
    // re-encodes), for each subsampling.
    for (const auto& [name, subsampling] : kPhotos) {
        const std::string kind = subsampling == JPEG_SUBSAMPLING_420   ? "4:2:0"
                                 : subsampling == JPEG_SUBSAMPLING_444 ? "4:4:4"
                                                                       : "4:2:2";
        const std::string cut = "-lossless -w 3008 " + kind;
        compare(cut.c_str(), {"-lossless", "-w", "3008", name, "left.jpg", "right.jpg"},
                {"width", name, "left.jpg", "right.jpg", "3008"});
        for (const auto& [rows, columns] : {std::pair{"5", "5"}, std::pair{"10", "15"}}) {
            const std::string grid =
                std::string("-lossless -g ") + rows + " " + columns + " " + kind;
            compare(grid.c_str(), {"-lossless", "-g", rows, columns, name},
                    {"grid", rows, columns, name});
        }
    }
    return 0;
}
