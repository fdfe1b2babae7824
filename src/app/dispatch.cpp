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
    char mode = '-';  // '-' none, 'w' width, 'h' height, 'g' grid
    const char* sizeText = "";
    int rows = 0;
    int columns = 0;
    int quality = 100;
    bool qualityGiven = false;
    bool lossless = false;
    const char* names[kMaxNames] = {nullptr, nullptr, nullptr};
    int nameTally = 0;
};

struct OptionSpec {
    const char* word;
    int valueCount;
    void (*apply)(Options& options, char* const* values);
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
    {"-lossless", 0, [](Options& o, char* const*) { o.lossless = true; }},
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
    if (options.lossless && options.qualityGiven) {
        Fatal(
            "-oq can't be used with -lossless: a lossless piece keeps the picture's own "
            "quality.");
    }
}

int RunJob(const Options& options) {
    switch (options.mode) {
        case 'h':
            if (options.nameTally >= 1) {
                RefuseQualityWhenLossless(options);
                return CutToHeight(options.nameTally, options.names, options.sizeText,
                                   options.quality, options.lossless);
            }
            break;
        case 'w':
            if (options.nameTally >= 1) {
                RefuseQualityWhenLossless(options);
                return CutToWidth(options.nameTally, options.names, options.sizeText,
                                  options.quality, options.lossless);
            }
            break;
        case 'g':
            if (options.nameTally == 1) {
                RefuseQualityWhenLossless(options);
                return CutGrid(options.names[0], options.rows, options.columns, options.quality,
                               options.lossless);
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
        if (TakeFlag(list, "-ver")) {
            ShowVersion();
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
