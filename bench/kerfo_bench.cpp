// Measures what kerfo adds to the image library's own work: runs kerfo and a
// plain program that calls the library directly for the same job, alternating,
// and reports the median wall time and peak memory of each and their ratios.
//
//   kerfo_bench [ROUNDS] [FOLDER]

#include <FreeImage.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "photo_like.h"

namespace {

struct Sample {
    double seconds;
    long peakKilobytes;
};

// Removes the pieces of the last run, so that every run writes new files and
// neither program pays for replacing the other's leftovers.
void RemovePieces(const std::string& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename() != "photo.jpg") {
            std::filesystem::remove(entry.path());
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
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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

// The bytes of the pieces in the folder: everything but the picture.
double PiecesMegabytes(const std::string& folder) {
    std::uintmax_t bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename() != "photo.jpg") {
            bytes += entry.file_size();
        }
    }
    return static_cast<double>(bytes) / 1e6;
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
    std::printf(
        "%-24s kerfo %7.3f s %7.1f MB, pieces %6.1f MB | library alone %7.3f s %7.1f MB, pieces "
        "%6.1f MB | ratio time %.3f memory %.3f\n",
        title, kt, km / 1024.0, PiecesMegabytes(kerfoFolder), dt, dm / 1024.0,
        PiecesMegabytes(directFolder), kt / dt, static_cast<double>(km) / dm);
}

// What flushing a piece to disk costs: the median time to write a file of the
// given size and fsync it, less the time to write it without.
void MeasureFlush(const std::string& folder, int rounds, std::size_t megabytes) {
    const std::vector<char> contents(megabytes << 20, 'k');
    auto writeOnce = [&](bool flush) {
        const std::string path = folder + "/flush-test";
        std::remove(path.c_str());
        sync();
        const auto start = std::chrono::steady_clock::now();
        std::FILE* file = std::fopen(path.c_str(), "wb");
        std::fwrite(contents.data(), 1, contents.size(), file);
        std::fflush(file);
        if (flush)
            fsync(fileno(file));
        std::fclose(file);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::remove(path.c_str());
        return seconds;
    };
    std::vector<double> plain, flushed;
    for (int i = 0; i < rounds; ++i) {
        plain.push_back(writeOnce(false));
        flushed.push_back(writeOnce(true));
    }
    std::printf("%-22s %.1f ms (writing it: %.1f ms)\n",
                ("fsync of " + std::to_string(megabytes) + " MB").c_str(),
                (Median(flushed) - Median(plain)) * 1000, Median(plain) * 1000);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    const std::string folder = argc > 2 ? argv[2] : "bench-out";
    const std::string kerfoFolder = folder + "/kerfo";
    const std::string directFolder = folder + "/direct";
    std::filesystem::create_directories(kerfoFolder);
    std::filesystem::create_directories(directFolder);

    const std::string input = folder + "/photo.jpg";
    if (!std::filesystem::exists(input)) {
        std::printf("Making a 6000 x 4000 photo-like JPEG...\n");
        FIBITMAP* picture = kerfo::tools::MakePhotoLike(6000, 4000, 7);
        FreeImage_SetDotsPerMeterX(picture, 11811);
        FreeImage_SetDotsPerMeterY(picture, 11811);
        FreeImage_Save(FIF_JPEG, picture, input.c_str(), 90);
        FreeImage_Unload(picture);
    }
    std::filesystem::copy_file(input, kerfoFolder + "/photo.jpg",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(input, directFolder + "/photo.jpg",
                               std::filesystem::copy_options::overwrite_existing);

    std::printf("%d rounds each, alternating; medians:\n", rounds);
    Compare("-w 50% (three names)", rounds,
            {KERFO_BINARY, "-w", "50%", "photo.jpg", "left.jpg", "right.jpg"},
            {DIRECT_BINARY, "width", "photo.jpg", "left.jpg", "right.jpg"}, kerfoFolder,
            directFolder);
    Compare("-w 3008 (three names)", rounds,
            {KERFO_BINARY, "-w", "3008", "photo.jpg", "left.jpg", "right.jpg"},
            {DIRECT_BINARY, "width", "photo.jpg", "left.jpg", "right.jpg", "3008"}, kerfoFolder,
            directFolder);
    Compare("-lossless -w 3008", rounds,
            {KERFO_BINARY, "-lossless", "-w", "3008", "photo.jpg", "left.jpg", "right.jpg"},
            {DIRECT_BINARY, "width", "photo.jpg", "left.jpg", "right.jpg", "3008"}, kerfoFolder,
            directFolder);
    Compare("-g 10 10", rounds, {KERFO_BINARY, "-g", "10", "10", "photo.jpg"},
            {DIRECT_BINARY, "grid", "10", "10", "photo.jpg"}, kerfoFolder, directFolder);
    Compare("-g 5 5", rounds, {KERFO_BINARY, "-g", "5", "5", "photo.jpg"},
            {DIRECT_BINARY, "grid", "5", "5", "photo.jpg"}, kerfoFolder, directFolder);
    Compare("-lossless -g 5 5", rounds, {KERFO_BINARY, "-lossless", "-g", "5", "5", "photo.jpg"},
            {DIRECT_BINARY, "grid", "5", "5", "photo.jpg"}, kerfoFolder, directFolder);
    // Kerfo flushes every piece to disk before it is renamed into place, the
    // library alone doesn't; this is what that adds for a piece of 10 MB.
    MeasureFlush(folder, rounds, 10);
    return 0;
}
