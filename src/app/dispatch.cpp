// Command dispatch: single-word requests, the option loop and the jobs.

#include "app/dispatch.h"

#include <cstdlib>
#include <string>

#include "app/messages.h"
#include "app/version.h"
#include "cut/cut_jobs.h"
#include "platform/platform.h"
#include "util/strings.h"

namespace kerfo {
namespace {

constexpr int kMaxNames = 3;

// What the option loop gathers from the arguments.
struct Options {
    char mode = '-';  // '-' none, 'w' width, 'h' height, 'g' grid, 't' tiles of a size
    const char* sizeText = "";
    int rows = 0;
    int columns = 0;
    const char* tileWidth = "";
    const char* tileHeight = "";
    int quality = 100;
    bool qualityGiven = false;
    CutOptions cut;
    const char* names[kMaxNames] = {nullptr, nullptr, nullptr};
    int nameTally = 0;
};

struct OptionSpec {
    const char* word;
    int valueCount;
    void (*apply)(Options& options, char* const* values);
    // What a missing value is told: none for the usage text.
    const char* missing = nullptr;
};

const OptionSpec kOptionTable[] = {
    {"-w", 1,
     [](Options& o, char* const* v) {
         o.mode = 'w';
         o.sizeText = v[0];
     }},
    {"-h", 1,
     [](Options& o, char* const* v) {
         o.mode = 'h';
         o.sizeText = v[0];
     }},
    {"-g", 2,
     [](Options& o, char* const* v) {
         o.mode = 'g';
         o.rows = std::atoi(v[0]);
         o.columns = std::atoi(v[1]);
     }},
    {"-oq", 1,
     [](Options& o, char* const* v) {
         o.quality = std::atoi(v[0]);
         o.qualityGiven = true;
     }},
    {"-lossless", 0, [](Options& o, char* const*) { o.cut.lossless = true; }},
    {"-tile", 2,
     [](Options& o, char* const* v) {
         o.mode = 't';
         o.tileWidth = v[0];
         o.tileHeight = v[1];
     },
     "-tile needs a tile's width and height, each a size as for -w and -h: "
     "-tile 256 256 picture.jpg, or -tile 21cm 29.7cm poster.png."},
    {"-whole", 0, [](Options& o, char* const*) { o.cut.whole = true; }},
    {"-overlap", 1, [](Options& o, char* const* v) { o.cut.overlap = v[0]; },
     "-overlap needs a size, the pixels that neighbouring tiles share, as for -w and -h: "
     "-overlap 40, -overlap 2% or -overlap 5mm."},
    {"-shown", 0, [](Options& o, char* const*) { o.cut.shown = true; }},
};

const OptionSpec* FindOption(const char* argument) {
    for (const OptionSpec& option : kOptionTable) {
        if (CompareNoCase(argument, option.word) == 0) {
            return &option;
        }
    }
    return nullptr;
}

// Reads every argument after the program path into options. Returns false for
// an option whose values are missing from the end of the list.
bool ReadOptions(const ArgList& list, Options& options) {
    int i = 1;
    while (i < list.count) {
        if (const OptionSpec* option = FindOption(list.entries[i])) {
            if (list.count - 1 - i < option->valueCount) {
                if (option->missing != nullptr) {
                    Fatal("%s", option->missing);
                }
                return false;
            }
            option->apply(options, list.entries + i + 1);
            i += 1 + option->valueCount;
            continue;
        }
        // A name beyond the third is only counted: the job refuses the tally
        // with the usage, shown once however many names there are (a
        // shortcut may be handed a whole selection of pictures).
        if (options.nameTally < kMaxNames) {
            options.names[options.nameTally] = list.entries[i];
        }
        ++options.nameTally;
        ++i;
    }
    return true;
}

// A lossless piece keeps the picture's own coding, so a quality has no place.
void RefuseQualityWhenLossless(const Options& options) {
    if (options.cut.lossless && options.qualityGiven) {
        Fatal(
            "-oq can't be used with -lossless: a lossless piece keeps the picture's own "
            "quality.");
    }
}

// -whole and -overlap shape the tiles of -g and -tile, and nothing else.
void RefuseTileOptionsWithoutTiles(const Options& options) {
    if (options.mode == 'g' || options.mode == 't') {
        return;
    }
    if (options.cut.overlap != nullptr) {
        Fatal("-overlap works with -g or -tile only: it makes neighbouring tiles share pixels.");
    }
    if (options.cut.whole) {
        Fatal("-whole works with -g only: it puts every pixel of the picture in a tile.");
    }
}

int RunJob(const Options& options) {
    RefuseTileOptionsWithoutTiles(options);
    switch (options.mode) {
        case 'h':
            if (options.nameTally >= 1) {
                RefuseQualityWhenLossless(options);
                return CutToHeight(options.nameTally, options.names, options.sizeText,
                                   options.quality, options.cut);
            }
            break;
        case 'w':
            if (options.nameTally >= 1) {
                RefuseQualityWhenLossless(options);
                return CutToWidth(options.nameTally, options.names, options.sizeText,
                                  options.quality, options.cut);
            }
            break;
        case 'g':
            if (options.nameTally == 1) {
                RefuseQualityWhenLossless(options);
                return CutGrid(options.names[0], options.rows, options.columns, options.quality,
                               options.cut);
            }
            break;
        case 't':
            if (options.nameTally == 1) {
                RefuseQualityWhenLossless(options);
                return CutTiles(options.names[0], options.tileWidth, options.tileHeight,
                                options.quality, options.cut);
            }
            break;
        default:
            break;
    }
    ShowUsage();
    return 1;
}

}  // namespace

const char* UsageText() {
    static const std::string text = std::string(
        "Usage:\n"
        "1. Kerfo {-w|-h} size filename.jpg [out.jpg [rest.jpg]]\n"
        "2. Kerfo -g rows cols filename.jpg\n"
        "\n"
        "1. Cut to size wide or high.\n"
        "size is pixels unless it ends with %, in, cm or mm.\n"
        "filename.jpg will be the left or top bit.\n"
        "Or that will be in out.jpg with the rest in rest.jpg.\n"
        "\n"
        "2. Cut into rows and columns.\n"
        "Output will be in filename-rr-cc.jpg\n"
        "where rr is the row number (01..) and cc is the column number (01..)\n"
        "\n"
        "Kerfo -help\tShow online help.\n"
        "Kerfo -ver \tShow version.\n"
        "\n"
        "This software uses the FreeImage open source image library. See "
        "http://freeimage.sourceforge.net for details.\n"
        "FreeImage is used under the FIPL, version 1.0.\n");
    return text.c_str();
}

void ShowUsage() {
    ShowMessage(UsageText());
}

const char* MoreOptionsText() {
    return "\n"
           "More options, anywhere on the line:\n"
           "-tile w h\tCut tiles of that size (sizes as for -w and -h); the last column and "
           "row hold what is left.\n"
           "-whole\t\tWith -g: every pixel in a tile; tiles differ by a pixel at most.\n"
           "-overlap size\tWith -g or -tile: neighbouring tiles share that much.\n"
           "-shown\t\tCut the picture as viewers show it (a phone photo's EXIF orientation); "
           "pieces are saved upright.\n"
           "-lossless\tCut a JPEG's own coded blocks: the pieces lose nothing.\n"
           "-oq quality\tThe pieces' JPEG quality (100).\n"
           "-dbg=level\tLog the command line (in Kerfo.log in the temporary folder).\n";
}

void ShowHelpText() {
    ShowMessage((std::string(UsageText()) + MoreOptionsText()).c_str());
}

void ShowVersion() {
    ShowMessage(VersionMessage().c_str());
}

void OpenHelpPage() {
    const std::string address = HelpPageAddress();
    if (!platform::OpenAddress(address.c_str())) {
        // Where nothing opens it (a server, a desktop without a browser), the
        // user still learns where the help is.
        ShowFormattedMessage("Open this address in a browser: %s", address.c_str());
    }
}

int Dispatch(ArgList& list) {
    if (list.count == 2) {
        if (TakeFlag(list, "-?")) {
            ShowUsage();
            return 0;
        }
        if (TakeFlag(list, "-help")) {
            OpenHelpPage();
            return 0;
        }
        if (TakeFlag(list, "-ver") || TakeFlag(list, "--version")) {
            ShowVersion();
            return 0;
        }
        if (TakeFlag(list, "--help")) {
            ShowHelpText();
            return 0;
        }
    }
    if (list.count < 2) {
        ShowUsage();
        return 1;
    }
    Options options;
    if (!ReadOptions(list, options)) {
        ShowUsage();
        return 1;
    }
    return RunJob(options);
}

}  // namespace kerfo
