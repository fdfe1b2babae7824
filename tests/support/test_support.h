#pragma once
// What the tests share: running the real program, scratch folders, and pictures
// made and compared pixel for pixel.

#include <FreeImage.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kerfo::test {

// The kerfo program that the build made. On Windows, Kerfo.exe beside the
// running test program, where the build puts every program.
std::string KerfoBinary();

struct RunResult {
    int exitCode = -1;  // the exit status, or (POSIX) 128 + signal when the program died
    std::string out;
    std::string err;
};

struct RunOptions {
    std::string workingFolder;  // empty: the test's own
    // Variables to set (a value) or to remove (no value) for the child. DISPLAY
    // and WAYLAND_DISPLAY are removed unless they are set here.
    std::map<std::string, std::optional<std::string>> environment;
    bool clearEnvironment = false;  // start from an empty environment
    std::string input;              // fed to standard input
    // POSIX only (on Windows, Run fails the test that asks for them):
    // a limit on the size of every file the child writes (ulimit -f), in bytes,
    std::optional<unsigned long long> fileSizeLimit;
    // and another user to run the child as (needs root).
    std::optional<unsigned> user;
};

// The environment a child gets: this process's (unless cleared) changed by
// the options.
std::vector<std::string> ChildEnvironment(const RunOptions& options);

// Runs program with the arguments (argv[0] is program itself) and collects its
// exit code and both streams. The exit code is 126 when the child could not be
// set up (its working folder is missing) and 127 when program could not be
// started.
RunResult Run(const std::string& program, const std::vector<std::string>& arguments,
              const RunOptions& options = {});

// Runs the kerfo program.
RunResult RunKerfo(const std::vector<std::string>& arguments, const RunOptions& options = {});

// A fresh folder that is removed with everything in it when the object goes.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }
    // The path of name in the folder. A '/' in name separates folders: it is
    // written as the system's separator, as the program writes its paths.
    std::string operator/(const std::string& name) const;

  private:
    std::string path_;
};

struct UnloadBitmap {
    void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};
using TestBitmap = std::unique_ptr<FIBITMAP, UnloadBitmap>;

// A picture whose every pixel differs from its neighbours, so that a piece cut
// one pixel off shows: bpp 8 (grey), 24 or 32 (with alpha varying).
TestBitmap MakePattern(unsigned width, unsigned height, unsigned bpp = 24);

// Saves the bitmap; the format follows the name. Sets the resolution first
// (dots per metre on both axes; 0 leaves none).
void SavePictureFile(FIBITMAP* bitmap, const std::string& path, unsigned dotsPerMetre,
                     int flags = 0);

// Loads a picture by its extension; null when it cannot be read.
TestBitmap LoadPictureFile(const std::string& path);

// True when piece equals the rectangle of whole at (left, top) of the piece's
// size, pixel for pixel in every channel; otherwise false with a description.
bool SameAsRegion(FIBITMAP* piece, FIBITMAP* whole, unsigned left, unsigned top,
                  std::string* why = nullptr);

// The mean absolute difference per channel between piece and that region, for
// lossy formats.
double MeanDifference(FIBITMAP* piece, FIBITMAP* whole, unsigned left, unsigned top);

// The whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);
bool Exists(const std::string& path);

// A whole PNG chunk: length, type, data and CRC.
std::string PngChunk(const std::string& type, const std::string& data);

// The PNG with the chunks put right behind its IHDR chunk.
std::string InsertPngChunks(const std::string& png, const std::string& chunks);

// The whole chunks of a PNG of the given type, in file order, concatenated.
std::string PngChunksOfType(const std::string& png, const std::string& type);

// The marker segments of a JPEG of the given code (APPn, COM), whole and in
// order, up to its first scan.
std::string JpegSegments(const std::string& jpeg, unsigned code);

// ImageMagick's reading of a picture file, or of the rectangle of it at (left,
// top) of the given size: 16 bits a channel of red, green, blue and alpha,
// most significant byte first. Empty when it can't read the file.
// With shown, of the picture as viewers show it (-auto-orient).
std::string MagickPixels(const std::string& path, int left = 0, int top = 0, int width = 0,
                         int height = 0, bool shown = false);

// The lines of a text, without their line feeds.
std::vector<std::string> Lines(const std::string& text);

// The names in a folder, sorted.
std::vector<std::string> ListFolder(const std::string& path);

// Creates one folder; false when it was not made (it exists, or its parent
// does not).
bool MakeFolder(const std::string& path);

// Sets or removes a variable of this process's environment. On Windows the
// name is matched in any case, and setting a variable to nothing removes it
// (the C runtime keeps no empty variables).
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

}  // namespace kerfo::test
